// The "Сведения о поверке" and settings dialogs over a real SQLite file:
// what was entered last is offered again, required fields are enforced, and
// the laboratory settings come back from the database.
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "app/record_info_dialog.h"
#include "app/settings_dialog.h"
#include "records/lab_settings.h"
#include "records/lab_settings_check.h"
#include "records/record_store.h"

using namespace yukt;
using namespace yukt::records;

class RecordDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void infoOfferedAgainAndChecked() {
        QTemporaryDir dir;
        RecordStore store;
        QVERIFY(store.Open(dir.filePath("p.sqlite")));
        RecordInfo last;
        last.serial = "A-1";
        last.owner = "ООО \"Завод\"";
        last.operatorName = "Иванов";
        last.kind = VerificationKind::Primary;
        last.conditions.temperature = 21.5;
        QVERIFY(SaveLastInfo(store, last));

        TRecordInfoDialog dialog(LoadLastInfo(store));
        QCOMPARE(dialog.findChild<QLineEdit*>("Serial")->text(), QString());
        QCOMPARE(dialog.findChild<QLineEdit*>("Owner")->text(), last.owner);
        QCOMPARE(dialog.findChild<QLineEdit*>("Temperature")->text(), QString("21,5"));
        QCOMPARE(dialog.findChild<QComboBox*>("Kind")->currentIndex(), 0);
        QCOMPARE(dialog.Missing(), QStringList{"заводской номер"});
        dialog.findChild<QLineEdit*>("Serial")->setText(" A-2 ");
        dialog.findChild<QLineEdit*>("Humidity")->setText("много");
        QCOMPARE(dialog.Missing(), QStringList{"влажность (число)"});
        dialog.findChild<QLineEdit*>("Humidity")->setText("55,5");
        QVERIFY(dialog.Missing().isEmpty());
        const RecordInfo info = dialog.Info();
        QCOMPARE(info.serial, QString("A-2"));
        QCOMPARE(*info.conditions.humidity, 55.5);
        QCOMPARE(info.kind, VerificationKind::Primary);
    }

    // What the registry would refuse is marked as it is typed and named on OK.
    void registryRulesCheckedAsTyped() {
        QTemporaryDir dir;
        const QString pictures = qEnvironmentVariable("DIALOG_PNG_DIR", dir.path());
        RecordInfo offered;
        offered.serial = "A-1";
        offered.operatorName = "Иванов";
        TRecordInfoDialog info(offered);
        QLineEdit* year = info.findChild<QLineEdit*>("ManufactureYear");
        year->setText("2024 г.");
        QVERIFY(year->toolTip().contains("xs:gYear"));
        QVERIFY(!year->styleSheet().isEmpty());
        QCOMPARE(info.Missing().size(), 1);
        QVERIFY(info.Missing()[0].startsWith("manufactureYear: год из четырёх цифр"));
        info.grab().save(pictures + "/record_info.png");
        year->setText("2024");
        QVERIFY(year->styleSheet().isEmpty());
        QVERIFY(info.Missing().isEmpty());

        RecordStore store;
        QVERIFY(store.Open(dir.filePath("p.sqlite")));
        TSettingsDialog settings(store, dir.path());
        QLineEdit* cipher = settings.findChildren<QLineEdit*>()[1];
        cipher->setText("abc");
        QVERIFY(cipher->toolTip().contains("[А-Я]{1,3}"));
        QCOMPARE(LabSettingsProblems(settings.Settings()).size(), 1);
        settings.grab().save(pictures + "/settings.png");
        cipher->setText("ЛАБ");
        QVERIFY(cipher->styleSheet().isEmpty());
        QVERIFY(LabSettingsProblems(settings.Settings()).isEmpty());
    }

    void settingsStoredInTheDatabase() {
        QTemporaryDir dir;
        RecordStore store;
        QVERIFY(store.Open(dir.filePath("p.sqlite")));
        TSettingsDialog dialog(store, dir.path());
        const QList<QLineEdit*> edits = dialog.findChildren<QLineEdit*>();
        QVERIFY(edits.size() >= 10);
        edits[0]->setText("Лаборатория");
        edits[1]->setText("ЛАБ");
        edits[3]->setText("3.1.A.1; 3.1.A.2");
        dialog.findChildren<QSpinBox*>().first()->setValue(24);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const LabSettings s = LabSettings::Load(store).value();
        QCOMPARE(s.organisation, QString("Лаборатория"));
        QCOMPARE(s.signCipher, QString("ЛАБ"));
        QCOMPARE(s.uveNumbers, (QStringList{"3.1.A.1", "3.1.A.2"}));
        QCOMPARE(s.IntervalFor(LabSettings::Models().first()), 24);
    }
};

QTEST_MAIN(RecordDialogsTest)
#include "record_dialogs_test.moc"
