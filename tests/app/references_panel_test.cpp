// The register of references in the workstation: the record dialog names a
// reference out of its validity and opens the register, where it is renewed;
// the settings' "Эталоны" tab refuses a bad value by its field.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/record_info_dialog.h"
#include "app/references_panel.h"
#include "app/settings_dialog.h"
#include "records/lab_references.h"
#include "records/record_store.h"

using namespace yukt;
using namespace yukt::records;

class ReferencesPanelTest : public QObject {
    Q_OBJECT

  private slots:
    void anExpiredReferenceHoldsTheRecordUntilRenewed() {
        QTemporaryDir dir;
        RecordStore store;
        QVERIFY(store.Open(dir.filePath("p.sqlite")));
        QVERIFY(store.SetSetting("organisation", "Лаборатория") &&
                store.SetSetting("sign_cipher", "ЛАБ"));
        const QDate yesterday = QDate::currentDate().addDays(-1);
        LabReference r;
        r.kind = kMietaKind;
        r.number = "3.1.ЗИР.0001.2026";
        r.name = "Калибратор";
        r.serial = "1";
        r.certificate = "С-1";
        r.validUntil = yesterday;
        r.quantities = {"current"};
        QString error;
        QVERIFY2(AddReference(store, r, &error), qPrintable(error));

        RecordInfo offered;
        offered.serial = "A-1";
        offered.operatorName = "Иванов";
        TRecordInfoDialog dialog(offered);
        dialog.CheckLabSettings(store, dir.path(), {"current"});
        const QString said = "эталон 3.1.ЗИР.0001.2026 действителен до " +
                             yesterday.toString("dd.MM.yyyy");
        QVERIFY2(dialog.findChild<QLabel*>("LabWarning")->text().contains(said),
                 qPrintable(dialog.findChild<QLabel*>("LabWarning")->text()));
        QVERIFY(dialog.findChild<QPushButton*>("ReferencesBtn")->isVisibleTo(&dialog));
        QVERIFY(!dialog.findChild<QPushButton*>("LabSettingsBtn")->isVisibleTo(&dialog));
        QVERIFY(dialog.Problems().contains(said));

        TReferencesDialog references(store);
        TReferencesPanel* panel = references.Panel();
        auto* table = panel->findChild<QTableWidget*>("ReferencesTable");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 6)->text(), yesterday.toString("dd.MM.yyyy"));
        QVERIFY(!panel->RenewSelected());  // nothing selected
        table->selectRow(0);
        panel->findChild<QLineEdit*>("RefCertificate")->setText("С-2");
        panel->findChild<QLineEdit*>("RefValidUntil")->setText("31.02.2027");
        QVERIFY(!panel->RenewSelected());
        QVERIFY2(panel->Error().contains("Действителен до: не дата «31.02.2027»"),
                 qPrintable(panel->Error()));
        const QDate next = QDate::currentDate().addYears(1);
        panel->findChild<QLineEdit*>("RefValidUntil")->setText(next.toString("dd.MM.yyyy"));
        QVERIFY2(panel->RenewSelected(), qPrintable(panel->Error()));
        QCOMPARE(table->item(0, 4)->text(), QString("С-2"));
        QCOMPARE(table->item(0, 6)->text(), next.toString("dd.MM.yyyy"));

        dialog.CheckLabSettings(store, dir.path(), {"current"});
        QVERIFY(!dialog.findChild<QPushButton*>("ReferencesBtn")->isVisibleTo(&dialog));
        QVERIFY2(dialog.Problems().isEmpty(), qPrintable(dialog.Problems()));
    }

    void theSettingsTabRefusesABadValueByItsField() {
        QTemporaryDir dir;
        RecordStore store;
        QVERIFY(store.Open(dir.filePath("p.sqlite")));
        TSettingsDialog settings(store, dir.path());
        auto* tabs = settings.findChild<QTabWidget*>("SettingsTabs");
        QCOMPARE(tabs->tabText(1), QString("Эталоны"));
        QVERIFY(!settings.findChild<TReferencesPanel*>());  // read when first opened
        tabs->setCurrentIndex(1);
        auto* panel = settings.findChild<TReferencesPanel*>();
        QVERIFY(panel);
        const std::pair<const char*, const char*> fields[] = {
            {"RefNumber", "3.1.A.1"},   {"RefName", "Эталон"},  {"RefSerial", "7"},
            {"RefCertificate", "С-1"},  {"RefValidFrom", "01.03.2026"},
            {"RefValidUntil", "01.02.2026"}, {"RefQuantities", "current, frequency"}};
        for (const auto& [name, value] : fields) panel->findChild<QLineEdit*>(name)->setText(value);
        QVERIFY(!panel->AddFromFields());
        QVERIFY2(panel->Error().startsWith("Действителен до: 01.02.2026 раньше начала срока"),
                 qPrintable(panel->Error()));
        QCOMPARE(LoadReferences(store)->size(), 0);
        panel->findChild<QLineEdit*>("RefValidUntil")->setText("2027-03-01");
        QVERIFY2(panel->AddFromFields(), qPrintable(panel->Error()));
        const QList<LabReference> all = *LoadReferences(store);
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].quantities, (QStringList{"current", "frequency"}));
        QCOMPARE(all[0].validFrom, QDate(2026, 3, 1));
    }
};

QTEST_MAIN(ReferencesPanelTest)
#include "references_panel_test.moc"
