#include "records/record_audit.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "records/record_chain.h"
#include "records/sql_text.h"

namespace yukt::records {
namespace {

// Every chained entry: its record and position.
const char* const kEntries =
    "SELECT id AS r, chain_seq AS s FROM records WHERE chain_seq IS NOT NULL"
    " UNION ALL SELECT id, close_seq FROM records WHERE close_seq IS NOT NULL"
    " UNION ALL SELECT record_id, chain_seq FROM points WHERE chain_seq IS NOT NULL"
    " UNION ALL SELECT record_id, chain_seq FROM plan_items WHERE chain_seq IS NOT NULL";

bool Select(QSqlDatabase db, const QString& text, const QVariantList& binds, QSqlQuery& q,
            QString* error) {
    q = QSqlQuery(db);
    q.setForwardOnly(true);
    if (!q.prepare(text)) {
        *error = q.lastError().text();
        return false;
    }
    for (const QVariant& v : binds) q.addBindValue(v);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

std::optional<qint64> Head(QSqlDatabase db, QString* error) {
    QSqlQuery q;
    if (!Select(db, sql::kChainHead, {}, q, error)) return std::nullopt;
    return q.next() ? q.value(0).toLongLong() : 0;
}

QString Record(qint64 id) { return QStringLiteral("запись № %1").arg(id); }

}  // namespace

bool CheckMeaning(QSqlDatabase db, QStringList* problems, QString* error) {
    QSqlQuery q;
    // A verdict the stored plan and attempts do not give.
    if (!Select(db,
                "SELECT id, verdict, computed FROM (SELECT r.id, r.verdict, " +
                    sql::StoredVerdict("r.id") +
                    " AS computed FROM records r WHERE r.revision = 0 AND r.state = 'closed') x"
                    " WHERE (verdict = 'годен' AND computed <> 'годен')"
                    " OR (verdict = 'не годен' AND computed = 'годен') ORDER BY id",
                {}, q, error))
        return false;
    while (q.next())
        *problems << Record(q.value(0).toLongLong()) +
                         QStringLiteral(": итог «%1» не следует из плана и попыток («%2»)")
                             .arg(q.value(1).toString(), q.value(2).toString());
    // A revision that says something else than the closing did.
    if (!Select(db,
                "SELECT n.id, n.revision FROM records n JOIN records o ON o.id = n.id"
                " AND o.revision = 0 WHERE n.revision > 0 AND (coalesce(n.verdict, '') <>"
                " coalesce(o.verdict, '') OR coalesce(n.certificate, '') <>"
                " coalesce(o.certificate, '') OR coalesce(n.state, '') <> coalesce(o.state, ''))"
                " ORDER BY n.id, n.revision",
                {}, q, error))
        return false;
    while (q.next())
        *problems << Record(q.value(0).toLongLong()) +
                         QStringLiteral(", редакция %1: итог или свидетельство не те, что при "
                                        "закрытии")
                             .arg(q.value(1).toLongLong());
    // Points and plan items chained after their record's closing.
    for (const auto& [table, what] : {std::pair{"points", "точка"}, {"plan_items", "пункт плана"}}) {
        const QString key = QString(table) == "points" ? "seq" : "item";
        if (!Select(db,
                    QStringLiteral("SELECT x.record_id, x.%1, x.chain_seq FROM %2 x JOIN records r"
                                   " ON r.id = x.record_id AND r.revision = 0 WHERE r.close_seq IS"
                                   " NOT NULL AND x.chain_seq > r.close_seq ORDER BY x.chain_seq")
                        .arg(key, QLatin1String(table)),
                    {}, q, error))
            return false;
        while (q.next())
            *problems << QStringLiteral("звено %1, %2, %3 %4: добавлено после закрытия записи")
                             .arg(q.value(2).toLongLong())
                             .arg(Record(q.value(0).toLongLong()), QString::fromUtf8(what))
                             .arg(q.value(1).toLongLong());
    }
    // A position taken twice across the tables.
    if (!Select(db,
                QStringLiteral("SELECT s, count(*) FROM (%1) e GROUP BY s HAVING count(*) > 1"
                               " ORDER BY s")
                    .arg(kEntries),
                {}, q, error))
        return false;
    while (q.next())
        *problems << QStringLiteral("звено %1: занято %2 раз")
                         .arg(q.value(0).toLongLong())
                         .arg(q.value(1).toLongLong());
    // Positions past the counter; the counter is read again after them, so
    // that what a run wrote meanwhile is not taken for one.
    QList<std::pair<qint64, qint64>> beyond;
    const std::optional<qint64> before = Head(db, error);
    if (!before) return false;
    if (!Select(db, QStringLiteral("SELECT r, s FROM (%1) e WHERE s > ? ORDER BY s").arg(kEntries),
                {*before}, q, error))
        return false;
    while (q.next()) beyond << std::pair{q.value(0).toLongLong(), q.value(1).toLongLong()};
    const std::optional<qint64> after = Head(db, error);
    if (!after) return false;
    for (const auto& [record, seq] : beyond)
        if (seq > *after)
            *problems << QStringLiteral("звено %1, %2: за концом цепочки (счётчик %3)")
                             .arg(seq)
                             .arg(Record(record))
                             .arg(*after);
    // A record number used again: its opening comes after a later number's.
    if (!Select(db,
                "SELECT id, next_id FROM (SELECT id, chain_seq, lead(id) OVER (ORDER BY id) AS"
                " next_id, lead(chain_seq) OVER (ORDER BY id) AS next_seq FROM records WHERE"
                " revision = 0 AND chain_seq IS NOT NULL) x WHERE chain_seq > next_seq ORDER BY id",
                {}, q, error))
        return false;
    while (q.next())
        *problems << Record(q.value(0).toLongLong()) +
                         QStringLiteral(": номер использован повторно (открыта после записи № %1)")
                             .arg(q.value(1).toLongLong());
    if (!Select(db,
                "SELECT id FROM record_ids WHERE id > (SELECT value FROM counters"
                " WHERE name = 'record') ORDER BY id",
                {}, q, error))
        return false;
    while (q.next())
        *problems << Record(q.value(0).toLongLong()) + QStringLiteral(": номер за счётчиком записей");
    return true;
}

std::optional<ChainPlace> FindChainHash(QSqlDatabase db, const QString& hash, QString* error) {
    QSqlQuery q;
    if (!Select(db,
                "SELECT id, chain_seq FROM records WHERE chain_hash = ?"
                " UNION ALL SELECT id, close_seq FROM records WHERE close_hash = ?"
                " UNION ALL SELECT record_id, chain_seq FROM points WHERE chain_hash = ?"
                " UNION ALL SELECT record_id, chain_seq FROM plan_items WHERE chain_hash = ?"
                " UNION ALL SELECT record_id, chain_seq FROM record_means WHERE chain_hash = ?",
                QVariantList(5, hash), q, error))
        return std::nullopt;
    error->clear();
    if (!q.next()) return std::nullopt;
    return ChainPlace{q.value(0).toLongLong(), q.value(1).toLongLong()};
}

std::optional<Anchor> ChainHead(QSqlDatabase db, QString* error) {
    const std::optional<qint64> seq = Head(db, error);
    if (!seq) return std::nullopt;
    QString hash = kChainStart;
    if (*seq > 0) {
        QSqlQuery q;
        if (!Select(db, sql::kHashAt, QVariantList(sql::kChainTables, *seq), q, error)) return std::nullopt;
        if (!q.next()) {
            *error = QStringLiteral("звена %1 (конца цепочки) нет в базе").arg(*seq);
            return std::nullopt;
        }
        hash = q.value(0).toString();
    }
    return Anchor{*seq, hash, QDateTime::currentDateTimeUtc()};
}

QString AnchorLine(const Anchor& a) {
    return QStringLiteral("%1 %2 %3").arg(a.seq).arg(a.hash, a.at.toString(Qt::ISODate));
}

std::optional<Anchor> ParseAnchorLine(const QString& line) {
    const QStringList words = line.split(' ', Qt::SkipEmptyParts);
    if (words.size() < 2) return std::nullopt;
    bool ok = false;
    const qint64 seq = words[0].toLongLong(&ok);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!ok || seq < 0 || !hex.match(words[1]).hasMatch()) return std::nullopt;
    return Anchor{seq, words[1], QDateTime::fromString(words.value(2), Qt::ISODate)};
}

bool AppendAnchor(const QString& path, const Anchor& a, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = path + QStringLiteral(": папка не создаётся");
        return false;
    }
    const QByteArray line = (AnchorLine(a) + '\n').toUtf8();
    // One write of a whole line in append mode: lines of two programs never interleave.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                          0644);
    const bool ok = fd >= 0 && ::write(fd, line.constData(), line.size()) == line.size() &&
                    ::fsync(fd) == 0;
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    if (!ok) *error = path + ": " + QString::fromLocal8Bit(std::strerror(saved));
    return ok;
}

bool CheckAnchors(QSqlDatabase db, const QString& path, QStringList* problems, int* checked,
                  QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + ": " + file.errorString();
        return false;
    }
    const std::optional<qint64> head = Head(db, error);
    if (!head) return false;
    int number = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++number;
        if (line.isEmpty() || line.startsWith('#')) continue;
        const std::optional<Anchor> a = ParseAnchorLine(line);
        const QString where = QStringLiteral("%1:%2: ").arg(path).arg(number);
        if (!a) {
            *problems << where + QStringLiteral("строка не читается");
            continue;
        }
        ++*checked;
        if (a->seq > *head) {
            *problems << where + QStringLiteral("звена %1 в базе нет (цепочка короче: %2)")
                                     .arg(a->seq)
                                     .arg(*head);
            continue;
        }
        QSqlQuery q;
        if (!Select(db, sql::kHashAt, QVariantList(sql::kChainTables, a->seq), q, error)) return false;
        if (!q.next())
            *problems << where + QStringLiteral("звено %1 удалено").arg(a->seq);
        else if (q.value(0).toString() != a->hash)
            *problems << where + QStringLiteral("звено %1 изменено после %2")
                                     .arg(a->seq)
                                     .arg(a->at.toString(Qt::ISODate));
    }
    return true;
}

QString LocalAnchorFile(const QString& databaseId) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/poverka/anchors/%1.anchors").arg(databaseId);
}

}  // namespace yukt::records
