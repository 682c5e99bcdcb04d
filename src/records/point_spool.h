// The local spool: when the records database goes away during a run, the
// points measured from then on and the way the record ends are kept in a
// file of the user's data folder, and written into the database the next
// time any program of the workstation opens it. One file per record, named
// by the database and the record number, rewritten whole at every point.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "records/record.h"

namespace yukt::records {

class RecordStore;

// poverka/spool in the user's data folder (~/.local/share/poverka/spool).
QString SpoolDir();

class PointSpool {
  public:
    // Takes over record `recordId` of `store`, lost for `why`.
    PointSpool(const RecordStore& store, qint64 recordId, const QString& why);
    // Each call rewrites the file, so a crash keeps every point before it.
    bool Keep(const RecordPoint& point);
    // The record's end; once ended the file may be written back.
    bool End(const QString& verdict, const QStringList& reasons);

    const QString& Path() const { return m_path; }
    // The first failure to keep the file; empty while it holds.
    const QString& Error() const { return m_error; }
    int Count() const { return static_cast<int>(m_points.size()); }

  private:
    bool Write();

    QString m_key;
    QString m_token;
    QString m_path;
    QString m_why;
    qint64 m_id;
    QList<RecordPoint> m_points;
    bool m_ended = false;
    QDateTime m_endedAt;
    QString m_verdict;
    QStringList m_reasons;
    QString m_error;
    int m_lastSeq = 0;  // the record's last point number, stored or kept here
};

// Writes back every spooled record of the database `store` has open: its
// points not yet there and its end. Returns a line per record for the
// operator; a record that cannot be written back keeps its file.
QStringList ReplaySpool(RecordStore& store);

}  // namespace yukt::records
