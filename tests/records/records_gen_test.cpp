// The benchmarks' generator and the store's batches it goes through: a
// laboratory's sample records pass every guard of the database and are found
// whole by the chain's walk and the records' meaning; a batch that fails
// leaves nothing behind, and its anchor is written only once it is kept.
#include "records/records_gen.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSqlQuery>

#include "records/record_audit.h"
#include "records/records_fixture.h"

namespace yukt::records::test {
namespace {

class RecordsGenTest : public EngineTest {};

qint64 Count(RecordStore& store, const QString& query) {
    QSqlQuery q(store.Database());
    return q.exec(query) && q.next() ? q.value(0).toLongLong() : -1;
}

TEST_P(RecordsGenTest, TheSampleRecordsPassTheGuardsAndVerify) {
    auto store = Connect();
    GenOptions o;
    o.records = 90;
    o.years = 3;
    o.stations = 2;
    qint64 told = 0;
    o.progress = [&told](qint64 done, qint64) { told = done; };
    QString error;
    ASSERT_TRUE(GenerateRecords(*store, o, &error)) << error.toStdString();
    EXPECT_EQ(told, 90);
    // A second run appends: the numbers continue and the register is not doubled.
    o.records = 10;
    ASSERT_TRUE(GenerateRecords(*store, o, &error)) << error.toStdString();
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM records WHERE revision = 0"), 100);
    EXPECT_EQ(Count(*store, "SELECT max(id) FROM records"), 100);
    EXPECT_EQ(Count(*store, "SELECT count(DISTINCT number) FROM lab_references"), 2 * 4);
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM records WHERE state = 'open'"), 0);
    EXPECT_EQ(Count(*store, "SELECT count(DISTINCT workstation) FROM records"), 2);
    EXPECT_GT(Count(*store, "SELECT count(*) FROM records WHERE verdict = 'годен'"), 50);
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM record_means"), 100);
    // A generation cut short continues up to its count.
    o.records = 130;
    o.resume = true;
    ASSERT_TRUE(GenerateRecords(*store, o, &error)) << error.toStdString();
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM records WHERE revision = 0"), 130);

    ChainReport report;
    ASSERT_TRUE(store->VerifyChain(report)) << store->LastError().toStdString();
    ASSERT_TRUE(CheckMeaning(store->Database(), &report.problems, &error)) << error.toStdString();
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join('\n').toStdString();
    EXPECT_EQ(report.entries, Count(*store, "SELECT value FROM counters WHERE name = 'chain'"));
}

TEST_P(RecordsGenTest, AFailedBatchLeavesNothingAndAnchorsOnlyWhatIsKept) {
    auto store = Connect();
    const QString anchors = m_dir.filePath("anchors.txt");
    store->SetAnchorFile(anchors);
    auto run = [&](bool fail) {
        Record r = SampleRecord();
        if (!store->Begin(r)) return false;
        QList<RecordPoint> points = {SamplePoint(4, 4.01), SamplePoint(20, 20.02)};
        if (!store->AddPoints(r.id, points) || !store->Close(r.id)) return false;
        // A point after the closing: the database refuses it.
        QList<RecordPoint> late = {SamplePoint(12, 12.0)};
        return !fail || store->AddPoints(r.id, late);
    };
    EXPECT_FALSE(store->Batch([&] { return run(false) && run(true); }));
    EXPECT_FALSE(store->LastError().isEmpty());
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM records"), 0);
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM points"), 0);
    EXPECT_FALSE(QFile::exists(anchors));
    ASSERT_TRUE(store->Batch([&] { return run(false) && run(false); }))
        << store->LastError().toStdString();
    EXPECT_EQ(Count(*store, "SELECT count(*) FROM records"), 2);
    QFile f(anchors);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 1);  // one anchor per kept batch
    ASSERT_TRUE(ChainWhole(*store));
}

// An error rounded to a negative zero: SQLite keeps it as 0, and the link
// read back must hash as it was written.
TEST_P(RecordsGenTest, ANegativeZeroKeepsItsLink) {
    auto store = Connect();
    Record r = SampleRecord();
    ASSERT_TRUE(store->Begin(r));
    RecordPoint p = SamplePoint(4, 4.0);
    p.error = -0.0;
    p.measured = 4.0;
    QList<RecordPoint> points = {p};
    ASSERT_TRUE(store->AddPoints(r.id, points));
    ASSERT_TRUE(store->Close(r.id));
    ASSERT_TRUE(ChainWhole(*store));
}

#ifdef YUKT_RECORDS_TOOL
// `verify` on a terminal shows its steps and bar; in a pipe nothing of them.
TEST_P(RecordsGenTest, VerifyShowsProgressOnlyOnATerminal) {
    if (QString(GetParam()) != "sqlite") GTEST_SKIP() << "the same on both engines";
    {
        auto store = Connect();
        GenOptions o;
        o.records = 20;
        o.years = 2;
        QString error;
        ASSERT_TRUE(GenerateRecords(*store, o, &error)) << error.toStdString();
    }
    const ToolRun piped = RunRecordsTool({"verify", "--db", m_url});
    EXPECT_EQ(piped.status, 0) << piped.out.toStdString();
    EXPECT_FALSE(piped.err.contains('\r') || piped.err.contains('\033')) << piped.err.toStdString();
    // script(1) gives it a pseudo-terminal.
    QProcess tty;
    tty.start("script", {"-qefc", QString("%1 verify --db %2").arg(YUKT_RECORDS_TOOL, m_url),
                         "/dev/null"});
    ASSERT_TRUE(tty.waitForFinished(60000));
    const QString shown = QString::fromUtf8(tty.readAllStandardOutput());
    EXPECT_TRUE(shown.contains("Проверка: файл базы данных")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(" из ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("нарушений: 0")) << shown.toStdString();
}
#endif

RECORDS_ON_BOTH_ENGINES(RecordsGenTest);

}  // namespace
}  // namespace yukt::records::test
