// The records database: opens SQLite or PostgreSQL by URL, brings the schema
// up to date, and appends records, points and revisions. Nothing stored is
// ever overwritten: an open record is completed once, corrections are new
// revisions.
#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <optional>

#include "records/record.h"

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

class RecordStore {
  public:
    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens and migrates up to `version` (the latest by default; tests stop
    // early to check migrations). Records left open by a workstation of this
    // host whose process is gone become "прервано".
    bool Open(const QString& url, int version = -1);
    bool IsOpen() const { return m_db.isOpen(); }
    const QString& LastError() const { return m_error; }
    QSqlDatabase Database() const { return m_db; }
    int SchemaVersion();
    const QList<qint64>& InterruptedAtOpen() const { return m_interrupted; }
    // What became of the records kept in the local spool while this database
    // was away, written back at this open; empty when there were none.
    const QStringList& SpoolNotes() const { return m_spoolNotes; }

    // Starts a record: assigns its number, workstation and start time.
    bool Begin(Record& record);
    // Commits one point at once, so a crash loses at most the point in progress.
    bool AddPoint(qint64 recordId, RecordPoint& point);
    // Ends an open record: the verdict from its points unless one is given
    // ("прервано" for a stopped run), validity and certificate number from
    // the settings.
    bool Close(qint64 recordId, const QString& verdict = {}, const QStringList& reasons = {});
    // The FLASH values the module keeps after the verification, set on an
    // open record before it is closed.
    bool SetFlashAfter(qint64 recordId, const QString& values);
    // A correction: a new revision of the operator's fields with who and why.
    bool Correct(qint64 recordId, const RecordInfo& info, const QString& author,
                 const QString& reason);

    // The latest revision (or the given one) with its points.
    std::optional<Record> Load(qint64 recordId, int revision = -1);

    QString Setting(const QString& key, const QString& fallback = {});
    bool SetSetting(const QString& key, const QString& value);

    static QString Workstation();

  private:
    bool Fail(const QString& what, const QString& detail);
    bool Exec(const QString& text, const QVariantList& binds, const QString& what);
    bool Migrate(int target);
    void InterruptLeftOpen();
    std::optional<qint64> NextNumber(const QString& counter);
    bool InsertRow(const Record& record);

    QString m_name;
    QSqlDatabase m_db;
    QString m_error;
    QList<qint64> m_interrupted;
    QStringList m_spoolNotes;
    QHash<qint64, int> m_lastSeq;
};

}  // namespace yukt::records
