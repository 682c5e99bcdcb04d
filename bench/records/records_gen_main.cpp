// yukt-records-gen: a records database filled with a laboratory's years of
// verifications, for the benchmarks and for trying the journal at scale.
//   yukt-records-gen --db URL [--records N] [--years Y] [--seed S] [--resume]
// --resume continues a generation cut short (a batch is kept whole or not
// at all) up to the same N.
// A bar shows the records written when stderr is a terminal.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "records/record_store.h"
#include "records/records_gen.h"
#include "records/terminal_progress.h"

using namespace yukt::records;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser args;
    args.addHelpOption();
    args.addOptions({{"db", "records database URL or SQLite file", "URL"},
                     {"records", "how many records (100000)", "N"},
                     {"years", "over how many years (10)", "Y"},
                     {"seed", "random seed (1)", "S"},
                     {"resume", "continue a generation cut short, up to the same N"}});
    args.process(app);
    GenOptions o;
    bool ok = true;
    if (args.isSet("records")) o.records = args.value("records").toLongLong(&ok);
    if (ok && args.isSet("years")) o.years = args.value("years").toInt(&ok);
    if (ok && args.isSet("seed")) o.seed = args.value("seed").toUInt(&ok);
    o.resume = args.isSet("resume");
    if (!ok || args.value("db").isEmpty() || o.records < 1 || o.years < 1) {
        std::fprintf(stderr, "yukt-records-gen: нужны --db URL и числа в --records, --years\n");
        return 2;
    }
    RecordStore store;
    if (!store.Open(args.value("db"))) {
        std::fprintf(stderr, "yukt-records-gen: %s\n", store.LastError().toLocal8Bit().constData());
        return 1;
    }
    TerminalProgress bar(QStringLiteral("Записи"));
    o.progress = [&bar](qint64 done, qint64 total) { bar.Show(done, total); };
    QElapsedTimer t;
    t.start();
    QString error;
    const bool done = GenerateRecords(store, o, &error);
    bar.Done();
    if (!done) {
        std::fprintf(stderr, "yukt-records-gen: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("Записей: %lld за %.1f с\n", static_cast<long long>(o.records),
                t.elapsed() / 1000.0);
    return 0;
}
