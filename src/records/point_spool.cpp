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

// Numbers as text in C notation, exact to the last bit; what is not a
// number stays null.
QJsonValue Number(double v) {
    return std::isfinite(v) ? QJsonValue(QString::fromStdString(Fmt("%.17g", v))) : QJsonValue();
}
double NumberOf(const QJsonValue& v) {
    double out = std::numeric_limits<double>::quiet_NaN();
    if (v.isString()) StrToFloatStrict(v.toString().toStdString(), out);
    return out;
}

const QString kTime = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

QJsonObject PointJson(const RecordPoint& p) {
    QJsonArray readings;
    for (double x : p.readings) readings << Number(x);
    return {{"seq", p.seq},
            {"procedure", p.procedure},
            {"channel", p.channel},
            {"unit", p.unit},
            {"nominal", Number(p.nominal)},
            {"reference", Number(p.reference)},
            {"readings", readings},
            {"measured", Number(p.measured)},
            {"error_kind", p.errorKind},
            {"error", Number(p.error)},
            {"limit", Number(p.limit)},
            {"result", p.result},
            {"reason", p.reason},
            {"manual", p.manual},
            {"measured_utc", p.measuredAt.toUTC().toString(kTime)},
            {"operation", p.operation},
            {"channel_no", p.channelNo},
            {"item", p.item},
            {"attempt", p.attempt},
            {"resolution", Number(p.resolution)},
            {"limit2", Number(p.limit2)},
            {"span_low", Number(p.spanLow)},
            {"span_high", Number(p.spanHigh)},
            {"ref_ratio", Number(p.refRatio)},
            {"has_u", p.hasU},
            {"ref_error", Number(p.referenceError)},
            {"u", Number(p.u)},
            {"marginal", p.marginal},
            {"remark", p.remark}};
}

RecordPoint PointOf(const QJsonObject& o) {
    RecordPoint p;
    p.seq = o["seq"].toInt();
    p.procedure = o["procedure"].toString();
    p.channel = o["channel"].toString();
    p.unit = o["unit"].toString();
    p.nominal = NumberOf(o["nominal"]);
    p.reference = NumberOf(o["reference"]);
    for (const QJsonValue& x : o["readings"].toArray()) p.readings << NumberOf(x);
    p.measured = NumberOf(o["measured"]);
    p.errorKind = o["error_kind"].toString();
    p.error = NumberOf(o["error"]);
    p.limit = NumberOf(o["limit"]);
    p.result = o["result"].toString();
    p.reason = o["reason"].toString();
    p.manual = o["manual"].toBool();
    p.measuredAt = QDateTime::fromString(o["measured_utc"].toString(), Qt::ISODateWithMs);
    p.operation = o["operation"].toString();
    p.channelNo = o["channel_no"].toInt();
    p.item = o["item"].toInt();
    p.attempt = o["attempt"].toInt();
    p.resolution = NumberOf(o["resolution"]);
    p.limit2 = NumberOf(o["limit2"]);
    p.spanLow = NumberOf(o["span_low"]);
    p.spanHigh = NumberOf(o["span_high"]);
    p.refRatio = NumberOf(o["ref_ratio"]);
    p.hasU = o["has_u"].toBool();
    p.referenceError = NumberOf(o["ref_error"]);
    p.u = NumberOf(o["u"]);
    p.marginal = o["marginal"].toBool();
    p.remark = o["remark"].toString();
    return p;
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
        for (const QJsonValue& v : o["points"].toArray())
            all = all && PointOf(v.toObject()).seq != 0 && PointOf(v.toObject()).seq <= stored;
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
        RecordPoint p = PointOf(v.toObject());
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
