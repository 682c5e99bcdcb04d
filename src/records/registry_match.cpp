#include "records/registry_match.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include "records/fgis_export.h"
#include "records/sql_registry.h"

namespace yukt::records {
namespace {

// Organisation names as people type them: case, quotes and spacing differ.
QString Plain(const QString& name) {
    QString out;
    for (const QChar c : name.toLower())
        if (c.isLetterOrNumber())
            out += c;
        else if (!out.endsWith(' '))
            out += ' ';
    return out.trimmed();
}

bool SameLaboratory(const RegistryItem& item, const Record& r) {
    const QString cipher = CipherOfDocnum(item.docnum);
    if (!cipher.isEmpty()) return cipher == r.lab.signCipher;
    return !item.orgTitle.isEmpty() && Plain(item.orgTitle) == Plain(r.lab.organisation);
}

QString ItemText(const QString& source, int index, const RegistryItem& item) {
    return QStringLiteral("%1: result.items[%2] (vri_id %3, тип %4, зав. № %5, %6)")
        .arg(source)
        .arg(index)
        .arg(item.vriId, item.mitNumber, item.miNumber,
             item.verificationDate.toString("dd.MM.yyyy"));
}

QString Numbers(const QList<Record>& records) {
    QStringList out;
    for (const Record& r : records) out << QString::number(r.id);
    return out.join(", ");
}

}  // namespace

QString CipherOfDocnum(const QString& docnum) {
    static const QRegularExpression re(QStringLiteral("^[^/-]{1,3}-([А-Я]{1,3})/"));
    return re.match(docnum).captured(1);
}

bool ImportRegistryAnswer(RecordStore& store, const RegistryAnswer& answer, const QString& source,
                          const QString& author, RegistryImportReport& report) {
    auto failed = [&](const QSqlQuery& q) {
        report.error = QStringLiteral("Не удалось прочитать записи: ") + q.lastError().text();
        return false;
    };
    for (int i = 0; i < answer.items.size(); ++i) {
        const RegistryItem& item = answer.items[i];
        const QString text = ItemText(source, i, item);
        ++report.items;
        QSqlQuery known(store.Database());
        known.prepare(sql::kRecordOfVri);
        known.addBindValue(item.vriId);
        if (!known.exec()) return failed(known);
        if (known.next()) {
            ++report.known;
            continue;
        }
        QSqlQuery q(store.Database());
        q.prepare(sql::kRegistryCandidates);
        q.addBindValue(item.mitNumber);
        q.addBindValue(item.miNumber);
        if (!q.exec()) return failed(q);
        QList<qint64> ids;
        while (q.next()) ids << q.value(0).toLongLong();
        QList<Record> sameDay, ours, free;
        for (qint64 id : ids) {
            std::optional<Record> r = store.Load(id);
            if (!r) {
                report.error = store.LastError();
                return false;
            }
            if (VerificationDay(*r) != item.verificationDate) continue;
            sameDay << *r;
            if (!SameLaboratory(item, *r)) continue;
            ours << *r;
            // A record has one entry in the registry.
            if (r->registry.vriId.isEmpty()) free << *r;
        }
        // Of several, the verdict may tell them apart; it never makes a match alone.
        if (free.size() > 1) {
            QList<Record> agreeing;
            for (const Record& r : free)
                if ((r.verdict == kSuitable) == item.applicable) agreeing << r;
            if (agreeing.size() == 1) free = agreeing;
        }
        if (free.size() == 1) {
            const Record& r = free.front();
            if (!store.MarkInRegistry(
                    r.id, {item.vriId, item.docnum, QDateTime::currentDateTimeUtc()}, author)) {
                report.error = store.LastError();
                return false;
            }
            ++report.matched;
            report.matchedLines << QStringLiteral("Запись № %1 (зав. № %2): в реестре, %3, %4")
                                       .arg(r.id)
                                       .arg(r.info.serial, item.vriId, item.docnum);
        } else if (free.size() > 1) {
            report.ambiguous << text + QStringLiteral(": подходят записи № ") + Numbers(free);
        } else if (!ours.isEmpty()) {
            QStringList taken;
            for (const Record& r : ours)
                taken << QStringLiteral("№ %1 — %2").arg(r.id).arg(r.registry.vriId);
            report.ambiguous << text + QStringLiteral(": запись уже сопоставлена с другой: ") +
                                    taken.join(", ");
        } else if (!sameDay.isEmpty()) {
            const QString cipher = CipherOfDocnum(item.docnum);
            report.unmatched << text + QStringLiteral(": поверка другой лаборатории (%1)")
                                           .arg(cipher.isEmpty() ? item.orgTitle
                                                                 : "шифр клейма " + cipher);
        } else {
            report.unmatched << text + QStringLiteral(": нет такой записи");
        }
    }
    return true;
}

}  // namespace yukt::records
