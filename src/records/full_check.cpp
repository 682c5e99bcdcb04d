#include "records/full_check.h"

#include <QAtomicInt>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include "records/record_store.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

const QString kStampFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ssZ");

QString ConnectionName() {
    static QAtomicInt serial;
    return QStringLiteral("full-check-%1").arg(serial.fetchAndAddRelaxed(1));
}

// A SQLite file of its own, or nothing for a server's database.
QString SqliteFile(const QString& url) {
    const std::optional<DbUrl> parsed = ParseDbUrl(url, nullptr);
    return parsed && parsed->driver == "QSQLITE" ? parsed->database : QString();
}

}  // namespace

bool FullCheckDue(const QDateTime& lastUtc, const QDateTime& nowUtc, int days) {
    if (days <= 0) return false;
    if (!lastUtc.isValid()) return true;
    if (lastUtc > nowUtc.addDays(1)) return true;
    return lastUtc.addDays(days) <= nowUtc;
}

FullCheckSchedule ReadFullCheckSchedule(RecordStore& store, const QDateTime& nowUtc) {
    FullCheckSchedule s;
    bool ok = false;
    const int days = store.Setting(kFullCheckDaysKey).trimmed().toInt(&ok);
    if (ok) s.days = days;
    s.last = QDateTime::fromString(store.Setting(kFullCheckAtKey), Qt::ISODate).toUTC();
    s.due = !SqliteFile(store.Url()).isEmpty() && FullCheckDue(s.last, nowUtc, s.days);
    return s;
}

bool RunFullCheck(const QString& url, QStringList* problems, QString* error) {
    problems->clear();
    const QString file = SqliteFile(url);
    if (file.isEmpty()) return true;
    const QString name = ConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(file);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000;QSQLITE_OPEN_READONLY");
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("PRAGMA integrity_check"));
            while (ok && q.next())
                if (q.value(0).toString() != QLatin1String("ok")) *problems << q.value(0).toString();
            // A page so broken that the check itself stops is damage, not a failure to read.
            const QString why = q.lastError().text();
            if (why.contains(QLatin1String("malformed"))) {
                *problems << why;
                ok = true;
            } else if (!ok) {
                *error = why;
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool StampFullCheck(const QString& url, const QDateTime& atUtc) {
    const QString file = SqliteFile(url);
    if (file.isEmpty()) return false;
    const QString name = ConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(file);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(sql::kWriteSetting);
            q.addBindValue(kFullCheckAtKey);
            q.addBindValue(atUtc.toUTC().toString(kStampFormat));
            ok = q.exec();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

void StartFullCheckIfDue(RecordStore& store, QObject* context,
                         std::function<void(const QStringList& problems)> damaged) {
    // One at a time in a process: a second open while it runs waits for its stamp.
    static QAtomicInt running;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!ReadFullCheckSchedule(store, now).due || !running.testAndSetOrdered(0, 1)) return;
    const QString url = store.Url();
    QThread* thread = QThread::create([url, context = QPointer<QObject>(context), damaged, now] {
        struct Release {
            ~Release() { running.storeRelease(0); }
        } release;
        QStringList problems;
        QString error;
        // A file that could not be read is left to the next open, and a
        // damaged one is checked (and said) again at each open until mended.
        if (!RunFullCheck(url, &problems, &error)) return;
        if (problems.isEmpty()) {
            StampFullCheck(url, now);
            return;
        }
        if (context && damaged)
            QMetaObject::invokeMethod(
                context, [damaged, problems] { damaged(problems); }, Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->setObjectName(QStringLiteral("full-check"));
    thread->start(QThread::LowestPriority);
}

}  // namespace yukt::records
