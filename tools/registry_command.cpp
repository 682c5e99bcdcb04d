#include "registry_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cstdio>

#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records/registry_answer.h"
#include "records/registry_fetch.h"
#include "records/registry_match.h"
#include "records/registry_state.h"

namespace yukt::records {
namespace {

const char* const kUsage =
    "использование: yukt-records registry import FILE.json… | fetch [--from ГГГГ-ММ-ДД] "
    "[--to ГГГГ-ММ-ДД] [--url BASE] [--timeout S] | pending [--days N] [--json] | "
    "refuse --record N --reason TEXT [--author NAME]";

int Complain(const QString& text, int status) {
    std::fprintf(stderr, "yukt-records: %s\n", text.toLocal8Bit().constData());
    return status;
}
void Say(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }

QString WorkDir(const QCommandLineParser& args) {
    if (args.isSet("workdir")) return args.value("workdir");
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable()) return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/poverka");
}

// The lines of an import; 3 when something was left unmatched.
int Tell(const RegistryImportReport& r) {
    for (const QString& line : r.matchedLines) Say(line);
    for (const QString& line : r.unmatched) Say(QStringLiteral("Не сопоставлено: ") + line);
    for (const QString& line : r.ambiguous) Say(QStringLiteral("Неоднозначно: ") + line);
    Say(QStringLiteral("Ответов реестра: %1; найдено в реестре: %2, уже известно: %3, "
                       "не сопоставлено: %4, неоднозначно: %5")
            .arg(r.items)
            .arg(r.matched)
            .arg(r.known)
            .arg(r.unmatched.size())
            .arg(r.ambiguous.size()));
    return r.unmatched.isEmpty() && r.ambiguous.isEmpty() ? 0 : 3;
}

int Import(RecordStore& store, const QStringList& files) {
    if (files.isEmpty()) return Complain(kUsage, 2);
    // Every file is read first: one bad file stores nothing of any.
    QList<std::pair<QString, RegistryAnswer>> answers;
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return Complain(QStringLiteral("Не удалось прочитать %1: %2; ничего не записано")
                                .arg(path, f.errorString()),
                            1);
        QString error;
        const std::optional<RegistryAnswer> a = ReadRegistryAnswer(f.readAll(), path, &error);
        if (!a) return Complain(error + QStringLiteral("; ничего не записано"), 1);
        if (a->Partial())
            Say(QStringLiteral("%1: ответ неполный, позиции %2–%3 из %4")
                    .arg(path)
                    .arg(a->start + 1)
                    .arg(a->start + a->items.size())
                    .arg(a->count));
        answers.append({path, *a});
    }
    RegistryImportReport report;
    for (const auto& [path, answer] : answers) {
        const QString author = QStringLiteral("ФГИС «Аршин» (%1)").arg(QFileInfo(path).fileName());
        if (!ImportRegistryAnswer(store, answer, path, author, report)) {
            Tell(report);
            return Complain(report.error, 1);
        }
    }
    return Tell(report);
}

bool ParseDay(const QString& text, QDate* out) {
    if (text.isEmpty()) return true;
    *out = QDate::fromString(text, Qt::ISODate);
    return out->isValid();
}

int Fetch(RecordStore& store, const QCommandLineParser& args) {
    RegistryFetchOptions o;
    if (!ParseDay(args.value("from"), &o.from) || !ParseDay(args.value("to"), &o.to))
        return Complain("даты задаются как ГГГГ-ММ-ДД", 2);
    o.baseUrl = args.isSet("url") ? args.value("url") : RegistryBaseUrl(store);
    if (args.isSet("timeout")) {
        bool ok = false;
        const double s = args.value("timeout").toDouble(&ok);
        if (!ok || s <= 0 || s > 600) return Complain("--timeout: секунды, от 0 до 600", 2);
        o.timeoutMs = static_cast<int>(s * 1000);
    }
    RegistryFetchReport report;
    const bool ok = FetchRegistry(store, o, report, [](const QString& what) {
        std::fprintf(stderr, "%s\n", what.toLocal8Bit().constData());
    });
    if (report.queries == 0 && ok) {
        Say(QStringLiteral("Нет выгруженных записей, не найденных в реестре"));
        return 0;
    }
    const int status = Tell(report.import);
    if (!ok) return Complain(report.error, 1);
    return status;
}

QString StateWord(RegistryState s) {
    switch (s) {
        case RegistryState::NotExported:
            return "not_exported";
        case RegistryState::NotFound:
            return "not_found";
        case RegistryState::Refused:
            return "refused";
        default:
            return "exported";
    }
}

int Pending(RecordStore& store, const QCommandLineParser& args) {
    int days = RegistryNotFoundDays(store);
    if (args.isSet("days")) {
        bool ok = false;
        days = args.value("days").toInt(&ok);
        if (!ok || days < 0) return Complain("--days: число рабочих дней от 0", 2);
    }
    const bool json = args.isSet("json");
    QJsonArray list;
    qint64 count = 0;
    QString error;
    const bool ok = ForEachPending(
        store, days,
        [&](const PendingRecord& p) {
            if (json) {
                list.append(QJsonObject{
                    {"record", p.id},
                    {"state", StateWord(p.state)},
                    {"model", p.model},
                    {"serial", p.serial},
                    {"type_number", p.typeNumber},
                    {"verification_date", p.verificationDay.toString(Qt::ISODate)},
                    {"since", p.at.isValid() ? p.at.toString(Qt::ISODateWithMs) : QString()}});
                return;
            }
            if (count++ == 0) Say("Запись\tСостояние\tМодель\tЗав. №\tТип\tДата поверки\tС");
            QStringList row = {
                QString::number(p.id),
                RegistryStateCaption(p.state),
                p.model,
                p.serial,
                p.typeNumber,
                p.verificationDay.toString("dd.MM.yyyy"),
                p.at.isValid() ? p.at.toLocalTime().date().toString("dd.MM.yyyy") : QString()};
            for (QString& cell : row) cell.replace('\t', ' ').replace('\n', ' ');
            Say(row.join('\t'));
        },
        &error);
    if (!ok) return Complain(error, 1);
    if (json)
        std::printf("%s", QJsonDocument(list).toJson(QJsonDocument::Indented).constData());
    else if (count == 0)
        Complain(QStringLiteral("нет записей, ждущих реестра"), 0);
    return 0;
}

int Refuse(RecordStore& store, const QCommandLineParser& args) {
    bool ok = false;
    const qint64 id = args.value("record").toLongLong(&ok);
    if (!ok || args.value("reason").trimmed().isEmpty())
        return Complain("нужны --record N и --reason TEXT", 2);
    const QString author =
        args.isSet("author") ? args.value("author") : qEnvironmentVariable("USER");
    QString error;
    if (!RecordRefusal(store, id, args.value("reason"), author, &error)) return Complain(error, 1);
    Say(QStringLiteral("Запись № %1: отклонена реестром (%2)").arg(id).arg(args.value("reason")));
    return 0;
}

}  // namespace

int RegistryCommand(int argc, char* argv[]) {
    QCommandLineParser args;
    args.addOptions({{"db", "records database URL", "URL"},
                     {"workdir", "the workstation's work directory", "DIR"},
                     {"from", "fetch: first verification date, YYYY-MM-DD", "DATE"},
                     {"to", "fetch: last verification date, YYYY-MM-DD", "DATE"},
                     {"url", "fetch: the registry's base URL", "BASE"},
                     {"timeout", "fetch: seconds to wait for a reply (30)", "S"},
                     {"days", "pending: working days after an export", "N"},
                     {"json", "pending: as JSON"},
                     {"record", "refuse: record number", "N"},
                     {"reason", "refuse: the registry's reason", "TEXT"},
                     {"author", "refuse: who records it", "NAME"}});
    if (!args.parse(QCoreApplication::arguments())) return Complain(args.errorText(), 2);
    HidePasswordsInArguments(argc, argv);
    const QStringList words = args.positionalArguments();  // "registry", the action, files
    const QString action = words.value(1);
    const bool known =
        (action == "import" && words.size() > 2) ||
        (words.size() == 2 && (action == "fetch" || action == "pending" || action == "refuse"));
    if (!known) return Complain(kUsage, 2);
    RecordStore store;
    if (!store.Open(RecordsDbUrl(WorkDir(args), args.value("db"))))
        return Complain(store.LastError(), 1);
    for (const QString& note : store.SpoolNotes()) Complain(note, 0);
    if (action == "import") return Import(store, words.mid(2));
    if (action == "fetch") return Fetch(store, args);
    if (action == "pending") return Pending(store, args);
    return Refuse(store, args);
}

}  // namespace yukt::records
