// yukt-records: the records database without a display.
//   yukt-records export --fgis FILE.xml [--from DATE] [--to DATE] [--max-records N]
//                       [--attach-protocol] [--db URL]
//   yukt-records protocol --id N --pdf FILE.pdf [--db URL]
//   yukt-records verify [--anchors FILE…] [--db URL]   the chain, the records' meaning, the file
//   yukt-records verify --hash HEX [--db URL]  where a printed chain hash is
//   yukt-records anchor [--to FILE] [--db URL]  the chain's head, printed or appended to FILE
//   yukt-records migrate [--db URL] [--grant ROLE]   as the database's owner
//   yukt-records complete --id N --author NAME --reason TEXT [--db URL]
//   yukt-records settings [get KEY | set KEY VALUE] [--db URL]
//   yukt-records due --days N [--db URL]
//   yukt-records registry import|fetch|pending|refuse …   (registry_command.h)
//   yukt-records references list|add|renew|retire|due ... [--db URL]
//   yukt-records suspect --reference N [--from DATE] [--to DATE] [--json] [--db URL]
// Without --db the database is the workstation's (--workdir DIR, else the
// program's folder when writable, else ~/.local/share/poverka).
// Exit status: 0 done, 3 some records were left out of the export (named on
// stderr), there was nothing to export, or verify found the database not
// whole, 1 a database or file error, 2 wrong arguments or a setting value
// refused.
// export, protocol, due, verify, anchor and settings without "set" open the
// database read-only: nothing is migrated, written back or closed by them.
// settings set, migrate and complete open it to write, which writes back what
// a run kept in the local spool while the database was away; each such
// record is named on stderr.
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <csignal>
#include <cstdio>

#include "common/program_version.h"
#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records/fgis_export.h"
#include "records/headless_qt.h"
#include "records/journal_query.h"
#include "records/lab_settings_check.h"
#include "records/protocol_pdf.h"
#include "records/record_feed.h"
#include "records/record_store.h"
#include "records/terminal_progress.h"
#include "records_analysis.h"
#include "records/registry_state.h"
#include "records_integrity.h"
#include "registry_command.h"
#include "records_references.h"

namespace {

using namespace yukt::records;

int Complain(const QString& text, int status) {
    std::fprintf(stderr, "yukt-records: %s\n", text.toLocal8Bit().constData());
    return status;
}

bool ParseDate(const QString& text, QDate* out) {
    if (text.isEmpty()) return true;
    *out = QDate::fromString(text, Qt::ISODate);
    return out->isValid();
}

void Say(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }

int Export(RecordStore& store, const QCommandLineParser& args) {
    JournalFilter filter;
    if (!ParseDate(args.value("from"), &filter.from) || !ParseDate(args.value("to"), &filter.to))
        return Complain("даты задаются как ГГГГ-ММ-ДД", 2);
    FgisExportOptions options;
    options.path = args.value("fgis");
    options.attachProtocol = args.isSet("attach-protocol");
    if (args.isSet("max-records")) {
        bool ok = false;
        options.maxRecords = args.value("max-records").toInt(&ok);
        if (!ok || options.maxRecords < 1) return Complain("--max-records: целое число от 1", 2);
    }
    TerminalProgress bar(QStringLiteral("Выгрузка"));
    const qint64 total = bar.Active() ? JournalCount(store.Database(), filter) : 0;
    options.carryOn = [&bar, total](qint64 read) {
        bar.Show(read, total);
        return true;
    };
    const FgisExportReport report = ExportFgis(FeedOfFilter(store, filter), options,
                                               [&bar](const QString& line) {
                                                   bar.Done();  // the line starts afresh
                                                   Complain(line, 0);
                                               });
    bar.Done();
    if (!report.error.isEmpty()) return Complain(report.error + "; файл не записан", 1);
    if (QString error; !RecordExports(store, report, &error)) Complain(error, 0);
    if (report.exported == 0) {
        Complain(report.offered == 0
                     ? QStringLiteral("нет записей для выгрузки, файл не записан")
                     : QStringLiteral("ни одна запись не выгружена, файл не записан"),
                 0);
        return 3;
    }
    Say(QStringLiteral("Выгружено записей: %1 из %2").arg(report.exported).arg(report.offered));
    for (const QString& file : report.files) Say(QStringLiteral("Файл: ") + file);
    if (!report.removed.isEmpty())
        Say(QStringLiteral("Удалены прежние части: ") + report.removed.join(", "));
    // A stale part left beside the new ones could be uploaded as current.
    if (!report.notRemoved.isEmpty())
        return Complain(
            QStringLiteral("Не удалось удалить прежние части: ") + report.notRemoved.join(", "), 1);
    return report.leftOut == 0 ? 0 : 3;
}

int Protocol(RecordStore& store, const QCommandLineParser& args) {
    bool ok = false;
    const qint64 id = args.value("id").toLongLong(&ok);
    if (!ok || args.value("pdf").isEmpty()) return Complain("нужны --id N и --pdf FILE", 2);
    const std::optional<Record> r = store.Load(id);
    if (!r) return Complain(store.LastError(), 1);
    QString error;
    if (!WriteProtocolPdf(*r, args.value("pdf"), &error)) return Complain(error, 1);
    return 0;
}

// The workstation's work directory, where its records live: beside the
// program in a build tree, the per-user folder for an installed workstation.
QString WorkDir(const QCommandLineParser& args) {
    if (args.isSet("workdir")) return args.value("workdir");
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside).isWritable()) return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/poverka");
}

int Settings(RecordStore& store, const QStringList& words) {
    const QString action = words.value(1);
    if (words.size() == 1) {
        for (const QString& key : LabSettingKeys())
            Say(key + " = " + store.Setting(key, LabSettingDefault(key)));
        return 0;
    }
    const QString key = words.value(2);
    if (action == "get" && words.size() == 3) {
        if (!LabSettingKeys().contains(key)) return Complain("нет такого параметра: " + key, 2);
        Say(store.Setting(key, LabSettingDefault(key)));
        return 0;
    }
    if (action == "set" && words.size() == 4) {
        if (const QString problem = LabSettingProblem(key, words[3]); !problem.isEmpty())
            return Complain(problem, 2);
        if (!store.SetSetting(key, NormalisedLabSetting(key, words[3])))
            return Complain(store.LastError(), 1);
        return 0;
    }
    return Complain("использование: yukt-records settings [get KEY | set KEY VALUE]", 2);
}

int Due(RecordStore& store, const QCommandLineParser& args) {
    bool ok = false;
    const int days = args.value("days").toInt(&ok);
    if (!ok || days < 0) return Complain("нужно --days N, число дней от 0", 2);
    QSqlQuery q = DueModules(store.Database(), days);
    if (!q.isActive()) return Complain("Не удалось прочитать журнал: " + q.lastError().text(), 1);
    qint64 count = 0;
    while (q.next()) {
        if (count++ == 0)
            Say("Действительно до\tМодель\tМодуль\tЗав. №\tВладелец\tСвидетельство\tЗапись");
        QStringList row;
        for (int c : {kDValidUntil, kDModel, kDDesignation, kDSerial, kDOwner, kDCertificate, kDId})
            row << q.value(c).toString().replace('\t', ' ').replace('\n', ' ');
        Say(row.join('\t'));
    }
    if (count == 0)
        Complain(QStringLiteral("нет модулей, срок поверки которых истекает в ближайшие %1 дн.")
                     .arg(days),
                 0);
    return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGPIPE, SIG_IGN);  // a closed reader makes a write fail, not the program die
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-records")) return 0;
    // The PDF writer needs fonts, not a screen.
    PrepareHeadlessQt();
    // The arguments are read, then a password in them wiped, before anything
    // else: the application object alone takes longer than ps needs.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const bool passwordGiven = HidePasswordsInArguments(argc, argv);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("yukt-records");
    if (IsCommand(argc, argv, "history")) return HistoryCommand(argc, argv);
    if (IsCommand(argc, argv, "stats")) return StatsCommand(argc, argv);
    if (IsCommand(argc, argv, "report")) return ReportCommand(argc, argv);
    if (app.arguments().value(1) == "registry") return RegistryCommand(argc, argv);
    QCommandLineParser args;
    args.addHelpOption();
    args.addPositionalArgument(
        "command",
        "export | protocol | verify | anchor | migrate | complete | settings [get KEY | set KEY "
        "VALUE] | due");
    args.addOptions({{"db", "records database URL", "URL"},
                     {"fgis", "registry XML file to write", "FILE"},
                     {"from", "first date, YYYY-MM-DD", "DATE"},
                     {"to", "export: last date, YYYY-MM-DD; anchor: the anchor file", "DATE|FILE"},
                     {"attach-protocol", "attach each PDF protocol"},
                     {"max-records", "records per registry file (1000)", "N"},
                     {"days", "due: days ahead", "N"},
                     {"id", "record number", "N"},
                     {"pdf", "protocol file to write", "FILE"},
                     {"workdir", "the workstation's work directory", "DIR"},
                     {"grant", "migrate: the workstation role to grant its rights", "ROLE"},
                     {"author", "complete: who completes the record", "NAME"},
                     {"reason", "complete: why", "TEXT"},
                     {"owner", "complete: the owner", "TEXT"},
                     {"type-number", "complete, references add: registration number of the type", "TEXT"},
                     {"manufacture-year", "complete: year of manufacture", "YYYY"},
                     {"modification", "complete: modification", "TEXT"},
                     {"name", "complete, references add: name of the instrument", "TEXT"},
                     {"record-info", "complete: the fields above in a TOML file", "FILE"},
                     {"hash", "verify: the chain hash to look up", "HEX"},
                     {"anchors", "verify: anchor file to check (repeatable)", "FILE"},
                     {"allow-password-in-url", "accept a password in --db (else ~/.pgpass)"}});
    AddReferenceOptions(args);
    if (!args.parse(arguments)) return Complain(args.errorText(), 2);
    if (passwordGiven && !args.isSet("allow-password-in-url"))
        return Complain(QString::fromUtf8(kPasswordInUrlRefused), 2);
    if (args.isSet("help")) args.showHelp(0);
    const QStringList positional = args.positionalArguments();
    const QString command = positional.value(0);
    const QString url = RecordsDbUrl(WorkDir(args), args.value("db"));
    if (positional.size() == 1 && command == "verify") return VerifyCommand(url, args);
    if (positional.size() == 1 && command == "anchor") return AnchorCommand(url, args);
    if (positional.size() == 1 && command == "migrate")
        return MigrateCommand(url, args.value("grant"));
    if (positional.size() == 1 && command == "complete") return CompleteCommand(url, args);
    if (command == "references" || command == "suspect")
        return ReferencesCommand(url, positional, args);
    const bool known = (command == "export" && positional.size() == 1 && args.isSet("fgis")) ||
                       (command == "protocol" && positional.size() == 1) ||
                       (command == "due" && positional.size() == 1) || command == "settings";
    if (!known)
        return Complain(
            "использование: yukt-records export --fgis FILE.xml [--from DATE] [--to DATE] "
            "[--max-records N] [--db URL] | protocol --id N --pdf FILE.pdf [--db URL] | "
            "verify [--db URL] | migrate [--db URL] [--grant ROLE] | "
            "complete --id N --author NAME --reason TEXT [--owner TEXT] [--type-number TEXT] "
            "[--manufacture-year YYYY] [--modification TEXT] [--name TEXT] [--record-info FILE] | "
            "settings [get KEY | set KEY VALUE] | due --days N | "
            "registry import|fetch|pending|refuse …",
            2);
    RecordStore store;
    // Reading commands write nothing at the opening; settings set and the
    // recording programs do.
    store.SetReadOnly(command != "settings" || positional.value(1) == "get" ||
                      positional.size() == 1);
    if (!store.Open(url))
        return Complain(store.LastError(), 1);
    for (const QString& note : store.SpoolNotes()) Complain(note, 0);
    if (command == "export") return Export(store, args);
    if (command == "settings") return Settings(store, positional);
    if (command == "due") return Due(store, args);
    return Protocol(store, args);
}
