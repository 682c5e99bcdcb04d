// A record made without the registry's fields (a headless run of old) is
// completed with them by `yukt-records complete`, as a new revision; a value
// it already has is changed only by a correction.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "records/lab_settings.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

// Without a runtime folder, as a cron job or a service runs it.
ToolRun Tool(const QStringList& args) {
    return RunRecordsTool(args, [](QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        p.setProcessEnvironment(env);
    });
}

TEST(RecordsTool, CompleteAddsTheRegistrysFieldsAsARevision) {
    QTemporaryDir dir;
    const QString url = dir.filePath("poverka.sqlite");
    {
        RecordStore store;
        ASSERT_TRUE(store.Open(url));
        ASSERT_TRUE(SampleLabSettings().Save(store));
        Record r = SampleRecord();
        r.info.owner.clear();
        r.info.typeNumber.clear();
        r.info.manufactureYear.clear();
        RecordPoint p = SamplePoint(4, 4.01);
        ASSERT_TRUE(store.Begin(r) && store.AddPoint(r.id, p) && store.Close(r.id));
    }
    QFile info(dir.filePath("info.toml"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("owner = \"ООО «Завод»\"\nmanufacture-year = 2021\n");
    info.close();
    const QStringList base = {"complete", "--id", "1", "--author", "Петров", "--reason",
                              "поля для реестра", "--db", url};
    const QStringList exportArgs = {"export", "--fgis", dir.filePath("out.xml"), "--db", url};
    struct Case {
        const char* name;
        QStringList args;
        int status;
        QString said;
    };
    const Case cases[] = {
        {"left out of the export", exportArgs, 3, "mitypeNumber: не заполнено"},
        {"file and option", {"--record-info", info.fileName(), "--type-number", "12345-67"}, 0,
         "Запись № 1 дополнена: редакция 1"},
        {"nothing more to add", {"--owner", "ООО «Завод»"}, 0, "Запись № 1 дополнять нечем"},
        {"a value it has is not replaced", {"--owner", "Другой"}, 2, "--owner: в записи № 1 уже указано"},
        {"exported", exportArgs, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun r = Tool(c.args.first() == "export" ? c.args : base + c.args);
        EXPECT_EQ(r.status, c.status) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(c.said)) << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("XDG_RUNTIME_DIR")) << r.err.toStdString();
    }
    RecordStore store;
    ASSERT_TRUE(store.Open(url));
    const std::optional<Record> r = store.Load(1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->revision.number, 1);
    EXPECT_EQ(r->info.owner, "ООО «Завод»");
    EXPECT_EQ(r->info.typeNumber, "12345-67");
    EXPECT_EQ(r->info.manufactureYear, "2021");
    EXPECT_EQ(r->info.serial, "A-1024");  // what it had stays
    ASSERT_TRUE(ChainWhole(store));
}

}  // namespace
}  // namespace yukt::records::test
