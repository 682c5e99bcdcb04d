// Asks the registry's public search for the laboratory's exported records
// not yet found there, one request at a time (at most one per 1.2 s), and
// stores each answer's matches as it comes, so a failure half-way keeps what
// was found and says how far it got.
#pragma once

#include <QDate>
#include <QString>
#include <functional>

#include "records/record_store.h"
#include "records/registry_match.h"

namespace yukt::records {

// The registry's rate: one request per this many milliseconds at most.
constexpr int kRegistryRequestGapMs = 1200;

struct RegistryFetchOptions {
    QString baseUrl;        // "https://fgis.gost.ru", or a laboratory's proxy
    QDate from, to;         // local days of verification, inclusive; invalid: open
    int timeoutMs = 30000;  // for one reply
    // Replies of HTTP 429 waited out (Retry-After, else doubling from
    // kRegistryRequestGapMs) before the fetch gives up.
    int retries = 4;
};

struct RegistryFetchReport {
    int queries = 0;  // searches to make (one per type, serial and day)
    int asked = 0;    // answered so far
    RegistryImportReport import;
    QString error;  // why it stopped, with how far it got
};

// `progress` is told each request as it is made. False when the fetch stopped
// before its end (report.error).
bool FetchRegistry(RecordStore& store, const RegistryFetchOptions& options,
                   RegistryFetchReport& report,
                   const std::function<void(const QString&)>& progress);

// The search's URL for one module on one day.
QString RegistryQueryUrl(const QString& baseUrl, const QString& typeNumber, const QString& serial,
                         const QDate& day, qint64 start);

}  // namespace yukt::records
