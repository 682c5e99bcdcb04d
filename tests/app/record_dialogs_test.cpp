// The "Сведения о поверке" and settings dialogs over a real SQLite file:
// what was entered last is offered again, required fields are enforced, and
// the laboratory settings come back from the database.
#include <sys/prctl.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "app/record_info_dialog.h"
#include "app/settings_dialog.h"
#include "records/db_location.h"
#include "records/lab_settings.h"
#include "records/lab_settings_check.h"
#include "records/record_store.h"

#include "closed_boxes.h"

using namespace yukt;
using namespace yukt::records;

class RecordDialogsTest : public QObject {
    Q_OBJECT

  private:
    // Each test's own folder and database file.
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<RecordStore> m_store;

  private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<RecordStore>();
        QVERIFY(m_store->Open(m_dir->filePath("p.sqlite")));
    }
    void cleanup() {
        m_store.reset();
        m_dir.reset();
    }

    // Details of a model on one workstation are not offered for another
    // model nor on another workstation; the workstation's own ones follow it.
    void lastValuesPerWorkstationAndModel() {
        RecordInfo last;
        last.serial = "A-1";
        last.modification = "735X.01A";
        last.operatorName = "Иванов";
        last.kind = VerificationKind::Primary;
        last.conditions.temperature = 21.5;
        QVERIFY(SaveLastInfo(*m_store, "735x", last, "host-a"));
        last.modification = "735X.02B";  // saved again: replaced, not doubled
        QVERIFY(SaveLastInfo(*m_store, "735x", last, "host-a"));

        TRecordInfoDialog same(LoadLastInfo(*m_store, "735x", "host-a"));
        QCOMPARE(same.findChild<QLineEdit*>("Modification")->text(), QString("735X.02B"));
        QCOMPARE(same.findChild<QLineEdit*>("Temperature")->text(), QString("21,5"));
        QCOMPARE(same.findChild<QComboBox*>("Kind")->currentIndex(), 0);
        const RecordInfo otherModel = LoadLastInfo(*m_store, "745t", "host-a");
        QCOMPARE(otherModel.modification + "|" + otherModel.operatorName, QString("|Иванов"));
        const RecordInfo otherHost = LoadLastInfo(*m_store, "735x", "host-b");
        QCOMPARE(otherHost.modification + otherHost.operatorName, QString());
    }

    void problemsNameTheFieldAndWhy() {
        const struct {
            const char *serial, *operatorName, *humidity, *problems;
        } rows[] = {{"A-2", "Иванов", "55,5", ""},
                    {"A-2", "Иванов", "55.5", ""},
                    {" ", "Иванов", "", "Не заполнено: заводской номер"},
                    {"A-2", "Иванов", "много", "Не число: влажность «много»"},
                    {"A-2", "", "5 5", "Не заполнено: поверитель\nНе число: влажность «5 5»"}};
        for (const auto& r : rows) {
            TRecordInfoDialog dialog(RecordInfo{});
            dialog.findChild<QLineEdit*>("Serial")->setText(r.serial);
            dialog.findChild<QLineEdit*>("Operator")->setText(r.operatorName);
            dialog.findChild<QLineEdit*>("Humidity")->setText(r.humidity);
            QCOMPARE(dialog.Problems(), QString(r.problems));
            if (!*r.problems) QCOMPARE(*dialog.Info().conditions.humidity, 55.5);
        }
    }

    // A new verification is held until the settings a record needs are there.
    void missingLabSettingsNamed() {
        TRecordInfoDialog dialog(RecordInfo{});
        dialog.CheckLabSettings(*m_store, m_dir->path());
        const QString named =
            "Организация, Шифр клейма, Средства поверки (эталоны или "
            "калибратор как СИ)";
        QCOMPARE(dialog.findChild<QLabel*>("LabWarning")->text(),
                 "Не заполнены настройки лаборатории: " + named);
    }

    // What the registry would refuse is marked as it is typed and named on OK.
    void registryRulesCheckedAsTyped() {
        const QString pictures = qEnvironmentVariable("DIALOG_PNG_DIR", m_dir->path());
        RecordInfo offered;
        offered.serial = "A-1";
        offered.operatorName = "Иванов";
        TRecordInfoDialog info(offered);
        QLineEdit* year = info.findChild<QLineEdit*>("ManufactureYear");
        year->setText("2024 г.");
        // In the form's words: no element of the registry's format, nor its type.
        QCOMPARE(year->toolTip(), QStringLiteral("год из четырёх цифр, например 2024, задано «2024 г.»"));
        QVERIFY(!year->styleSheet().isEmpty());
        QVERIFY(info.Missing().isEmpty());  // filled, only not as the registry takes it
        QVERIFY2(info.Problems().startsWith("Реестр не примет: Год выпуска: год из четырёх цифр"),
                 qPrintable(info.Problems()));
        info.grab().save(pictures + "/record_info.png");
        year->setText("2024");
        QVERIFY(year->styleSheet().isEmpty());
        QVERIFY(info.Problems().isEmpty());

        TSettingsDialog settings(*m_store, m_dir->path());
        const QList<QLineEdit*> edits = settings.findChildren<QLineEdit*>();
        QLineEdit* cipher = edits[1];
        QLineEdit* misSerial = edits[6];
        cipher->setText("abc");
        misSerial->setText("S-1\x01");
        // The form's own label words, never the registry's element or the
        // schema's type; the command line keeps them.
        const QString cipherWords =
            QStringLiteral("Шифр клейма — от 1 до 3 заглавных русских букв, задано «abc»");
        QCOMPARE(cipher->toolTip(), cipherWords);
        QCOMPARE(misSerial->toolTip(),
                 QStringLiteral("Калибратор как СИ: зав. номер — недопустимый управляющий символ "
                                "U+0001"));
        QCOMPARE(LabSettingsProblems(settings.Settings()).value(0),
                 QStringLiteral("Шифр клейма — signCipher: от 1 до 3 заглавных русских букв "
                                "([А-Я]{1,3}), задано «abc»"));
        settings.grab().save(pictures + "/settings.png");
        yukt::testing::ClosedBoxes boxes;  // what OK says
        const QStringList& told = boxes.told;
        settings.accept();
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0].split('\n').value(0), cipherWords);
        QVERIFY2(!told[0].contains("signCipher") && !told[0].contains("manufactureNum") &&
                     !told[0].contains("mis_serial"),
                 qPrintable(told[0]));
        cipher->setText("ЛАБ");
        misSerial->clear();
        QVERIFY(cipher->styleSheet().isEmpty());
        QVERIFY(LabSettingsProblems(settings.Settings()).isEmpty());
    }

    void settingsStoredInTheDatabase() {
        TSettingsDialog dialog(*m_store, m_dir->path());
        const QList<QLineEdit*> edits = dialog.findChildren<QLineEdit*>();
        QVERIFY(edits.size() >= 10);
        edits[0]->setText("Лаборатория");
        edits[1]->setText("ЛАБ");
        edits[3]->setText("3.1.A.1; 3.1.A.2");
        dialog.findChildren<QSpinBox*>().first()->setValue(24);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const LabSettings s = LabSettings::Load(*m_store).value();
        QCOMPARE(s.organisation, QString("Лаборатория"));
        QCOMPARE(s.signCipher, QString("ЛАБ"));
        QCOMPARE(s.uveNumbers, (QStringList{"3.1.A.1", "3.1.A.2"}));
        QCOMPARE(s.IntervalFor(LabSettings::Models().first()), 24);
    }

    // The password field is masked; the password, typed there or in the
    // address, lands in the pgpass file only.
    void databasePasswordNeverInTheIni() {
        qputenv("PGPASSFILE", QFile::encodeName(m_dir->filePath("pgpass")));
        for (const char* password : {"", "Field:2"}) {
            TSettingsDialog dialog(*m_store, m_dir->path());
            QCOMPARE(dialog.findChild<QLineEdit*>("DatabasePassword")->echoMode(),
                     QLineEdit::Password);
            dialog.findChild<QLineEdit*>("Database")->setText("postgresql://lab:Typed-1@db/pv");
            dialog.findChild<QLineEdit*>("DatabasePassword")->setText(password);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QFile pgpass(m_dir->filePath("pgpass")), ini(m_dir->filePath("poverka.ini"));
        QVERIFY(pgpass.open(QIODevice::ReadOnly) && ini.open(QIODevice::ReadOnly));
        QCOMPARE(pgpass.readAll(), QByteArray("db:*:pv:lab:Field\\:2\n"));
        QCOMPARE(pgpass.permissions() & 0x0077, QFile::Permissions());
        const QByteArray saved = ini.readAll();
        QVERIFY2(saved.contains("postgresql://lab@db/pv") && !saved.contains("Typed"), saved);
        TSettingsDialog shown(*m_store, m_dir->path());
        QCOMPARE(shown.findChild<QLineEdit*>("Database")->text(),
                 QString("postgresql://lab@db/pv"));
        qunsetenv("PGPASSFILE");
    }

    // A password typed in the window, in its field or in the address, makes
    // the workstation's process one that leaves no core dump.
    void typedPasswordTurnsCoreDumpsOff() {
        const struct {
            const char *field, *text;
            bool password;
        } typed[] = {{"Database", "postgresql://lab@db/pv", false},
                     {"DatabasePassword", "p/w #1", true},
                     {"Database", "postgresql://lab:p%2Fw@db/pv", true}};
        for (const auto& [field, text, password] : typed) {
            QCOMPARE(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
            TSettingsDialog dialog(*m_store, m_dir->path());
            QLineEdit* edit = dialog.findChild<QLineEdit*>(field);
            edit->clear();
            QTest::keyClicks(edit, text);
            QCOMPARE(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), password ? 0 : 1);
        }
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    }
};

QTEST_MAIN(RecordDialogsTest)
#include "record_dialogs_test.moc"
