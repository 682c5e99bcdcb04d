// The SQL of the round trip with the registry: the events of a record
// (exported, refused), the records an answer of the registry may match, and
// the state of a record as the journal and the pending list read it.
#pragma once

#include <QString>

namespace yukt::records::sql {

// Binds record_id, event, at_utc, file, format, reason, author, workstation.
extern const char* const kInsertRegistryEvent;
// The latest revision of closed records of a type number and serial (binds both).
extern const char* const kRegistryCandidates;
// The record whose latest revision carries a registry id (binds it).
extern const char* const kRecordOfVri;
// The events of one record, oldest first (binds record_id).
extern const char* const kRegistryEventsOf;

// The registry state of `r` as text: "registry VRI", the latest event with
// its time ("exported 2026-12-08T…Z", "refused …"), "unfinished" for a record
// the registry would not take, or empty (never exported).
extern const char* const kRegistryStateColumn;
// The journal's select (kJournalSelect) with the registry column last, named
// "registry_state".
QString JournalSelectWithRegistry();
// Journal filters on the registry state; the two of an export bind the
// not-found bound ("exported " and the UTC time).
extern const char* const kFilterInRegistry;
extern const char* const kFilterNotExported;
extern const char* const kFilterRefused;
extern const char* const kFilterExportedSince;   // binds "exported <bound>"
extern const char* const kFilterExportedBefore;  // binds "exported <bound>"
// The pending list's columns: id, model, serial, type number, finished_utc,
// the registry column; filters and sql::kJournalLatestOnly follow.
extern const char* const kPendingSelect;
extern const char* const kPendingOrder;
// Exported at least once and not matched yet.
extern const char* const kFilterExportedNotFound;
// Finished within a range (binds the UTC bounds: first, after last).
extern const char* const kFilterFinishedFrom;
extern const char* const kFilterFinishedTo;
// Finished records: closed with a verdict the registry takes.
extern const char* const kFilterFinished;

}  // namespace yukt::records::sql
