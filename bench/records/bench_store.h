// The records benchmarks' one fixture: a database filled once per run
// through the store, as a run writes it, and kept by name; the process's
// peak memory as a counter.
//   YUKT_BENCH_DIR      a folder where SQLite files are kept between runs
//   YUKT_BENCH_PG_URL   an existing PostgreSQL database to use as it is
//                       (filled once by yukt-records-gen); else a private
//                       server's new database, filled here
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <functional>
#include <string>

#include "records/pg_server.h"
#include "records/record_store.h"

namespace yukt::records::bench {

using Fill = std::function<bool(RecordStore&, QString* error)>;

inline QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

// The URL of the database `name` of one engine, filled by `fill` the first
// time it is asked for in this run; empty with `why` when it cannot be had.
inline QString Database(const QString& name, bool postgres, const Fill& fill, std::string* why) {
    static QHash<QString, QString> made;
    const QString key = (postgres ? "pg:" : "sqlite:") + name;
    if (const auto it = made.constFind(key); it != made.constEnd()) return *it;
    QString target, error;
    if (postgres) {
        const QString given = qEnvironmentVariable("YUKT_BENCH_PG_URL");
        if (!given.isEmpty()) return made[key] = given;
        test::PgServer* server = test::SharedPgServer(&error);
        if (server) target = server->NewDatabase(&error);
        if (target.isEmpty()) {
            *why = ("PostgreSQL: " + error).toStdString();
            return {};
        }
    } else {
        const QString keep = qEnvironmentVariable("YUKT_BENCH_DIR", Dir().path());
        target = QDir(keep).filePath(name + ".sqlite");
        if (QFileInfo::exists(target)) return made[key] = target;
    }
    RecordStore store;
    if (!store.Open(target) || !fill(store, &error)) {
        *why = (error.isEmpty() ? store.LastError() : error).toStdString();
        if (!postgres) QFile::remove(target);
        return {};
    }
    return made[key] = target;
}

// A SQLite copy of `from`, changed by `change` (a tampered chain), made once
// per run in the temporary folder.
inline QString ChangedCopy(const QString& name, const QString& from,
                           const std::function<bool(const QString& path)>& change,
                           std::string* why) {
    static QHash<QString, QString> made;
    if (const auto it = made.constFind(name); it != made.constEnd()) return *it;
    const QString target = Dir().filePath(name + ".sqlite");
    QFile::remove(target);
    if (!QFile::copy(from, target) || !change(target)) {
        *why = "cannot make " + name.toStdString();
        return {};
    }
    return made[name] = target;
}

// The process's peak resident memory so far (run one benchmark alone with
// --benchmark_filter for its own).
inline void PeakMemory(benchmark::State& state) {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    state.counters["peak_rss_MB"] = double(u.ru_maxrss) / 1024.0;
}

}  // namespace yukt::records::bench
