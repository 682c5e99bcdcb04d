#include "records/registry_answer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace yukt::records {
namespace {

// The registry writes dates as dd.mm.yyyy.
std::optional<QDate> DateOf(const QString& text) {
    const QDate d = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
    if (d.isValid()) return d;
    return std::nullopt;
}

// Ids and numbers come as strings or as numbers, whichever the server chose.
std::optional<QString> TextOf(const QJsonValue& v) {
    if (v.isString()) return v.toString().trimmed();
    if (v.isDouble()) return QString::number(v.toInteger());
    if (v.isNull() || v.isUndefined()) return QString();
    return std::nullopt;
}

std::optional<qint64> CountOf(const QJsonValue& v) {
    if (v.isUndefined() || v.isNull()) return 0;
    if (v.isDouble()) return v.toInteger();
    bool ok = false;
    const qint64 n = v.toString().toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

}  // namespace

std::optional<RegistryAnswer> ReadRegistryAnswer(const QByteArray& json, const QString& source,
                                                 QString* error) {
    auto fail = [&](const QString& what) {
        *error = source + ": " + what;
        return std::nullopt;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(
            QStringLiteral("не JSON (%1, позиция %2)").arg(parse.errorString()).arg(parse.offset));
    const QJsonValue result = doc.object().value("result");
    if (!doc.isObject() || !result.isObject())
        return fail(QStringLiteral("result: нет объекта (это не ответ поиска поверок)"));
    const QJsonObject r = result.toObject();
    const QJsonValue items = r.value("items");
    if (!items.isArray()) return fail(QStringLiteral("result.items: нет списка"));
    RegistryAnswer answer;
    for (const char* name : {"count", "start", "rows"}) {
        const std::optional<qint64> n = CountOf(r.value(name));
        if (!n || *n < 0) return fail(QStringLiteral("result.%1: не число").arg(name));
        (name[0] == 'c' ? answer.count : name[0] == 's' ? answer.start : answer.rows) = *n;
    }
    const QJsonArray list = items.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString at = QStringLiteral("result.items[%1]").arg(i);
        if (!list[i].isObject()) return fail(at + QStringLiteral(": не объект"));
        const QJsonObject o = list[i].toObject();
        RegistryItem item;
        struct Field {
            const char* name;
            QString* to;
            bool required;
        };
        const Field fields[] = {
            {"vri_id", &item.vriId, true},
            {"org_title", &item.orgTitle, false},
            {"mit_number", &item.mitNumber, true},
            {"mit_title", &item.mitTitle, false},
            {"mit_notation", &item.mitNotation, false},
            {"mi_modification", &item.modification, false},
            {"mi_number", &item.miNumber, true},
            {"result_docnum", &item.docnum, false},
        };
        for (const Field& f : fields) {
            const std::optional<QString> text = TextOf(o.value(f.name));
            if (!text) return fail(at + "." + f.name + QStringLiteral(": не строка"));
            if (f.required && text->isEmpty())
                return fail(at + "." + f.name + QStringLiteral(": не заполнено"));
            *f.to = *text;
        }
        const QString vrf = o.value("verification_date").toString();
        const std::optional<QDate> day = DateOf(vrf);
        if (!day)
            return fail(at + QStringLiteral(".verification_date: не дата «%1»")
                                 .arg(o.value("verification_date").toVariant().toString()));
        item.verificationDate = *day;
        const QString valid = o.value("valid_date").toString();
        if (!valid.isEmpty()) {
            const std::optional<QDate> until = DateOf(valid);
            if (!until) return fail(at + QStringLiteral(".valid_date: не дата «%1»").arg(valid));
            item.validDate = *until;
        }
        const QJsonValue applicable = o.value("applicability");
        item.applicable = applicable.isBool() ? applicable.toBool()
                                              : applicable.toString() == QLatin1String("true");
        answer.items << item;
    }
    return answer;
}

}  // namespace yukt::records
