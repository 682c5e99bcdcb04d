// yukt-records run as a program against a SQLite database.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "records/full_disk.h"
#include "records/journal_csv.h"
#include "records/lab_settings.h"
#include "records/pg_server.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

#ifdef YUKT_RECORDS_TOOL
TEST(RecordsTool, ExportsTheDateRangeAndNamesWhatItLeftOut) {
    QTemporaryDir dir;
    const QString url = dir.filePath("poverka.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(url)) << store.LastError().toStdString();
        for (const QString& serial : {QString("A-1"), QString(), QString("A-3")}) {
            Record r = SampleRecord();
            r.info.serial = serial;
            ASSERT_TRUE(store.Begin(r));
            RecordPoint p = SamplePoint(4, 4.01);
            ASSERT_TRUE(store.AddPoint(r.id, p));
            ASSERT_TRUE(store.Close(r.id));
        }
    }
    struct Case {
        QStringList args;
        int status;
        int results;
        QString stderrHas;
    };
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    const Case cases[] = {
        {{"--from", today, "--to", today}, 3, 2, "Запись № 2"},
        {{"--from", tomorrow}, 3, -1, "нет записей для выгрузки, файл не записан"},
        {{"--from", "08.12.2026"}, 2, -1, "ГГГГ-ММ-ДД"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const QString xml = dir.filePath("out.xml");
        QFile::remove(xml);
        QProcess p;
        p.start(YUKT_RECORDS_TOOL, QStringList{"export", "--fgis", xml, "--db", url} + c.args);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), c.status) << err.toStdString();
        EXPECT_TRUE(err.contains(c.stderrHas)) << err.toStdString();
        QFile file(xml);
        EXPECT_EQ(file.exists(), c.results >= 0);
        if (c.results >= 0 && file.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(file.readAll().count("<result>"), c.results);
        }
    }
    QProcess p;
    p.start(YUKT_RECORDS_TOOL,
            {"protocol", "--id", "3", "--pdf", dir.filePath("3.pdf"), "--db", url});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    QFile pdf(dir.filePath("3.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(4) == "%PDF");
}

int RunTool(const QStringList& args, QString* out) {
    const ToolRun r = RunRecordsTool(args);
    *out = r.All();
    return r.status;
}

// What someone with the file and an editor might do, the guards taken away first.
TEST(RecordsTool, VerifyNamesEveryChangedMissingOrReorderedEntry) {
    QTemporaryDir dir;
    const QString base = dir.filePath("base.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(base)) << store.LastError().toStdString();
        for (int k = 0; k < 2; ++k) {
            Record r = SampleRecord();
            ASSERT_TRUE(store.Begin(r));
            for (double nominal : {4.0, 12.0, 20.0}) {
                RecordPoint p = SamplePoint(nominal, nominal + 0.01);
                ASSERT_TRUE(store.AddPoint(r.id, p));
            }
            ASSERT_TRUE(store.Close(r.id));
        }
    }
    struct Case {
        const char* name;
        QStringList sql;
        int status;
        QStringList named;
    };
    // Record 1: opening 1, points 2-4, closure 5; record 2: 6, 7-9, 10.
    const Case cases[] = {
        {"untouched", {}, 0, {"нарушений: 0"}},
        {"edited", {"UPDATE records SET verdict = 'не годен' WHERE id = 1"}, 3,
         {"звено 5, запись № 1, закрытие: изменено"}},
        {"deleted", {"DELETE FROM points WHERE record_id = 1 AND seq = 2"}, 3,
         {"звено 3: нет в базе"}},
        {"record deleted", {"DELETE FROM records WHERE id = 2"}, 3,
         {"звено 6: нет в базе", "звено 10: нет в базе"}},
        {"reordered",
         {"UPDATE points SET chain_seq = -1 WHERE chain_seq = 3",
          "UPDATE points SET chain_seq = 3 WHERE chain_seq = 4",
          "UPDATE points SET chain_seq = 4 WHERE chain_seq = -1"},
         3, {"звено 3, запись № 1, точка 3: переставлено", "звено 4, запись № 1, точка 2: переставлено"}},
        // Outside the chain, computed again from the points.
        {"statistics changed", {"UPDATE stat_figures SET failures = failures + 1"}, 3,
         {"итоги статистики расходятся с точками записей: модель"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = dir.filePath(QString(c.name) + ".sqlite");
        ASSERT_NO_FATAL_FAILURE(TamperedCopy(base, copy, c.sql));
        QString out;
        EXPECT_EQ(RunTool({"verify", "--db", copy}, &out), c.status) << out.toStdString();
        for (const QString& named : c.named) EXPECT_TRUE(out.contains(named)) << out.toStdString();
    }
}

// Begun before the settings were filled: left out of the export until completed.
TEST(RecordsTool, ARecordBegunWithoutTheLaboratorysPartIsCompletedByACorrection) {
    QTemporaryDir dir;
    const QString url = dir.filePath("poverka.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(url));
        Record r = SampleRecord();
        r.lab = {};
        RecordPoint p = SamplePoint(4, 4.01);
        ASSERT_TRUE(store.Begin(r) && store.AddPoint(r.id, p) && store.Close(r.id));
    }
    const QStringList complete = {"complete", "--id", "1", "--author", "Петров",
                                  "--reason", "настройки заполнены", "--db", url};
    const QStringList exportArgs = {"export", "--fgis", dir.filePath("out.xml"), "--db", url};
    QString out;
    EXPECT_EQ(RunTool(complete, &out), 1) << "nothing to complete it with yet";
    EXPECT_EQ(RunTool(exportArgs, &out), 3);
    EXPECT_TRUE(out.contains("signCipher: не заполнено")) << out.toStdString();
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(url));
        ASSERT_TRUE(SampleLabSettings().Save(store));
    }
    EXPECT_EQ(RunTool(complete, &out), 0) << out.toStdString();
    EXPECT_EQ(RunTool(exportArgs, &out), 0) << out.toStdString();
    QFile xml(dir.filePath("out.xml"));
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QByteArray text = xml.readAll();
    EXPECT_TRUE(text.contains("<signCipher>ЛАБ</signCipher>") && text.contains("3.1.A.1"));
    EXPECT_EQ(RunTool({"verify", "--db", url}, &out), 0) << out.toStdString();
}

// The installation script, run twice as after an upgrade: the workstation role
// it sets up records a verification and can change nothing recorded.
TEST(PgSetup, MakesAWorkstationRoleThatOnlyAppends) {
    QString why;
    PgServer* server = SharedPgServer(&why);
    if (!server) GTEST_SKIP() << why.toStdString();
    const QStringList args = {"--host", server->SocketDir(), "--db", "lab_setup", "--tool",
                              YUKT_RECORDS_TOOL};
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(YUKT_SCRIPTS_DIR "/pg-setup", args);
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    }
    RecordStore store;
    ASSERT_TRUE(store.Open("postgresql://poverka_station@/lab_setup?host=" + server->SocketDir()))
        << store.LastError().toStdString();
    Record r = SampleRecord();
    RecordPoint p = SamplePoint(4, 4.2);
    ASSERT_TRUE(store.Begin(r) && store.AddPoint(r.id, p) && store.Close(r.id))
        << store.LastError().toStdString();
    for (const char* statement :
         {"UPDATE records SET verdict = 'годен'", "DELETE FROM points", "TRUNCATE counters",
          "CREATE TABLE notes (x INTEGER)", "DROP TRIGGER points_no_update ON points"}) {
        QSqlQuery q(store.Database());
        EXPECT_FALSE(q.exec(statement)) << statement;
    }
    // The owner may switch a guard off, but not unseen: the audit keeps it
    // where the owner can only read.
    RecordStore owner;
    ASSERT_TRUE(owner.Open("postgresql://poverka_owner@/lab_setup?host=" + server->SocketDir()))
        << owner.LastError().toStdString();
    QSqlQuery q(owner.Database());
    ASSERT_TRUE(q.exec("ALTER TABLE points DISABLE TRIGGER points_no_update"))
        << q.lastError().text().toStdString();
    ASSERT_TRUE(q.exec("ALTER TABLE points ENABLE TRIGGER points_no_update"));
    ASSERT_TRUE(q.exec("SELECT by_user, statement FROM records_audit.ddl_log"
                       " WHERE statement LIKE '%DISABLE TRIGGER points_no_update%'"))
        << q.lastError().text().toStdString();
    ASSERT_TRUE(q.next()) << "the disabling was not recorded";
    EXPECT_EQ(q.value(0).toString(), "poverka_owner");
    for (const char* statement : {"DELETE FROM records_audit.ddl_log", "DROP TABLE records_audit.ddl_log",
                                  "DROP EVENT TRIGGER records_audit_ddl"})
        EXPECT_FALSE(q.exec(statement)) << statement;
}

ToolRun Tool(const QStringList& args, const FullDisk* disk = nullptr) {
    return RunRecordsTool(args, [disk](QProcess& p) {
        if (disk) disk->FullForChild(p);
    });
}

TEST(RecordsTool, SettingsAreListedReadAndSetWithTheDialogsChecks) {
    QTemporaryDir dir;
    const QString db = dir.filePath("poverka.sqlite");
    struct Case {
        QStringList args;
        int status;
        QString out, err;
    };
    const Case cases[] = {
        {{"set", "sign_cipher", "ЛАБ"}, 0, "", ""},
        // The registry's element and type, where the dialog says its own label only.
        {{"set", "sign_cipher", "abc"},
         2,
         "",
         "Шифр клейма — signCipher: от 1 до 3 заглавных русских букв ([А-Я]{1,3}), задано «abc»"},
        {{"set", "organisation", QString("Лаб") + QChar(0x1D)},
         2,
         "",
         "organisation: недопустимый управляющий символ U+001D"},
        {{"get", "sign_cipher"}, 0, "ЛАБ\n", ""},
        {{"set", "uve_numbers", "3.1.A.1; 3.1.B.2"}, 0, "", ""},
        {{"get", "uve_numbers"}, 0, "3.1.A.1;3.1.B.2\n", ""},
        {{"set", "certificate_scheme", "{Y}"}, 2, "", "нужен {N}"},
        {{"set", "interval.748t", "0"}, 2, "", "от 1 до 120"},
        {{"set", "interval.748t", "24"}, 0, "", ""},
        {{"set", "colour", "red"}, 2, "", "нет такого параметра: colour"},
        {{}, 0, "interval.748t = 24\n", ""},
        {{}, 0, "notice_scheme = И-{Y}/{N}\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun r = Tool(QStringList{"settings"} + c.args + QStringList{"--db", db});
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(c.args.isEmpty() ? r.out.contains(c.out) : r.out == c.out)
            << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
}

TEST(RecordsTool, DueListsTheLatestVerificationOfEachModuleWhoseValidityEnds) {
    QTemporaryDir dir;
    const QString db = dir.filePath("poverka.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(db)) << store.LastError().toStdString();
        ASSERT_TRUE(store.SetSetting("interval.745t", "1"));  // valid for 27..30 days
        for (const QString& serial : {QString("A-1"), QString("A-2"), QString("A-2")}) {
            Record r = SampleRecord();
            r.info.serial = serial;
            ASSERT_TRUE(store.Begin(r));
            RecordPoint p = SamplePoint(4, 4.01);
            ASSERT_TRUE(store.AddPoint(r.id, p));
            ASSERT_TRUE(store.Close(r.id));
        }
        JournalFilter due;
        due.dueWithinDays = 31;
        EXPECT_EQ(JournalCount(store.Database(), due), 2);
    }
    ToolRun r = Tool({"due", "--days", "26", "--db", db});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    r = Tool({"due", "--days", "31", "--db", db});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_TRUE(lines[1].contains("\tA-1\t") && lines[1].endsWith("\t1")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains("\tA-2\t") && lines[2].endsWith("\t3")) << lines[2].toStdString();
}

// Text a spreadsheet would run as a formula stays text; numbers, quotes and
// separators as a CSV reader expects them.
TEST(JournalCsv, FieldsNeverBecomeFormulas) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+7 (495) 123", "'+7 (495) 123"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"-A-1024", "'-A-1024"},
        {"-1024", "-1024"},
        {"-0.05", "-0.05"},
        {"-0,05", "\"-0,05\""},
        {"Иванов; Петров", "\"Иванов; Петров\""},
        {"Иванов, Петров", "\"Иванов, Петров\""},
        {"строка\nвторая", "\"строка\nвторая\""},
        {"А-1024", "А-1024"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CsvField(QString::fromUtf8(c.in)).toStdString(), c.out) << c.in;
}

TEST(RecordsTool, AFullDiskFailsTheExportAndTheCsvLeavingNothing) {
    QTemporaryDir dir;
    const QString db = dir.filePath("poverka.sqlite");
    RecordStore store;
    ASSERT_TRUE(store.Open(db)) << store.LastError().toStdString();
    Record rec = SampleRecord();
    ASSERT_TRUE(store.Begin(rec));
    RecordPoint p = SamplePoint(4, 4.01);
    ASSERT_TRUE(store.AddPoint(rec.id, p));
    ASSERT_TRUE(store.Close(rec.id));

    FullDisk disk;
    const QString xml = disk.Dir() + "/out.xml";
    const ToolRun r = Tool({"export", "--fgis", xml, "--db", db}, &disk);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Не удалось записать " + xml + ": ")) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("Выгружено"));
    const QString csv = disk.Dir() + "/journal.csv";
    CsvReport report;
    {
        const FullDisk::Hold full = disk.Full();
        report = WriteJournalCsv(store.Database(), {}, csv);
    }
    EXPECT_EQ(report.rows, 0);
    EXPECT_TRUE(report.error.startsWith("Не удалось записать " + csv + ": "))
        << report.error.toStdString();
    EXPECT_EQ(disk.Entries(), QStringList());

    JournalFilter none;
    none.serial = "нет такого";
    report = WriteJournalCsv(store.Database(), none, dir.filePath("empty.csv"));
    EXPECT_EQ(report.rows, 0);
    EXPECT_TRUE(report.error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.csv")));
    report = WriteJournalCsv(store.Database(), {}, dir.filePath("one.csv"));
    EXPECT_EQ(report.rows, 1);
    QFile written(dir.filePath("one.csv"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().count("\r\n"), 2);
    // Cancelled after its first row: not even a temporary file stays.
    report = WriteJournalCsv(store.Database(), {}, dir.filePath("stopped.csv"),
                             [](qint64) { return false; });
    EXPECT_TRUE(report.cancelled && report.error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList({"*stopped*"}, QDir::Files | QDir::Hidden), QStringList());
}
#endif

}  // namespace
}  // namespace yukt::records::test
