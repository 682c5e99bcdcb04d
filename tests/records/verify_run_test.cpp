// A whole automatic verification on the simulated bench over a pseudo-
// terminal, run by yukt-verify --db: the run becomes a record with every
// point, the verdict and its protocol, on both engines.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cmath>

#include "build_slowdown.h"
#include "records/bench_run.h"
#include "records/lab_references.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

class VerifyRunTest : public EngineTest {
  protected:
    bool StartBench(const QStringList& extra) { return m_bench.StartBench(extra); }
    QString WriteProcedure(const char* delay) { return m_bench.WriteProcedure(delay); }
    BenchRun m_bench{m_dir.path()};
};
RECORDS_ON_BOTH_ENGINES(VerifyRunTest);

TEST_P(VerifyRunTest, AnUnfitRunBecomesARecordWithItsPointsAndProtocol) {
    ASSERT_TRUE(StartBench({"--current-error", "0.1"}));
    QFile procedure(m_dir.filePath("p.toml"));
    ASSERT_TRUE(procedure.open(QIODevice::WriteOnly));
    procedure.write(
        "title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
        "quantity = \"current\"\npoints = [4, 12, 20]\n"
        "[error]\nkind = \"reduced\"\nlimit = 0.2\nrange = 20\n"
        "[settling]\ndelay = 0\nagree = 2\nband = 0.005\ntimeout = 20\nreadings = 2\n");
    procedure.close();
    const QString pdf = m_dir.filePath("protocol.pdf");
    auto run = [&](const QString& url, QString* err) {
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("YUKT_COM1", m_dir.filePath("com1"));
        verify.setProcessEnvironment(env);
        verify.start(YUKT_BIN_DIR "/yukt-verify",
                     {"--cfg", m_dir.filePath("cfg"), "--procedure", procedure.fileName(),
                      "--serial", "S-77", "--db", url, "--operator", "Иванов И. И.", "--kind",
                      "первичная", "--conditions", "21.5,100.2,55", "--protocol", pdf, "--owner",
                      "ООО «Завод»", "--type-number", "12345-67"});
        EXPECT_TRUE(verify.waitForFinished(120000));
        *err = QString::fromLocal8Bit(verify.readAllStandardError());
        return verify.exitCode();
    };
    QString err;
    // Settings the registry needs and nobody filled: the run does not start.
    EXPECT_NE(run(m_url, &err), 0);
    EXPECT_TRUE(err.contains("Шифр клейма") && err.contains("Средства поверки")) << err.toStdString();
    EXPECT_FALSE(Connect()->Load(1));
    {
        auto store = Connect();
        ASSERT_TRUE(SetSampleLabSettings(*store));
        // The only reference of the current ran out yesterday.
        LabReference expired;
        expired.kind = kMietaKind;
        expired.number = "3.1.ЗИР.0001.2026";
        expired.name = "Калибратор";
        expired.serial = "1";
        expired.certificate = "С-1";
        expired.validUntil = QDate::currentDate().addDays(-1);
        expired.quantities = {"current"};
        QString error;
        ASSERT_TRUE(AddReference(*store, expired, &error)) << error.toStdString();
    }
    EXPECT_EQ(run(m_url, &err), 2);
    EXPECT_TRUE(err.contains("эталон 3.1.ЗИР.0001.2026 действителен до " +
                             QDate::currentDate().addDays(-1).toString("dd.MM.yyyy")))
        << err.toStdString();
    EXPECT_FALSE(Connect()->Load(1));
    {
        auto store = Connect();
        QString error;
        ASSERT_TRUE(RenewReference(*store, "3.1.ЗИР.0001.2026", "С-2",
                                   QDate::currentDate().addDays(20), {}, {}, &error))
            << error.toStdString();
    }
    if (QString(GetParam()) == "sqlite") {
        // A copy with a damaged page stops the run before it starts.
        const QString copy = m_dir.filePath("damaged.sqlite");
        ASSERT_TRUE(QFile::copy(m_url, copy));
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.size() >= 3 * 4096);
        f.seek(f.size() - 4096);
        f.write(QByteArray(4096, '\x5a'));
        f.close();
        EXPECT_NE(run(copy, &err), 0);
        EXPECT_TRUE(err.contains("повреждена")) << err.toStdString();
    }
    EXPECT_EQ(run(m_url, &err), 3) << err.toStdString();
    EXPECT_TRUE(err.contains("предупреждение: эталон 3.1.ЗИР.0001.2026 действителен до")) << err.toStdString();

    auto store = Connect();
    const std::optional<Record> r = store->Load(1);
    ASSERT_TRUE(r) << store->LastError().toStdString();
    EXPECT_EQ(r->verdict, kUnsuitable);
    EXPECT_EQ(r->info.serial, "S-77");
    EXPECT_EQ(r->info.operatorName, "Иванов И. И.");
    EXPECT_EQ(r->info.kind, VerificationKind::Primary);
    EXPECT_EQ(r->info.methodology, "МП 001-2026");
    EXPECT_EQ(r->module.model, "745t");
    EXPECT_EQ(r->lab.signCipher, "ЛАБ");
    EXPECT_FALSE(r->program.checksum.isEmpty());
    ASSERT_EQ(r->points.size(), 3);
    for (const RecordPoint& p : r->points) {
        EXPECT_EQ(p.result, "fail");
        EXPECT_EQ(p.errorKind, "reduced");
        EXPECT_NEAR(p.error, 0.5, 1e-6);
        EXPECT_EQ(p.readings.size(), 2);
        EXPECT_EQ(p.unit, "мА");
    }
    EXPECT_DOUBLE_EQ(r->points[1].nominal, 12);
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString protocol = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(protocol.contains("непригоден")) << protocol.toStdString();
    EXPECT_TRUE(protocol.contains("S-77"));
    EXPECT_TRUE(protocol.contains("0,500 %")) << protocol.toStdString();
    // The table of the references the record was made with, as they were.
    EXPECT_TRUE(protocol.contains("3.1.ЗИР.0001.2026") && protocol.contains("С-2") &&
                protocol.contains(QDate::currentDate().addDays(20).toString("dd.MM.yyyy")))
        << protocol.toStdString();
    EXPECT_EQ(r->lab.mietaNumbers, QStringList{"3.1.ЗИР.0001.2026"});
}

// A Russian laboratory's computer: the record's application object takes the
// decimal comma from the environment, the replies and the database keep ".".
TEST_P(VerifyRunTest, AFitRunUnderARussianLocaleIsSuitable) {
    ASSERT_TRUE(StartBench({}));
    const QString procedure = WriteProcedure("0.5");
    ASSERT_FALSE(procedure.isEmpty());
    {
        auto store = Connect();
        ASSERT_TRUE(SetSampleLabSettings(*store));
        LabReference r;
        r.kind = kUveKind;
        r.number = "3.1.A.1";
        r.name = "Эталон";
        r.serial = "1";
        r.certificate = "С-1";
        r.validUntil = QDate::currentDate().addYears(1);
        r.quantities = {"current"};
        QString error;
        ASSERT_TRUE(AddReference(*store, r, &error)) << error.toStdString();
    }
    QProcess verify;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("YUKT_COM1", m_dir.filePath("com1"));
    env.insert("LC_ALL", "ru_RU.UTF-8");
    verify.setProcessEnvironment(env);
    verify.start(YUKT_BIN_DIR "/yukt-verify",
                 {"--cfg", m_dir.filePath("cfg"), "--procedure", procedure, "--serial", "S-78",
                  "--db", m_url, "--operator", "Петров П. П.", "--conditions", "21.5,100.2,55",
                  "--owner", "ООО «Завод»", "--type-number", "12345-67"});
    ASSERT_TRUE(verify.waitForFinished(120000));
    const QString out = QString::fromUtf8(verify.readAllStandardOutput());
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("итог: годен (")) << out.toStdString();

    auto store = Connect();
    const std::optional<Record> r = store->Load(1);
    ASSERT_TRUE(r) << store->LastError().toStdString();
    EXPECT_EQ(r->verdict, kSuitable);
    EXPECT_EQ(r->info.conditions.temperature, 21.5);
    ASSERT_EQ(r->points.size(), 3);
    for (const RecordPoint& p : r->points) {
        EXPECT_EQ(p.result, "pass");
        EXPECT_NEAR(p.measured, p.nominal, 0.01);
    }
    EXPECT_DOUBLE_EQ(r->points[2].nominal, 20);
}

// The generator that does not confirm its safe value at the end of a run
// (silent, or answering "Err") is named, with the value it was last given,
// on stderr and among the reasons of the record, which the protocol prints;
// the verdict stands. The fault strikes while the last point settles, once
// the generator has taken its 20 mA.
TEST_P(VerifyRunTest, AnUnconfirmedSafeValueIsAmongTheRecordsReasons) {
    ASSERT_TRUE(StartBench({}));
    const QString procedure = WriteProcedure("2");
    ASSERT_FALSE(procedure.isEmpty());
    {
        auto store = Connect();
        ASSERT_TRUE(SetSampleLabSettings(*store) && AddSampleReference(*store));
    }
    const QString said =
        QStringLiteral("безопасное значение не подтверждено: генератор мог остаться на 20 мА");
    struct Case {
        const char* fault;  // the bench's control command; empty: none
        bool confirmed;
    };
    const Case cases[] = {{"", true}, {"fault silence 1", false}, {"fault refuse 1", false}};
    qint64 id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ++id;
        QFile control(m_dir.filePath("control"));
        ASSERT_TRUE(control.open(QIODevice::Append));
        control.write("fault clear\n");
        control.close();
        QProcess verify;
        m_bench.StartVerify(verify, procedure, {"--db", m_url});
        if (*c.fault) {
            bool struck = false;
            const int polls = static_cast<int>(1500 * kBuildSlowdown);
            for (int i = 0; i < polls && !struck && verify.state() != QProcess::NotRunning; ++i) {
                const std::optional<double> ma = m_bench.GeneratorCurrent();
                if (!ma || std::abs(*ma - 20) > 0.01) continue;
                ASSERT_TRUE(control.open(QIODevice::Append));
                control.write(QByteArray(c.fault) + "\n");
                control.close();
                struck = true;
            }
            ASSERT_TRUE(struck);
        }
        ASSERT_TRUE(verify.waitForFinished(static_cast<int>(120000 * kBuildSlowdown)));
        const QString err = QString::fromUtf8(verify.readAllStandardError());
        EXPECT_EQ(verify.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(err.contains("yukt-verify: " + said), !c.confirmed) << err.toStdString();

        auto store = Connect();
        const std::optional<Record> r = store->Load(id);
        ASSERT_TRUE(r) << store->LastError().toStdString();
        EXPECT_EQ(r->verdict, kSuitable);
        EXPECT_EQ(r->reasons.contains(said), !c.confirmed) << r->reasons.join("; ").toStdString();
        const QString protocol = ProtocolPages(*r, "safe.pdf").join(' ').simplified();
        EXPECT_EQ(protocol.contains(said), !c.confirmed) << protocol.toStdString();
    }
}

// A headless station gives the registry's fields on the command line or in
// a file; without them the run does not start, naming what is missing. The
// record it makes then goes into the registry file, and the tool says
// nothing about Qt's runtime directory.
TEST_P(VerifyRunTest, RecordFieldsFromOptionsOrAFileElseNoRun) {
    ASSERT_TRUE(StartBench({}));
    const QString procedure = WriteProcedure("0");
    ASSERT_FALSE(procedure.isEmpty());
    {
        auto store = Connect();
        ASSERT_TRUE(SetSampleLabSettings(*store) && AddSampleReference(*store));
    }
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(m_dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        return f.fileName();
    };
    const QString info = write("info.toml",
                               "owner = \"ООО «Завод»\"\ntype-number = \"12345-67\"\n"
                               "manufacture-year = 2021\nname = \"Модуль ввода\"\n");
    const QString wrong = write("wrong.toml", "owner = \"ООО\"\ncolour = \"red\"\n");
    struct Case {
        const char* name;
        QStringList extra;
        int status;
        QStringList said;  // on stderr
    };
    const Case cases[] = {
        {"nothing given", {}, 2, {"--owner (владелец): не заполнено", "--type-number"}},
        {"owner only", {"--owner", "ООО «Завод»"}, 2, {"--type-number"}},
        {"a year that is none", {"--record-info", info, "--manufacture-year", "21"}, 2,
         {"--manufacture-year (год выпуска)"}},
        {"an unknown key", {"--record-info", wrong}, 2, {wrong + ":2: colour: неизвестный ключ"}},
        {"the file", {"--record-info", info, "--modification", "745t-01"}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("YUKT_COM1", m_dir.filePath("com1"));
        env.remove("XDG_RUNTIME_DIR");
        verify.setProcessEnvironment(env);
        verify.start(YUKT_BIN_DIR "/yukt-verify",
                     QStringList{"--cfg", m_dir.filePath("cfg"), "--procedure", procedure,
                                 "--serial", "S-79", "--db", m_url, "--operator", "Петров П. П.",
                                 "--conditions", "21.5,100.2,55"} +
                         c.extra);
        ASSERT_TRUE(verify.waitForFinished(120000));
        const QString err = QString::fromUtf8(verify.readAllStandardError());
        EXPECT_EQ(verify.exitCode(), c.status) << err.toStdString();
        for (const QString& s : c.said) EXPECT_TRUE(err.contains(s)) << err.toStdString();
        EXPECT_FALSE(err.contains("XDG_RUNTIME_DIR")) << err.toStdString();
    }
    auto store = Connect();
    const std::optional<Record> r = store->Load(1);
    ASSERT_TRUE(r) << store->LastError().toStdString();
    EXPECT_FALSE(store->Load(2));
    EXPECT_EQ(r->info.owner, "ООО «Завод»");
    EXPECT_EQ(r->info.typeNumber, "12345-67");
    EXPECT_EQ(r->info.manufactureYear, "2021");
    EXPECT_EQ(r->info.modification, "745t-01");
    EXPECT_EQ(r->info.instrumentName, "Модуль ввода");

    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    tool.setProcessEnvironment(env);
    const QString xml = m_dir.filePath("fgis.xml");
    tool.start(YUKT_RECORDS_TOOL, {"export", "--fgis", xml, "--db", m_url});
    ASSERT_TRUE(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_EQ(tool.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(err.contains("XDG_RUNTIME_DIR")) << err.toStdString();
    QFile file(xml);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("<mitypeNumber>12345-67</mitypeNumber>")) << text.toStdString();
    EXPECT_TRUE(text.contains("<manufactureYear>2021</manufactureYear>"));
}

}  // namespace
}  // namespace yukt::records::test
