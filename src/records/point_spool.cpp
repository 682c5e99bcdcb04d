#include "records/point_spool.h"

#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QStandardPaths>
#include <cerrno>
#include <cmath>
#include <limits>

#include "common/text.h"
#include "records/point_fields.h"
#include "records/record_store.h"
#include "records/whole_file.h"

namespace yukt::records {
namespace {

// Which database a record belongs to, whatever URL spelling opened it: its
// identity, made at its creation; the address only for a database older
// than that.
QString AddressKey(const QSqlDatabase& db);
QString DatabaseKey(const RecordStore& store) {
    if (!store.DatabaseId().isEmpty()) return "database:" + store.DatabaseId();
    return AddressKey(store.Database());
}
QString AddressKey(const QSqlDatabase& db) {
    if (db.driverName() == "QSQLITE") {
        const QFileInfo f(db.databaseName());
        return "sqlite:" + (f.exists() ? f.canonicalFilePath() : f.absoluteFilePath());
    }
    // Of the connect options only a service names a database; sslmode and
    // the like may change between two openings of the same one.
    QString service;
    for (const QString& option : db.connectOptions().split(';'))
        if (option.startsWith("service=")) service = option;
    return QStringLiteral("postgresql://%1:%2/%3?%4")
        .arg(db.hostName())
        .arg(db.port())
        .arg(db.databaseName(), service);
}

QString FilePrefix(const QString& key) {
    return QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

bool ProcessAlive(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Appends what the spool file `o` keeps of its record; the note says what
// became of it.
bool WriteBack(RecordStore& store, const QJsonObject& o, const QString& path, QString& note) {
    const qint64 id = o["record"].toInteger();
    // The run's token lets the write-back continue it; without one the
    // database takes only "прервано".
    store.AdoptRun(id, o["run_token"].toString());
    const std::optional<Record> r = store.Load(id);
    if (!r) {
        note = QStringLiteral("Буфер %1: %2").arg(path, store.LastError());
        return false;
    }
    if (r->state != RecordState::Open) {
        // A closing whose commit went through unseen: nothing of the file is
        // missing, so the file goes; what the database holds is said.
        int stored = 0;
        for (const RecordPoint& p : r->points) stored = std::max(stored, p.seq);
        bool all = true;
        for (const QJsonValue& v : o["points"].toArray()) {
            const int seq = PointOfJson(v.toObject()).seq;
            all = all && seq != 0 && seq <= stored;
        }
        note = all ? QStringLiteral("Запись № %1 уже закрыта («%2»), буфер %3 удалён")
                         .arg(id)
                         .arg(VerdictForState(r->state, r->verdict), path)
                   : QStringLiteral("Запись № %1 уже закрыта, точки из буфера %2 в неё не записаны")
                         .arg(id)
                         .arg(path);
        return all;
    }
    int last = 0;
    for (const RecordPoint& p : r->points) last = std::max(last, p.seq);
    int added = 0;
    for (const QJsonValue& v : o["points"].toArray()) {
        RecordPoint p = PointOfJson(v.toObject());
        if (p.seq != 0 && p.seq <= last) continue;  // it did reach the database
        if (!store.AddPoint(id, p)) {
            note = QStringLiteral("Запись № %1 не дописана из буфера %2: %3")
                       .arg(id)
                       .arg(path, store.LastError());
            return false;
        }
        ++added;
    }
    // A spool never ended belongs to a program that died after the loss.
    const bool ended = o["ended"].toBool();
    QStringList reasons;
    for (const QJsonValue& v : o["reasons"].toArray()) reasons << v.toString();
    if (!ended) reasons = {o["why"].toString(), QStringLiteral("работа программы прервана")};
    const QString verdict = ended ? o["verdict"].toString() : kInterrupted;
    // The record ends when its run did, not when it is written back.
    const QDateTime finished = QDateTime::fromString(
        o[ended ? "ended_utc" : "written_utc"].toString(), Qt::ISODateWithMs);
    // "прервано" is what the run told the operator: written as such, never
    // judged again into a verdict nobody was shown.
    if (!(verdict == kInterrupted ? store.CloseInterrupted(id, reasons, finished)
                                  : store.Close(id, verdict, reasons, finished))) {
        note = QStringLiteral("Запись № %1 не закрыта из буфера %2: %3")
                   .arg(id)
                   .arg(path, store.LastError());
        return false;
    }
    note = QStringLiteral("Запись № %1 дописана из буфера: точек %2, итог «%3»")
               .arg(id)
               .arg(added)
               .arg(verdict);
    return true;
}

}  // namespace

QString SpoolDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/poverka/spool");
}

PointSpool::PointSpool(const RecordStore& store, qint64 recordId, const QString& why)
    : m_key(DatabaseKey(store)), m_token(store.RunToken(recordId)), m_why(why), m_id(recordId),
      m_lastSeq(store.LastPointSeq(recordId)) {
    m_path =
        QDir(SpoolDir()).filePath(QStringLiteral("%1-%2.json").arg(FilePrefix(m_key)).arg(m_id));
}

bool PointSpool::Keep(const RecordPoint& point) {
    // Each point keeps the number it takes in the record: written back, one
    // that did reach the database is known by it and never stored twice.
    m_points << point;
    // One the store numbered before its commit failed keeps that number.
    if (m_points.last().seq == 0)
        m_points.last().seq = ++m_lastSeq;
    else
        m_lastSeq = std::max(m_lastSeq, m_points.last().seq);
    return Write();
}

bool PointSpool::End(const QString& verdict, const QStringList& reasons) {
    m_ended = true;
    m_endedAt = QDateTime::currentDateTimeUtc();
    m_verdict = verdict;
    m_reasons = reasons;
    return Write();
}

bool PointSpool::Write() {
    QJsonArray points;
    for (const RecordPoint& p : m_points) points << PointJson(p);
    const QJsonObject o{{"database", m_key},
                        {"record", m_id},
                        {"run_token", m_token},
                        {"pid", static_cast<qint64>(::getpid())},
                        {"why", m_why},
                        {"ended", m_ended},
                        {"ended_utc", m_endedAt.toString(Qt::ISODateWithMs)},
                        // The last moment the program was known to run.
                        {"written_utc", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                        {"verdict", m_verdict},
                        {"reasons", QJsonArray::fromStringList(m_reasons)},
                        {"points", points}};
    const QByteArray text = QJsonDocument(o).toJson();
    // Whole or not at all (a full disk leaves the previous file, never an
    // empty one), and the user's own: it holds the run's token.
    if (!QDir().mkpath(SpoolDir())) {
        if (m_error.isEmpty()) m_error = WriteFailure(m_path, QStringLiteral("папка не создаётся"));
        return false;
    }
    WholeFile file(m_path);
    file.SetOwnerOnly();
    QString error;
    const bool ok = file.Begin(&error) && file.write(text) == text.size() && file.Commit(&error);
    if (!ok && m_error.isEmpty()) m_error = error.isEmpty() ? WriteFailure(m_path, file.errorString()) : error;
    return ok;
}

QStringList ReplaySpool(RecordStore& store) {
    QStringList notes;
    const QString key = DatabaseKey(store);
    // Files an earlier version named by the address are this database's too.
    const QString address = AddressKey(store.Database());
    const QDir dir(SpoolDir());
    const QStringList names = dir.entryList(
        {FilePrefix(key) + "-*.json", FilePrefix(address) + "-*.json"}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;  // written back meanwhile
        // One program writes a record back; a file replaced or removed
        // while we waited for the lock is no longer ours to write.
        struct stat held = {};
        struct stat now = {};
        if (::flock(file.handle(), LOCK_EX | LOCK_NB) != 0 || ::fstat(file.handle(), &held) != 0 ||
            ::stat(QFile::encodeName(path).constData(), &now) != 0 || held.st_ino != now.st_ino)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        if (o["database"].toString() != key && o["database"].toString() != address) {
            if (o.isEmpty()) notes << QStringLiteral("Буфер %1 не читается").arg(path);
            continue;
        }
        if (!o["ended"].toBool() && ProcessAlive(o["pid"].toInteger())) continue;
        QString note;
        if (WriteBack(store, o, path, note)) ::unlink(QFile::encodeName(path).constData());
        notes << note;
    }
    return notes;
}

}  // namespace yukt::records
