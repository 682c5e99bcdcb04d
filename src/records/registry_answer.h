// The registry's answer to a search of verifications (its public search's
// JSON): {"result": {"count", "start", "rows", "items": [...]}}. Fields this
// reader does not know are passed over, so a later version of the answer
// still reads; a new shape is a new reader beside this one.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace yukt::records {

struct RegistryItem {
    QString vriId;
    QString orgTitle;
    QString mitNumber;  // type number
    QString mitTitle;
    QString mitNotation;
    QString modification;
    QString miNumber;  // serial
    QDate verificationDate;
    QDate validDate;  // invalid when the answer has none
    QString docnum;
    bool applicable = false;
};

struct RegistryAnswer {
    qint64 count = 0;  // found by the search in all
    qint64 start = 0;  // the first item's position
    qint64 rows = 0;   // asked per page
    QList<RegistryItem> items;
    // The answer holds fewer items than the search found past `start`.
    bool Partial() const { return start + items.size() < count; }
};

// Reads one answer; `source` names it in errors ("ответ.json: items[2].
// verification_date: не дата «31.02.2026»"). Nothing when any item is bad:
// an answer is taken whole or not at all.
std::optional<RegistryAnswer> ReadRegistryAnswer(const QByteArray& json, const QString& source,
                                                 QString* error);

}  // namespace yukt::records
