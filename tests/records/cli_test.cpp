// yukt-records run as a program against a SQLite database.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "records/lab_settings.h"
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
        {{"--from", tomorrow}, 0, 0, ""},
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
        if (c.results >= 0 && file.open(QIODevice::ReadOnly))
            EXPECT_EQ(file.readAll().count("<result>"), c.results);
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
#endif

}  // namespace
}  // namespace yukt::records::test
