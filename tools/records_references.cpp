#include "records_references.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

#include "records/lab_references.h"
#include "records/record_store.h"

namespace yukt::records {
namespace {

void Say(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }
int Complain(const QString& text, int status) {
    std::fprintf(stderr, "yukt-records: %s\n", text.toLocal8Bit().constData());
    return status;
}
// Refusals of a value name their field ("--valid-until: …"); anything else
// is the database's.
int Refused(const QString& error) { return Complain(error, error.startsWith("--") ? 2 : 1); }

QString Clean(QString s) { return s.replace('\t', ' ').replace('\n', ' '); }

// A date option: absent is fine, anything but a date is refused by name.
bool DateOption(const QCommandLineParser& args, const char* name, QDate* out, QString* error) {
    const QString text = args.value(name);
    if (text.isEmpty()) return true;
    *out = QDate::fromString(text, Qt::ISODate);
    if (out->isValid()) return true;
    *error = QStringLiteral("--%1: не дата «%2» (ГГГГ-ММ-ДД)").arg(QLatin1String(name), text);
    return false;
}

QStringList QuantitiesOf(const QCommandLineParser& args) {
    QStringList out;
    for (const QString& q : args.value("quantities").split(',', Qt::SkipEmptyParts))
        if (!q.trimmed().isEmpty()) out << q.trimmed();
    return out;
}

QString StateText(const LabReference& r) {
    if (r.retired) return QStringLiteral("выведен: ") + r.note;
    return r.validUntil.isValid() ? QStringLiteral("в работе") : kValidityUnknown;
}

QJsonObject JsonOf(const LabReference& r) {
    return {{"number", r.number},
            {"revision", r.revision},
            {"kind", r.kind},
            {"type_number", r.typeNumber},
            {"name", r.name},
            {"serial", r.serial},
            {"certificate", r.certificate},
            {"valid_from", r.validFrom.isValid() ? r.validFrom.toString(Qt::ISODate) : QString()},
            {"valid_until",
             r.validUntil.isValid() ? QJsonValue(r.validUntil.toString(Qt::ISODate)) : QJsonValue()},
            {"quantities", QJsonArray::fromStringList(r.quantities)},
            {"state", r.retired ? "retired" : "in use"},
            {"note", r.note}};
}

void PrintReferences(const QList<LabReference>& list, bool json) {
    if (json) {
        QJsonArray a;
        for (const LabReference& r : list) a << JsonOf(r);
        std::printf("%s\n", QJsonDocument(a).toJson(QJsonDocument::Indented).constData());
        return;
    }
    Say("Номер\tВид\tТип\tНаименование\tЗав. №\tСвидетельство\tДействителен с\t"
        "Действителен до\tВеличины\tСостояние");
    for (const LabReference& r : list)
        Say(QStringList{r.number, r.kind, r.typeNumber, r.name, r.serial, r.certificate,
                        r.validFrom.isValid() ? ReferenceDate(r.validFrom) : QString(),
                        ReferenceDate(r.validUntil), r.quantities.join(","), StateText(r)}
                .replaceInStrings(QStringLiteral("\t"), QStringLiteral(" "))
                .join('\t'));
}

int Usage() {
    return Complain("использование: yukt-records references list [--json] | add --kind "
                    "mieta|uve|mis --number N [--type-number T] --name TEXT --serial S "
                    "--certificate C --valid-until ГГГГ-ММ-ДД [--valid-from ГГГГ-ММ-ДД] "
                    "--quantities current,frequency,... | renew --number N --certificate C "
                    "--valid-until D [--valid-from D] [--quantities ...] [--name TEXT] [--serial S] | retire --number N --reason TEXT | due --days N; "
                    "yukt-records suspect --reference N [--from D] [--to D] [--json]",
                    2);
}

int Register(RecordStore& store, const QString& action, const QCommandLineParser& args) {
    QString error;
    if (action == "list" || action == "due") {
        std::optional<QList<LabReference>> all = LoadReferences(store, &error);
        if (!all) return Complain(error, 1);
        if (action == "due") {
            bool ok = false;
            const int days = args.value("days").toInt(&ok);
            if (!ok || days < 0) return Complain("--days: число дней от 0", 2);
            *all = ReferencesDue(*all, QDate::currentDate(), days);
            if (all->isEmpty() && !args.isSet("json")) {
                Complain(QStringLiteral("нет эталонов, срок которых истекает в ближайшие %1 дн.")
                             .arg(days),
                         0);
                return 0;
            }
        }
        PrintReferences(*all, args.isSet("json"));
        return 0;
    }
    QDate from, until;
    if (!DateOption(args, "valid-from", &from, &error) ||
        !DateOption(args, "valid-until", &until, &error))
        return Complain(error, 2);
    if (action == "add") {
        LabReference r;
        r.kind = args.value("kind");
        r.number = args.value("number");
        r.typeNumber = args.value("type-number");
        r.name = args.value("name");
        r.serial = args.value("serial");
        r.certificate = args.value("certificate");
        r.validFrom = from;
        r.validUntil = until;
        r.quantities = QuantitiesOf(args);
        if (!AddReference(store, r, &error)) return Refused(error);
        Say(QStringLiteral("Эталон %1 внесён в реестр").arg(r.number.trimmed()));
        return 0;
    }
    if (action == "renew") {
        if (!until.isValid()) return Complain("--valid-until: нужна дата ГГГГ-ММ-ДД", 2);
        if (!RenewReference(store, args.value("number"), args.value("certificate"), until, from,
                            QuantitiesOf(args), &error, args.value("name"), args.value("serial")))
            return Refused(error);
        Say(QStringLiteral("Эталон %1 действителен до %2")
                .arg(args.value("number"), ReferenceDate(until)));
        return 0;
    }
    if (action == "retire") {
        if (!RetireReference(store, args.value("number"), args.value("reason"), &error))
            return Refused(error);
        Say(QStringLiteral("Эталон %1 выведен из обращения").arg(args.value("number")));
        return 0;
    }
    return Usage();
}
int Suspect(RecordStore& store, const QCommandLineParser& args) {
    const QString number = args.value("reference").trimmed();
    if (number.isEmpty()) return Complain("--reference: нужен номер эталона", 2);
    QDate from, to;
    QString error;
    if (!DateOption(args, "from", &from, &error) || !DateOption(args, "to", &to, &error))
        return Complain(error, 2);
    // A period backwards would list nothing and look like a clean reference.
    if (from.isValid() && to.isValid() && from > to)
        return Complain(QStringLiteral("--to: %1 раньше начала периода %2")
                            .arg(to.toString(Qt::ISODate), from.toString(Qt::ISODate)),
                        2);
    QSqlQuery q = SuspectRecords(store.Database(), number, from, to);
    if (!q.isActive()) return Complain("Не удалось прочитать записи: " + q.lastError().text(), 1);
    const bool json = args.isSet("json");
    QJsonArray out;
    qint64 count = 0;
    while (q.next()) {
        const QDateTime started =
            QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs).toLocalTime();
        const QString verdict = q.value(6).toString();
        if (json) {
            out << QJsonObject{{"record", q.value(0).toLongLong()},
                               {"date", started.date().toString(Qt::ISODate)},
                               {"model", q.value(2).toString()},
                               {"designation", q.value(3).toString()},
                               {"serial", q.value(4).toString()},
                               {"owner", q.value(5).toString()},
                               {"verdict", verdict},
                               {"certificate", q.value(7).toString()},
                               {"valid_until", q.value(8).toString()}};
            ++count;
            continue;
        }
        if (count++ == 0)
            Say("Запись\tДата\tМодель\tМодуль\tЗав. №\tВладелец\tРезультат\tСвидетельство\t"
                "Действительно до");
        const QDate valid = QDate::fromString(q.value(8).toString(), Qt::ISODate);
        Say(QStringList{q.value(0).toString(), started.date().toString("dd.MM.yyyy"),
                        Clean(q.value(2).toString()), Clean(q.value(3).toString()),
                        Clean(q.value(4).toString()), Clean(q.value(5).toString()),
                        verdict.isEmpty() ? QStringLiteral("не закрыта") : verdict,
                        Clean(q.value(7).toString()),
                        valid.isValid() ? valid.toString("dd.MM.yyyy") : QString()}
                .join('\t'));
    }
    if (q.lastError().isValid())
        return Complain("Не удалось прочитать записи: " + q.lastError().text(), 1);
    if (json)
        std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Indented).constData());
    else if (count == 0)
        Complain(QStringLiteral("нет записей, сделанных эталоном %1").arg(number), 0);
    return 0;
}

}  // namespace

void AddReferenceOptions(QCommandLineParser& args) {
    args.addOptions({{"kind", "references add: mieta, uve or mis", "KIND"},
                     {"number", "references: the reference's number", "N"},
                     // --type-number and --name are complete's options too (yukt_records.cpp).
                     {"serial", "references add: its serial number", "S"},
                     {"certificate", "references: its certificate or calibration number", "C"},
                     {"valid-from", "references: valid from, YYYY-MM-DD", "DATE"},
                     {"valid-until", "references: valid until, YYYY-MM-DD", "DATE"},
                     {"quantities", "references: current,frequency,...", "LIST"},
                     {"reference", "suspect: the reference's number", "N"},
                     {"json", "references list, suspect: JSON"}});
}

int ReferencesCommand(const QString& url, const QStringList& words,
                      const QCommandLineParser& args) {
    const bool suspect = words.value(0) == "suspect";
    if ((suspect && words.size() != 1) || (!suspect && words.size() != 2))
        return Usage();
    RecordStore store;
    if (!store.Open(url)) return Complain(store.LastError(), 1);
    for (const QString& note : store.SpoolNotes()) Complain(note, 0);
    return suspect ? Suspect(store, args) : Register(store, words.value(1), args);
}

}  // namespace yukt::records
