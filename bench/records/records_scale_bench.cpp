// The journal at a laboratory's scale: a database of YUKT_BENCH_RECORDS
// generated records (100 000 unless set; a laboratory of ten stations over
// ten years holds about a million) on SQLite and on a private PostgreSQL
// server, and the time of what people do with it: open the database, the
// journal's first page and a filtered page, a module's history, a model's
// statistics for a year, the recall list, the records of one reference, a
// month's registry export. Each
// reports the process's peak resident memory so far (run one alone with
// --benchmark_filter for its own).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdlib>

#include "records/bench_store.h"
#include "records/fgis_export.h"
#include "records/journal_query.h"
#include "records/lab_references.h"
#include "records/lab_stats.h"
#include "records/module_history.h"
#include "records/record_feed.h"
#include "records/record_store.h"
#include "records/records_gen.h"

namespace {

using namespace yukt::records;

qint64 Records() {
    const char* n = std::getenv("YUKT_BENCH_RECORDS");
    return n ? std::atoll(n) : 100000;
}

// The generated database of each engine, made once per run (a SQLite file
// may be kept between runs in YUKT_BENCH_DIR, a PostgreSQL database given
// by YUKT_BENCH_PG_URL).
QString Database(bool postgres, std::string* why) {
    return bench::Database(QStringLiteral("scale-%1").arg(Records()), postgres,
                           [](RecordStore& store, QString* error) {
                               GenOptions o;
                               o.records = Records();
                               return GenerateRecords(store, o, error);
                           },
                           why);
}

void Memory(benchmark::State& state) { bench::PeakMemory(state); }

#define OPEN_OR_SKIP(state)                                       \
    std::string why;                                              \
    const QString url = Database((state).range(0) != 0, &why);    \
    if (url.isEmpty()) return (state).SkipWithError(why.c_str()); \
    RecordStore store;                                            \
    if (!store.Open(url)) return (state).SkipWithError(store.LastError().toStdString().c_str())

void OpenDatabase(benchmark::State& state) {
    std::string why;
    const QString url = Database(state.range(0) != 0, &why);
    if (url.isEmpty()) return state.SkipWithError(why.c_str());
    for (auto _ : state) {
        RecordStore store;
        if (!store.Open(url)) return state.SkipWithError(store.LastError().toStdString().c_str());
    }
    Memory(state);
}

void JournalFirstPage(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    for (auto _ : state) {
        JournalFilter f;
        if (state.range(1)) {
            f.model = "745t";
            f.verdict = kUnsuitable;
        }
        benchmark::DoNotOptimize(JournalCountUpTo(store.Database(), f, 10000));
        QSqlQuery q = JournalPage(store.Database(), f, 200, 0);
        int rows = 0;
        while (q.next()) ++rows;
        if (rows == 0) return state.SkipWithError("empty page");
    }
    Memory(state);
}

void History(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    qint64 m = 0;
    for (auto _ : state) {
        QString error;
        const auto h =
            LoadModuleHistory(store, GeneratedSerial(m++ * 37 % (Records() / 10)), {}, &error);
        if (!h || h->records.isEmpty()) return state.SkipWithError("no history");
    }
    Memory(state);
}

void StatsOfAYear(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    for (auto _ : state) {
        StatsFilter f;
        f.model = "745t";
        f.to = QDate::currentDate();
        f.from = f.to.addYears(-1);
        QString error;
        const auto s = ReadLabStats(store.Database(), f, &error);
        if (!s || s->months.isEmpty()) return state.SkipWithError(error.toStdString().c_str());
    }
    Memory(state);
}

void DueIn30Days(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    for (auto _ : state) {
        QSqlQuery q = DueModules(store.Database(), 30);
        qint64 n = 0;
        while (q.next()) ++n;
        state.counters["due"] = double(n);
    }
    Memory(state);
}

// The records made with one station's calibrator of last year (a tenth of a year's).
void Suspect(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    for (auto _ : state) {
        QSqlQuery q = SuspectRecords(store.Database(),
                                     GeneratedReference(3, QDate::currentDate().year() - 1), {}, {});
        qint64 n = 0;
        while (q.next()) ++n;
        if (n == 0) return state.SkipWithError("no records of that reference");
        state.counters["records"] = double(n);
    }
    Memory(state);
}

void ExportAMonth(benchmark::State& state) {
    OPEN_OR_SKIP(state);
    static QTemporaryDir out;
    for (auto _ : state) {
        JournalFilter f;
        f.to = QDate::currentDate().addMonths(-1);
        f.from = f.to.addMonths(-1).addDays(1);
        FgisExportOptions o;
        o.path = out.filePath("month.xml");
        const FgisExportReport r = ExportFgis(FeedOfFilter(store, f), o, [](const QString&) {});
        if (!r.error.isEmpty()) return state.SkipWithError(r.error.toStdString().c_str());
        state.counters["exported"] = double(r.exported);
    }
    Memory(state);
}

BENCHMARK(OpenDatabase)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(JournalFirstPage)
    ->ArgNames({"postgresql", "filtered"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(History)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(StatsOfAYear)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(DueIn30Days)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(Suspect)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(ExportAMonth)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
