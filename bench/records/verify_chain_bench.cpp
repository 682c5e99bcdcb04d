// The cost of `yukt-records verify` over 1 000 links of the chain, each of
// them good or each of them tampered: the check is linear in the chain, so
// the tampered chain costs no more than the good one (goal: within ±20 %).
// Compare the two rows' times.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>

#include "records/bench_store.h"
#include "records/record_audit.h"
#include "records/record_store.h"
#include "records/records_fixture.h"

namespace {

using namespace yukt::records;

// 100 records of 8 points each, closed: 1 000 links.
constexpr int kRecords = 100;
constexpr int kPointsPerRecord = 8;

// 100 sample records through the store; the tampered copy has every
// record and every point changed under triggers the owner dropped.
QString Database(bool tampered) {
    std::string why;
    const QString good = bench::Database(
        QStringLiteral("verify-good"), false,
        [](RecordStore& store, QString*) {
            for (int k = 0; k < kRecords; ++k) {
                Record r = test::SampleRecord();
                if (!store.Begin(r)) return false;
                QList<RecordPoint> points;
                for (int i = 0; i < kPointsPerRecord; ++i)
                    points << test::SamplePoint(4 + 2 * i, 4.01 + 2 * i);
                if (!store.AddPoints(r.id, points) || !store.Close(r.id)) return false;
            }
            return true;
        },
        &why);
    if (good.isEmpty() || !tampered) return good;
    return bench::ChangedCopy(
        QStringLiteral("verify-tampered"), good,
        [](const QString& path) {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "tamper");
            db.setDatabaseName(path);
            bool ok = db.open();
            {
                QSqlQuery q(db);
                QStringList triggers;
                q.exec("SELECT name FROM sqlite_master WHERE type = 'trigger'");
                while (q.next()) triggers << q.value(0).toString();
                for (const QString& t : triggers) ok = ok && q.exec("DROP TRIGGER " + t);
                ok = ok && q.exec("UPDATE points SET measured = measured + 0.5") &&
                     q.exec("UPDATE records SET owner = owner || '*'");
            }
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase("tamper");
            return ok;
        },
        &why);
}

// What `verify` does: the chain walked, then its meaning checked.
void Verify(benchmark::State& state) {
    const bool tampered = state.range(0) != 0;
    const QString url = Database(tampered);
    if (url.isEmpty()) return state.SkipWithError("the sample database was not made");
    RecordStore store;
    store.SetReadOnly(true);
    if (!store.Open(url)) return state.SkipWithError(store.LastError().toStdString().c_str());
    qint64 problems = 0, links = 0;
    for (auto _ : state) {
        ChainReport report;
        QStringList meaning;
        QString error;
        if (!store.VerifyChain(report) || !CheckMeaning(store.Database(), &meaning, &error))
            return state.SkipWithError("verify failed");
        problems = report.problems.size() + meaning.size();
        links = report.entries;
    }
    state.SetLabel(tampered ? "every link tampered" : "every link good");
    state.counters["links"] = static_cast<double>(links);
    state.counters["problems"] = static_cast<double>(problems);
    state.SetItemsProcessed(state.iterations() * links);
}
BENCHMARK(Verify)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
