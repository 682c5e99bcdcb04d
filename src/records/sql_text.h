// Every SQL text of the records store, in one place. The same texts serve
// SQLite and PostgreSQL; values are always bound, never spliced in.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace yukt::records::sql {

enum class Engine { Sqlite, Postgres };

// Schema migrations, numbered from 1; migration n brings version n-1 to n.
const QList<QStringList>& Migrations();
inline int LatestVersion() { return static_cast<int>(Migrations().size()); }
// The version whose migration seals the rows written before the chain
// existed; its guards come after the sealing (see AppendOnlyGuards).
constexpr int kChainVersion = 3;
// The triggers (the engines differ here) that refuse changing or deleting what was recorded; the
// one update they let through is the closing of an open record.
// `version`: the schema the guards are made for (columns a later migration
// adds are left out).
QStringList AppendOnlyGuards(Engine engine, int version = LatestVersion());
// After migration `version` added columns to the records table: the guard
// that lets only the closing through, made again over the columns it has now.
QStringList RecordsGuardAgain(Engine engine, int version);
// The version whose migration adds a column to a table (0: it was there
// before any such migration), read from the migrations' own text.
int VersionAdding(const char* table, const char* column);

// The columns of a record row, in the order kInsertRecord binds them.
const QStringList& RecordColumns();

// What a revision may change (see sql_text.cpp); every other column of a
// record, save RevisionOwnColumns(), must equal revision 0.
const QStringList& DescriptiveColumns();
const QStringList& RevisionOwnColumns();
// Statements of Migrations() that the store expands for its engine: the
// forgery guards, and the revision guard built from the records table's
// columns as they are at that migration (repeat it in a later migration
// that adds columns or descriptive names).
extern const char* const kForgeryGuards;
extern const char* const kRevisionGuard;
QStringList ForgeryGuards(Engine engine);
QStringList RevisionGuard(Engine engine, const QStringList& recordTableColumns);
// The verdict the stored plan and attempts of record `id` (an SQL
// expression) give, as an SQL expression: the run's rule.
QString StoredVerdict(const QString& id);

extern const char* const kCreateVersionTable;
extern const char* const kReadVersion;
extern const char* const kInsertVersion;
extern const char* const kWriteVersion;

extern const char* const kEnsureCounter;
extern const char* const kBumpCounter;

extern const char* const kInsertRecordId;
// Each binds its columns in order, then chain_seq, chain_prev, chain_hash,
// then the run's key (records) or token (points, plan items), then who
// wrote it: OS user, host, time (PostgreSQL replaces them by its own).
QString InsertRecord();    // RecordColumns()
QString InsertPoint();     // Names(PointColumns())
QString InsertPlanItem();  // Names(PlanColumns())
// The closing's columns, its chain link; on SQLite then the run token and
// who closed it; then the id.
QString CloseRecord(Engine engine);
// PostgreSQL: the run token of this transaction's writes (binds the token).
extern const char* const kSetRunToken;
extern const char* const kOpenRecordsOf;
QString SelectRecord();    // the latest revision of one record (bind id)
QString SelectRevision();  // one revision (bind id, revision)
QString SelectPoints();    // Names(PointColumns()) of one record (bind id)

extern const char* const kReadSetting;
extern const char* const kReadAllSettings;
extern const char* const kWriteSetting;

// The journal: the latest revision of every record, filtered and paged. The
// filter fragments are appended for the filters in use, each binding one value.
extern const char* const kJournalSelect;
extern const char* const kJournalCount;
extern const char* const kJournalLatestOnly;
extern const char* const kFilterFrom;
extern const char* const kFilterTo;
extern const char* const kFilterModel;
extern const char* const kFilterSerial;
extern const char* const kFilterVerdict;
extern const char* const kFilterOperator;
// Validity ending within a range (binds verdict, first and last ISO date) of
// a module not verified again since.
extern const char* const kFilterDue;
extern const char* const kFilterIdAfter;     // binds the last id read
extern const char* const kJournalOrderById;  // binds limit
extern const char* const kDueSelect;         // the recall list's columns
extern const char* const kDueOrder;
extern const char* const kJournalOrderPage;  // binds limit, offset
extern const char* const kJournalOrderAll;

// The chain: every record revision, point, plan item and closure carries the
// SHA-256 of its content and of the entry before it (chain_seq - 1).
enum class ColumnType { Text, Int, Real };
struct Column {
    const char* name;
    ColumnType type;
    // Added after rows were sealed: a null value hashes as nothing, so that
    // the rows sealed before it was added keep their hashes.
    bool addedLater = false;
};
// What each kind of entry hashes, in order. A record's opening leaves out
// what its closure adds; a later revision hashes every column.
const QList<Column>& OpeningColumns();
const QList<Column>& ClosureColumns();  // with "id" first
const QList<Column>& RevisionColumns();  // the opening's, then the closure's
// The registry's match (registry_vri_id, registry_docnum, registry_seen_utc):
// the last of RecordColumns(); a revision carrying a match hashes
// RegistryRevisionColumns() as a "registry" entry, so the rows written before
// these columns existed keep their hashes.
const QList<Column>& RegistryColumns();
const QList<Column>& RegistryRevisionColumns();
const QList<Column>& PointColumns();
const QList<Column>& PlanColumns();
QStringList Names(const QList<Column>& columns);

extern const char* const kChainCounter;
// The tables that hold links of the chain; kHashAt and kFindHash bind their
// value once per table.
constexpr int kChainTables = 6;
extern const char* const kHashAt;  // binds the seq kChainTables times
extern const char* const kChainHead;
extern const char* const kSetChainCounter;  // binds value, name
QString SelectChainWindow(const QString& entry);  // binds low, high; see record_chain.cpp
QString SelectUnchained(const QString& entry);
extern const char* const kFindHash;  // binds the hash kChainTables times

extern const char* const kSelectPlan;  // item, operation, title, kind, channel, nominal, unit
extern const char* const kRecordChainHash;  // binds the id four times

// Sealing the rows of a round-2 database (before the guards exist).
extern const char* const kSealRecordIds;  // binds last id, page size
QString SealRevisions();                   // binds id; points: SelectPoints()
// The columns of a record row at the chain's version, as SealRevisions reads them.
QStringList RecordColumnsAtChain();
extern const char* const kSealRevision;
extern const char* const kSealClosure;
extern const char* const kSealPoint;

// PostgreSQL: the rights of the workstation's role (a plain identifier,
// checked by the caller) on a database migrated by its owner.
QStringList WorkstationGrants(const QString& role);

}  // namespace yukt::records::sql
