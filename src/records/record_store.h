// The records database: opens SQLite or PostgreSQL by URL, brings the schema
// up to date, and appends records, points and revisions. Nothing stored is
// ever overwritten: an open record is completed once, corrections are new
// revisions.
#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <optional>

#include "records/record.h"
#include "records/record_chain.h"
#include "records/sql_text.h"

namespace yukt::records {

// "postgresql://user@host[:port]/dbname[?host=/socket/dir]", "sqlite:///path"
// or a plain file path.
struct DbUrl {
    QString driver;  // "QSQLITE" or "QPSQL"
    QString database;
    QString host;
    int port = -1;
    QString user;
    QString password;
    QString options;  // libpq keywords for the driver, "service=lab;connect_timeout=10"
};
std::optional<DbUrl> ParseDbUrl(const QString& url, QString* error);

// A row whose insertion is a link of the chain: the statement binds the
// values, then chain_seq, chain_prev and chain_hash.
struct ChainedRow {
    QString insert;
    QString kind;  // as hashed (record_chain.h)
    QList<sql::Column> columns;
    QVariantList values;
};

class RecordStore {
  public:
    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens and migrates up to `version` (the latest by default; tests stop
    // early to check migrations). A SQLite file that fails its quick check is
    // refused. Records left open by a workstation of this host whose process
    // is gone become "прервано" ("работа программы прервана").
    bool Open(const QString& url, int version = -1);
    // Before Open: a store only read from (verify, export, the journal)
    // writes nothing at its opening: no migration, no spool written back, no
    // dead run closed; a SELECT-only role may open it.
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Before Open: a store that browses and corrects (the journal) replays
    // no spool and closes no dead run at its opening, yet may write a
    // correction later; it only brings an older schema up to date. A
    // SELECT-only role or a read-only file opens a current one for browsing.
    void SetQuietOpen(bool quiet) { m_quietOpen = quiet; }
    // The identity the database was given at its creation (empty for a
    // schema older than it): names its spool and its local anchor file.
    const QString& DatabaseId() const { return m_databaseId; }
    // Where the closings' anchors go; empty: the user's local anchor file.
    void SetAnchorFile(const QString& path) { m_anchorFile = path; }
    // Why the last closing's anchor was not written; empty when it was.
    const QString& AnchorError() const { return m_anchorError; }
    bool IsOpen() const { return m_db.isOpen(); }
    const QString& LastError() const { return m_error; }
    // Open failed because the SQLite file is damaged.
    bool Damaged() const { return m_damaged; }
    QSqlDatabase Database() const { return m_db; }
    // The URL it was opened with, for another thread's own connection; it
    // may hold a password, so it is never shown.
    const QString& Url() const { return m_url; }
    int SchemaVersion();
    const QList<qint64>& InterruptedAtOpen() const { return m_interrupted; }
    // What became of the records kept in the local spool while this database
    // was away, written back at this open; empty when there were none.
    const QStringList& SpoolNotes() const { return m_spoolNotes; }

    // Starts a record: assigns its number, workstation and start time, and
    // stores its plan. Callers first make sure MissingLabSettings() is empty.
    bool Begin(Record& record);
    // Commits one point at once, so a crash loses at most the point in progress.
    bool AddPoint(qint64 recordId, RecordPoint& point);
    // The points of one event (a series step's channels) in one commit: all
    // of them or none.
    bool AddPoints(qint64 recordId, QList<RecordPoint>& points);
    // Ends an open record: a record with a plan by the plan's verdict; else
    // the verdict from its points unless one is given ("прервано" for a
    // stopped run). Validity and certificate number from the settings.
    // `finishedAt` (UTC) is when the verification ended, if not now: a record
    // written back from the spool ends when its run did.
    bool Close(qint64 recordId, const QString& verdict = {}, const QStringList& reasons = {},
               const QDateTime& finishedAt = {});
    // Ends an open record "прервано" whatever its points or plan would give:
    // what a run that lost its database told the operator, written back.
    bool CloseInterrupted(qint64 recordId, const QStringList& reasons, const QDateTime& finishedAt);
    // The last point number stored for a record this store writes to; 0 when none.
    int LastPointSeq(qint64 recordId) const { return m_lastSeq.value(recordId, 0); }
    // Another connection of this program goes on with the record's points
    // (a run written on a thread of its own): the number it reached.
    void SetLastPointSeq(qint64 recordId, int seq) { m_lastSeq[recordId] = seq; }
    // The FLASH values the module keeps after the verification, given before
    // the record is closed and written with the closing.
    bool SetFlashAfter(qint64 recordId, const QString& values);
    // A correction: a new revision of the operator's fields with who and why;
    // with `lab`, also the laboratory's part (the means, the sign cipher),
    // which completes a record begun before the settings were filled.
    bool Correct(qint64 recordId, const RecordInfo& info, const QString& author,
                 const QString& reason);
    bool Correct(qint64 recordId, const RecordInfo& info, const std::optional<LabSnapshot>& lab,
                 const QString& author, const QString& reason);

    // The registry's entry found for a closed record: a new revision that
    // carries it (and every later correction keeps it).
    bool MarkInRegistry(qint64 recordId, const RegistryEntry& entry, const QString& author);
    // Rows of other tables that are links of the chain (the register of
    // references), in one transaction: all of them or none.
    bool AppendChained(const QList<ChainedRow>& rows);

    // The latest revision (or the given one) with its points.
    std::optional<Record> Load(qint64 recordId, int revision = -1);

    QString Setting(const QString& key, const QString& fallback = {});
    // Every setting; nothing (LastError set) when they cannot be read.
    std::optional<QHash<QString, QString>> Settings();
    bool SetSetting(const QString& key, const QString& value);

    // SQLite: the quick check (`full`: the integrity check); what is wrong
    // in `problems`. Always true on PostgreSQL.
    bool CheckIntegrity(bool full, QStringList* problems);
    // Walks the chain of every record; false only when it cannot be read.
    bool VerifyChain(ChainReport& report);
    // PostgreSQL, run by the database's owner: the workstation role's rights.
    bool GrantWorkstation(const QString& role);

    static QString Workstation();

    // The clock records are stamped with (UTC); by default the system's. A
    // generator of sample databases sets it to lay records over years.
    void SetClock(std::function<QDateTime()> nowUtc) { m_clock = std::move(nowUtc); }
    // The workstation Begin stamps on a record, if not this host: such a
    // generator lays its records over the laboratory's stations.
    void SetStationName(const QString& name) { m_station = name; }
    // Many runs' calls (Begin, AddPoints, Close, Correct, the register's
    // rows) in one transaction: the same statements and the same guards,
    // one commit, all or nothing. A closing's anchor is written once, after
    // the commit, so that it never names a link the database has not kept.
    bool Batch(const std::function<bool()>& work);
    // The secret of the run that began record `id` in this store, which the
    // database asks of every point and of the closing; empty when this store
    // did not begin it. A spool keeps it so that its write-back continues the run.
    QString RunToken(qint64 id) const { return m_tokens.value(id); }
    void AdoptRun(qint64 id, const QString& token) {
        if (!token.isEmpty()) m_tokens.insert(id, token);
    }

  private:
    struct Link {
        qint64 seq = 0;
        QString prev, hash;
    };
    bool Fail(const QString& what, const QString& detail);
    bool Exec(const QString& text, const QVariantList& binds, const QString& what);
    // Runs a prepared statement with values; its rows are read, then finished.
    QSqlQuery* Run(const QString& text, const QVariantList& binds, const QString& what);
    bool InTransaction(const std::function<bool()>& work);
    bool Migrate(int target);
    bool SealExisting();
    bool InterruptLeftOpen();
    // Takes `count` numbers of the counter; the last of them.
    std::optional<qint64> NextNumber(const QString& counter, qint64 count = 1);
    // The next link of the chain; inside a transaction, whose counter lock
    // keeps the chain in one order across workstations.
    std::optional<Link> NextLink(const QString& kind, const QList<sql::Column>& columns,
                                 const QVariantList& values);
    // The link numbered `seq` (taken from the chain's counter).
    std::optional<Link> LinkAt(qint64 seq, const QString& kind, const QList<sql::Column>& columns,
                               const QVariantList& values);
    static QVariantList Linked(const QVariantList& row, const Link& link);
    bool InsertRow(const Record& record);
    bool InsertChained(const ChainedRow& row);
    // Once, with the register's migration: the settings' free-text means
    // become references of unknown validity.
    bool MoveLegacyMeans();
    bool WriteClosure(const QVariantList& closure);  // values of sql::ClosureColumns()
    // The head as it is now, outside the database (the closings' anchor).
    void WriteAnchor();
    // Read back on a fresh connection: is the record closed with `verdict`?
    bool ClosedAs(qint64 recordId, const QString& verdict);
    void Reconnect();

    QString m_name;
    QString m_url;
    sql::Engine m_engine = sql::Engine::Sqlite;
    QSqlDatabase m_db;
    QString m_error;
    bool m_damaged = false;
    bool m_readOnly = false;
    bool m_quietOpen = false;
    QString m_databaseId;
    QString m_anchorFile, m_anchorError;
    QList<qint64> m_interrupted;
    QStringList m_spoolNotes;
    QHash<qint64, int> m_lastSeq;
    QHash<qint64, QString> m_flashAfter;
    QHash<qint64, QString> m_tokens;  // the runs this store began or took over
    QHash<QString, QSqlQuery> m_prepared;
    Link m_lastLink;  // the latest link this connection wrote
    std::function<QDateTime()> m_clock;
    QString m_station;
    bool m_inBatch = false;
    bool m_anchorDue = false;  // a batch closed a record: its anchor follows the commit
    QDateTime Now() const { return m_clock ? m_clock() : QDateTime::currentDateTimeUtc(); }
};

}  // namespace yukt::records
