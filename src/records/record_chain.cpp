#include "records/record_chain.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSet>
#include <QSqlQuery>
#include <algorithm>
#include <optional>
#include <vector>

#include "common/text.h"
#include "records/sql_references.h"

namespace yukt::records {
namespace {

QByteArray Canonical(sql::ColumnType type, const QVariant& v) {
    if (v.isNull()) return {};
    switch (type) {
        case sql::ColumnType::Int:
            return QByteArray::number(v.toLongLong());
        case sql::ColumnType::Real:
            // Every bit of the double: a change below the printed digits shows too.
            return QByteArray::fromStdString(yukt::Fmt("%.17g", v.toDouble()));
        case sql::ColumnType::Text:
            break;
    }
    return v.toString().toUtf8();
}

const QStringList kAllEntries = {kRevisionEntry, kClosureEntry,   kPointEntry,
                                 kPlanEntry,     kReferenceEntry, kMeansEntry};

// Window of sequence numbers read at once: bounded memory on any database.
constexpr qint64 kWindow = 2000;

struct Entry {
    qint64 seq = 0;
    QString prev, hash, computed, name;
};

QString Name(const QString& kind, const QVariant& id, const QVariant& sub) {
    if (kind == kReferenceEntry)
        return QStringLiteral("эталон %1, редакция %2").arg(id.toString()).arg(sub.toLongLong());
    if (kind == kMeansEntry)
        return QStringLiteral("запись № %1, эталон %2").arg(id.toLongLong()).arg(sub.toString());
    const QString record = QStringLiteral("запись № %1").arg(id.toLongLong());
    if (kind == kClosureEntry) return record + QStringLiteral(", закрытие");
    if (kind == kPointEntry) return record + QStringLiteral(", точка %1").arg(sub.toLongLong());
    if (kind == kPlanEntry)
        return record + QStringLiteral(", пункт плана %1").arg(sub.toLongLong());
    return record + QStringLiteral(", редакция %1").arg(sub.toLongLong());
}

QVariantList ValuesOf(const QSqlQuery& q, const QList<sql::Column>& columns) {
    QVariantList out;
    for (const sql::Column& c : columns) out << q.value(QString::fromLatin1(c.name));
    return out;
}

bool ReadWindow(QSqlDatabase db, qint64 low, qint64 high, std::vector<Entry>& out, QString* error) {
    for (const QString& kind : kAllEntries) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(sql::SelectChainWindow(kind))) {
            *error = q.lastError().text();
            return false;
        }
        q.addBindValue(low);
        q.addBindValue(high);
        if (!q.exec()) {
            *error = q.lastError().text();
            return false;
        }
        while (q.next()) {
            Entry e{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), {}, {}};
            QString hashed = kind;
            QList<sql::Column> columns;
            if (kind == kRevisionEntry) {
                const bool opening = q.value("revision").toInt() == 0;
                hashed = opening ? kOpeningEntry : kRevisionEntry;
                columns = opening ? sql::OpeningColumns() : sql::RevisionColumns();
                // Any of the registry's columns set makes it a registry entry,
                // so setting or clearing one afterwards shows as a change.
                for (const sql::Column& c : sql::RegistryColumns())
                    if (!q.value(QString::fromLatin1(c.name)).toString().isEmpty()) {
                        hashed = kRegistryEntry;
                        columns = sql::RegistryRevisionColumns();
                    }
                e.name = Name(kind, q.value("id"), q.value("revision"));
            } else if (kind == kClosureEntry) {
                columns = sql::ClosureColumns();
                e.name = Name(kind, q.value("id"), {});
            } else if (kind == kReferenceEntry) {
                columns = sql::ReferenceColumns();
                e.name = Name(kind, q.value("number"), q.value("revision"));
            } else if (kind == kMeansEntry) {
                columns = sql::MeansColumns();
                e.name = Name(kind, q.value("record_id"), q.value("number"));
            } else {
                columns = kind == kPointEntry ? sql::PointColumns() : sql::PlanColumns();
                if (kind == kPointEntry && !q.value("u").isNull())
                    columns += sql::PointMarginColumns();
                e.name =
                    Name(kind, q.value("record_id"), q.value(kind == kPointEntry ? "seq" : "item"));
            }
            e.computed = ChainHash(e.prev, hashed, columns, ValuesOf(q, columns));
            out.push_back(std::move(e));
        }
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.seq < b.seq; });
    return true;
}

// The positions of the entries whose hashes are `wanted`, in one pass over
// every hash: looking each up alone would scan the tables once per broken link.
bool FindHashes(QSqlDatabase db, const QSet<QString>& wanted, QHash<QString, qint64>& found,
                QString* error) {
    if (wanted.isEmpty()) return true;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec("SELECT chain_seq, chain_hash FROM records"
                " UNION ALL SELECT close_seq, close_hash FROM records WHERE close_seq IS NOT NULL"
                " UNION ALL SELECT chain_seq, chain_hash FROM points"
                " UNION ALL SELECT chain_seq, chain_hash FROM plan_items"
                " UNION ALL SELECT chain_seq, chain_hash FROM lab_references"
                " UNION ALL SELECT chain_seq, chain_hash FROM record_means")) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        const QString hash = q.value(1).toString();
        if (wanted.contains(hash) && !found.contains(hash)) found.insert(hash, q.value(0).toLongLong());
    }
    return true;
}

QString Missing(qint64 from, qint64 to) {
    return from == to ? QStringLiteral("звено %1: нет в базе (удалено)").arg(from)
                      : QStringLiteral("звенья %1–%2: нет в базе (удалены)").arg(from).arg(to);
}

}  // namespace

QString ChainHash(const QString& prev, const QString& kind, const QList<sql::Column>& columns,
                  const QVariantList& values) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(prev.toLatin1());
    h.addData(QByteArray("\n") + kind.toLatin1());
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].addedLater && values.value(i).isNull()) continue;
        // Length-prefixed, so no two different rows give the same bytes.
        const QByteArray v = Canonical(columns[i].type, values.value(i));
        h.addData(QByteArray("\n") + QByteArray::number(v.size()) + ':' + v);
    }
    return QString::fromLatin1(h.result().toHex());
}

QVariantList Pick(const QList<sql::Column>& want, const QStringList& names,
                  const QVariantList& values) {
    QVariantList out;
    for (const sql::Column& c : want) out << values.value(names.indexOf(QLatin1String(c.name)));
    return out;
}

bool VerifyChain(QSqlDatabase db, ChainReport& report, QString* error) {
    report = {{}, {}, std::move(report.progress)};
    QSqlQuery head(db);
    if (!head.exec(sql::kChainHead)) {
        *error = head.lastError().text();
        return false;
    }
    // Entries written after this moment are left to the next check.
    const qint64 last = head.next() ? head.value(0).toLongLong() : 0;
    for (const QString& kind : kAllEntries) {
        QSqlQuery q(db);
        if (!q.exec(sql::SelectUnchained(kind))) {
            *error = q.lastError().text();
            return false;
        }
        while (q.next())
            report.problems << Name(kind, q.value(0), q.value(1)) +
                                   QStringLiteral(": нет в цепочке (записана в обход программы)");
    }
    // An entry whose link to its predecessor is broken was moved when the
    // entry after it does not link to it either; when the hash it links to
    // is nowhere, its predecessor was changed and hashed again.
    struct Pending {
        Entry e;
        bool backBroken = false;
        QString before;  // the name of the entry before it
    };
    std::optional<Pending> pending;
    // Broken links are judged after the walk, their hashes looked up at once.
    struct Broken {
        Pending p;
        bool forwardBroken;
    };
    std::vector<Broken> broken;
    auto settle = [&](const Pending& p, bool forwardBroken) {
        if (p.backBroken) broken.push_back({p, forwardBroken});
    };
    qint64 expected = 1;
    QString lastHash = kChainStart, lastName;
    for (qint64 low = 1; low <= last; low += kWindow) {
        std::vector<Entry> window;
        if (!ReadWindow(db, low, std::min(low + kWindow, last + 1), window, error)) return false;
        if (report.progress) report.progress(std::min(low + kWindow - 1, last), last);
        for (Entry& e : window) {
            ++report.entries;
            const bool gap = e.seq != expected;
            if (gap) report.problems << Missing(expected, e.seq - 1);
            const bool changed = e.computed != e.hash;
            if (changed)
                report.problems << QStringLiteral("звено %1, %2: изменено").arg(e.seq).arg(e.name);
            if (pending) settle(*pending, !gap && e.prev != pending->e.hash);
            expected = e.seq + 1;
            const bool backBroken = !gap && !changed && e.prev != lastHash;
            lastHash = e.hash;
            pending = Pending{std::move(e), backBroken, lastName};
            lastName = pending->e.name;
        }
    }
    if (pending) settle(*pending, true);
    if (expected <= last) report.problems << Missing(expected, last);
    QSet<QString> wanted;
    for (const Broken& b : broken) wanted.insert(b.p.e.prev);
    QHash<QString, qint64> found;
    if (!FindHashes(db, wanted, found, error)) return false;
    for (const Broken& b : broken) {
        const qint64 at = found.value(b.p.e.prev, 0);
        if (at == 0)
            report.problems << QStringLiteral("звено %1, %2: изменено (хеш пересчитан)")
                                   .arg(b.p.e.seq - 1)
                                   .arg(b.p.before);
        else if (b.forwardBroken)
            report.problems << QStringLiteral("звено %1, %2: переставлено (было за звеном %3)")
                                   .arg(b.p.e.seq)
                                   .arg(b.p.e.name)
                                   .arg(at);
    }
    return true;
}

}  // namespace yukt::records
