// Figures of the records: the time to commit one point (median of 1000) on
// SQLite and on a private PostgreSQL server, the time to open the journal on
// 100 000 records, the time to write one protocol, and the memory of an
// export of 100 000 records, and the records made with one reference among
// a million.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>

#include "app/journal_window.h"
#include "records/fgis_export.h"
#include "records/lab_references.h"
#include "records/pg_server.h"
#include "records/protocol_pdf.h"
#include "records/record_feed.h"
#include "records/records_fixture.h"
#include "records/sql_text.h"

namespace {

using namespace yukt;
using namespace yukt::records;

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

void PointCommit(benchmark::State& state) {
    QString url;
    static int n = 0;
    if (state.range(0) == 0) {
        url = Dir().filePath(QStringLiteral("points-%1.sqlite").arg(++n));
    } else {
        QString why;
        test::PgServer* server = test::SharedPgServer(&why);
        if (!server) return state.SkipWithError(("PostgreSQL: " + why).toStdString().c_str());
        url = server->NewDatabase(&why);
    }
    RecordStore store;
    if (!store.Open(url)) return state.SkipWithError(store.LastError().toStdString().c_str());
    Record r = test::SampleRecord();
    store.Begin(r);
    std::vector<double> micros;
    // range(1) points in one commit: 1 as "В протокол", 16 as a series step.
    const int perCommit = static_cast<int>(state.range(1));
    for (auto _ : state) {
        QList<RecordPoint> points;
        for (int i = 0; i < perCommit; ++i) points << test::SamplePoint(12, 12.01);
        QElapsedTimer t;
        t.start();
        if (!store.AddPoints(r.id, points)) return state.SkipWithError("AddPoints failed");
        const double s = t.nsecsElapsed() / 1e9;
        micros.push_back(s * 1e6);
        state.SetIterationTime(s);
    }
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
}
BENCHMARK(PointCommit)
    ->ArgNames({"postgresql", "points"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 16})
    ->Args({1, 16})
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Fills a SQLite file with closed records in one transaction.
QString ManyRecords(int count) {
    const QString url = Dir().filePath(QStringLiteral("journal-%1.sqlite").arg(count));
    RecordStore store;
    store.Open(url);
    QSqlDatabase db = store.Database();
    db.transaction();
    QSqlQuery ids(db), rows(db);
    ids.prepare(sql::kInsertRecordId);
    rows.prepare(sql::InsertRecord());
    const int columns = sql::RecordColumns().size() + 3;  // and the chain's link, left empty
    const QDateTime start(QDate(2025, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 1; i <= count; ++i) {
        const QString at = start.addSecs(i * 300).toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
        ids.addBindValue(i);
        ids.addBindValue(at);
        ids.exec();
        QVariantList v(columns);
        v[0] = i;
        v[1] = 0;
        v[5] = "bench";
        v[6] = 1;
        v[7] = "closed";
        v[8] = at;
        v[10] = i % 7 ? kSuitable : kUnsuitable;
        v[14] = i % 2 ? "745t" : "787x";
        v[20] = QString::number(100000 + i);
        v[28] = i % 3 ? "Иванов" : "Петров";
        for (const QVariant& x : v) rows.addBindValue(x);
        rows.exec();
    }
    db.commit();
    return url;
}

void JournalOpen(benchmark::State& state) {
    static const QString url = ManyRecords(100000);
    for (auto _ : state) {
        auto store = std::make_unique<RecordStore>();
        store->Open(url);
        TJournalWindow w(std::move(store), Dir().path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(w.RecordAt(TJournalWindow::kPageSize - 1));
        if (w.MatchCount() != 100000) return state.SkipWithError("wrong count");
    }
}
BENCHMARK(JournalOpen)->Unit(benchmark::kMillisecond)->Iterations(10);

void ProtocolWrite(benchmark::State& state) {
    Record r = test::SampleRecord();
    r.id = 1;
    r.verdict = kSuitable;
    for (int i = 0; i < 20; ++i) r.points << test::SamplePoint(4 + i % 5 * 4, 4 + i % 5 * 4 + 0.01);
    const QString path = Dir().filePath("protocol.pdf");
    for (auto _ : state) {
        QString error;
        if (!WriteProtocolPdf(r, path, &error)) return state.SkipWithError("protocol failed");
    }
}
BENCHMARK(ProtocolWrite)->Unit(benchmark::kMillisecond)->Iterations(20);

// Closed "годен" records with every field the registry needs, inserted as
// rows in one transaction (a real store would fsync each one).
QString ExportableRecords(int count) {
    const QString url = Dir().filePath(QStringLiteral("export-%1.sqlite").arg(count));
    RecordStore store;
    store.Open(url);
    QSqlDatabase db = store.Database();
    db.transaction();
    QSqlQuery ids(db), rows(db);
    ids.prepare(sql::kInsertRecordId);
    rows.prepare(sql::InsertRecord());
    const QStringList& columns = sql::RecordColumns();
    const Record sample = test::SampleRecord();
    const QMap<QString, QVariant> fixed = {{"revision", 0},
                                           {"workstation", "bench"},
                                           {"pid", 1},
                                           {"state", "closed"},
                                           {"verdict", kSuitable},
                                           {"valid_until", "2027-01-01"},
                                           {"certificate", "2026/1"},
                                           {"model", "745t"},
                                           {"designation", sample.module.designation},
                                           {"manufacture_year", "2024"},
                                           {"modification", sample.info.modification},
                                           {"owner", sample.info.owner},
                                           {"type_number", sample.info.typeNumber},
                                           {"kind", 2},
                                           {"methodology", sample.info.methodology},
                                           {"operator_name", sample.info.operatorName},
                                           {"temperature", 21.5},
                                           {"pressure", 100.2},
                                           {"pressure_unit", "кПа"},
                                           {"humidity", 55.0},
                                           {"sign_cipher", "ЛАБ"},
                                           {"uve_numbers", sample.lab.uveNumbers.join('\n')}};
    const QDateTime start(QDate(2025, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 1; i <= count; ++i) {
        const QString at = start.addSecs(i * 300).toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
        ids.addBindValue(i);
        ids.addBindValue(at);
        ids.exec();
        for (const QString& c : columns) {
            if (c == "id")
                rows.addBindValue(i);
            else if (c == "started_utc" || c == "finished_utc")
                rows.addBindValue(at);
            else if (c == "serial")
                rows.addBindValue(QString::number(100000 + i));
            else
                rows.addBindValue(fixed.value(c, QString()));
        }
        rows.exec();
    }
    db.commit();
    return url;
}

// Memory of a large registry export: the peak resident size stays flat
// however many records (run it alone: --benchmark_filter=FgisExport).
void FgisExport(benchmark::State& state) {
    static const QString url = ExportableRecords(100000);
    RecordStore store;
    store.Open(url);
    for (auto _ : state) {
        const FgisExportReport report =
            ExportFgis(FeedOfFilter(store, {}), {Dir().filePath("export.xml"), 1000, false, {}}, {});
        if (report.exported != 100000) return state.SkipWithError("not every record exported");
        state.counters["files"] = report.files.size();
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = usage.ru_maxrss / 1024.0;
}
BENCHMARK(FgisExport)->Unit(benchmark::kMillisecond)->Iterations(1);

// A million records, one in a thousand made with the reference in question,
// generated by the database itself (a recursive series; both engines).
QString MillionWithMeans(bool postgres) {
    QString url;
    if (postgres) {
        QString why;
        test::PgServer* server = test::SharedPgServer(&why);
        if (!server) return {};
        url = server->NewDatabase(&why);
    } else {
        url = Dir().filePath("suspect.sqlite");
    }
    RecordStore store;
    if (!store.Open(url)) return {};
    const QString series =
        " WITH RECURSIVE s(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM s WHERE g < 1000000) ";
    QSqlQuery q(store.Database());
    store.Database().transaction();
    const bool ok =
        q.exec("INSERT INTO record_ids (id, created_utc)" + series +
               "SELECT g, '2025-06-01T08:00:00.000Z' FROM s") &&
        q.exec("INSERT INTO records (id, revision, workstation, pid, state, started_utc, model,"
               " serial, owner, verdict, certificate)" +
               series +
               "SELECT g, 0, 'bench', 1, 'closed', '2025-06-01T08:00:00.000Z', '745t',"
               " 'S-' || g, 'Владелец', 'годен', 'C-' || g FROM s") &&
        q.exec("INSERT INTO record_means (record_id, quantity, number, kind)" + series +
               "SELECT g, 'current', CASE WHEN g % 1000 = 0 THEN '3.1.A.1' ELSE '3.1.B.' || (g % 7)"
               " END, 'mieta' FROM s");
    store.Database().commit();
    return ok ? url : QString();
}

// Written once per engine for the benchmarks that read it.
const QString& MillionWithMeansOnce(bool postgres) {
    static QString urls[2];
    QString& url = urls[postgres ? 1 : 0];
    if (url.isEmpty()) url = MillionWithMeans(postgres);
    return url;
}

void SuspectOnAMillion(benchmark::State& state) {
    const bool postgres = state.range(0) != 0;
    const QString& url = MillionWithMeansOnce(postgres);
    if (url.isEmpty()) return state.SkipWithError("the million records were not written");
    RecordStore store;
    if (!store.Open(url)) return state.SkipWithError(store.LastError().toStdString().c_str());
    for (auto _ : state) {
        QSqlQuery q = SuspectRecords(store.Database(), "3.1.A.1", QDate(2025, 1, 1), {});
        int rows = 0;
        while (q.next()) ++rows;
        if (rows != 1000) return state.SkipWithError("wrong count");
    }
}
BENCHMARK(SuspectOnAMillion)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// The journal filtered "Сделано эталоном 3.1.A.1": its count and first page,
// by the index suspect reads.
void JournalByReferenceOnAMillion(benchmark::State& state) {
    const bool postgres = state.range(0) != 0;
    const QString& url = MillionWithMeansOnce(postgres);
    if (url.isEmpty()) return state.SkipWithError("the million records were not written");
    RecordStore store;
    if (!store.Open(url)) return state.SkipWithError(store.LastError().toStdString().c_str());
    JournalFilter filter;
    filter.reference = "3.1.A.1";
    for (auto _ : state) {
        if (JournalCount(store.Database(), filter) != 1000) return state.SkipWithError("wrong count");
        QSqlQuery q = JournalPage(store.Database(), filter, 200, 0);
        int rows = 0;
        while (q.next()) ++rows;
        if (rows != 200) return state.SkipWithError("wrong page");
    }
}
BENCHMARK(JournalByReferenceOnAMillion)
    ->ArgNames({"postgresql"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    test::StopSharedPgServer();
    return 0;
}
