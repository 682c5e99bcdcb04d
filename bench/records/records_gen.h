// Fills a records database (SQLite or PostgreSQL) with a laboratory's years
// of verifications for the benchmarks: ten stations, twenty operators, each
// module verified once a year, model 745t by a methodology's plan (two manual
// operations, four channels at 4, 12 and 20 mA) and model 748t from a single
// procedure (two channels at 4 and 12 mA), errors that drift year by year,
// some failures, some stopped runs. Rows are inserted in large transactions,
// not one commit per point as a run makes them, and are not linked into the
// chain: `yukt-records verify` names them all.
#pragma once

#include <QString>
#include <functional>

namespace yukt::records {

class RecordStore;

struct GenOptions {
    qint64 records = 100000;
    int years = 10;
    int stations = 10;
    quint32 seed = 1;
    // Told the records written of the total.
    std::function<void(qint64 done, qint64 total)> progress;
};

// The serial of the generator's module `m` ("G-000042").
QString GeneratedSerial(qint64 module);

bool GenerateRecords(RecordStore& store, const GenOptions& options, QString* error);

}  // namespace yukt::records
