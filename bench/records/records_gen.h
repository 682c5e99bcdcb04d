// Fills a records database (SQLite or PostgreSQL) with a laboratory's years
// of verifications for the benchmarks: ten stations, twenty operators, each
// module verified once a year, model 745t by a methodology's plan
// (inspection, testing, the software check, four channels at 4, 12 and
// 20 mA) and model 748t from a single procedure (two channels at 4 and
// 12 mA), errors that drift year by year, some failures, some stopped runs,
// some attempts measured again, a few corrections, and each station's
// calibrator in the register, replaced every year.
// Every record goes through the store as a run makes it (begin, the points
// of each event, close), so that the database's guards accept it and
// `yukt-records verify` finds the chain whole; runs are grouped into the
// store's batches, one commit each.
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
    // Continue a generation cut short: the records the database holds count
    // as the first of `records` (give the same counts as at its start).
    bool resume = false;
    // Told the records written of the total.
    std::function<void(qint64 done, qint64 total)> progress;
};

// The serial of the generator's module `m` ("G-000042").
QString GeneratedSerial(qint64 module);
// The register's number of station `station`'s calibrator in `year`.
QString GeneratedReference(int station, int year);

// Appends to what the database holds (the records' numbers continue).
bool GenerateRecords(RecordStore& store, const GenOptions& options, QString* error);

}  // namespace yukt::records
