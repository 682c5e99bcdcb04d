// yukt-records: the records database without a display.
//   yukt-records export --fgis FILE.xml [--from DATE] [--to DATE] [--db URL] [--attach-protocol]
//   yukt-records protocol --id N --pdf FILE.pdf [--db URL]
//   yukt-records verify [--db URL]            the chain of every record, the file
//   yukt-records migrate [--db URL] [--grant ROLE]   as the database's owner
//   yukt-records complete --id N --author NAME --reason TEXT [--db URL]
// Without --db the database is the workstation's (--workdir DIR, else the
// program's folder when writable, else ~/.local/share/poverka).
// Exit status: 0 done, 3 some records were left out of the export (named on
// stderr) or verify found the database not whole, 1 a database or file
// error, 2 wrong arguments.
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstdio>

#include "common/program_version.h"
#include "records/db_location.h"
#include "records/fgis_export.h"
#include "records/journal_query.h"
#include "records/protocol_pdf.h"
#include "records/record_store.h"
#include "records_integrity.h"

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

int Export(RecordStore& store, const QCommandLineParser& args) {
    JournalFilter filter;
    if (!ParseDate(args.value("from"), &filter.from) || !ParseDate(args.value("to"), &filter.to))
        return Complain("даты задаются как ГГГГ-ММ-ДД", 2);
    QList<Record> records;
    for (qint64 id : JournalIds(store.Database(), filter)) {
        std::optional<Record> r = store.Load(id);
        if (!r) return Complain(store.LastError(), 1);
        records << *r;
    }
    QSaveFile file(args.value("fgis"));
    if (!file.open(QIODevice::WriteOnly))
        return Complain(file.fileName() + ": " + file.errorString(), 1);
    const FgisExportReport report = WriteFgisXml(records, &file, args.isSet("attach-protocol"));
    if (!file.commit()) return Complain(file.fileName() + ": " + file.errorString(), 1);
    for (const QString& problem : report.problems) Complain(problem, 0);
    std::printf("Выгружено записей: %lld из %lld\n", static_cast<long long>(report.exported.size()),
                static_cast<long long>(records.size()));
    return report.problems.isEmpty() ? 0 : 3;
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

}  // namespace

int main(int argc, char* argv[]) {
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-records")) return 0;
    // The PDF writer needs fonts, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName("yukt-records");
    QCommandLineParser args;
    args.addHelpOption();
    args.addPositionalArgument("command", "export | protocol | verify | migrate | complete");
    args.addOptions({{"db", "records database URL", "URL"},
                     {"fgis", "registry XML file to write", "FILE"},
                     {"from", "first date, YYYY-MM-DD", "DATE"},
                     {"to", "last date, YYYY-MM-DD", "DATE"},
                     {"attach-protocol", "attach each PDF protocol"},
                     {"id", "record number", "N"},
                     {"pdf", "protocol file to write", "FILE"},
                     {"workdir", "the workstation's work directory", "DIR"},
                     {"grant", "migrate: the workstation role to grant its rights", "ROLE"},
                     {"author", "complete: who completes the record", "NAME"},
                     {"reason", "complete: why", "TEXT"}});
    if (!args.parse(app.arguments())) return Complain(args.errorText(), 2);
    if (args.isSet("help")) args.showHelp(0);
    const QStringList positional = args.positionalArguments();
    const QString command = positional.value(0);
    const QString url = RecordsDbUrl(WorkDir(args), args.value("db"));
    if (positional.size() == 1 && command == "verify") return VerifyCommand(url);
    if (positional.size() == 1 && command == "migrate")
        return MigrateCommand(url, args.value("grant"));
    if (positional.size() == 1 && command == "complete") return CompleteCommand(url, args);
    if (positional.size() != 1 || (command != "export" && command != "protocol") ||
        (command == "export" && args.value("fgis").isEmpty()))
        return Complain(
            "использование: yukt-records export --fgis FILE.xml [--from DATE] "
            "[--to DATE] [--db URL] | protocol --id N --pdf FILE.pdf [--db URL] | verify [--db URL]"
            " | migrate [--db URL] [--grant ROLE] | complete --id N --author NAME --reason TEXT",
            2);
    RecordStore store;
    if (!store.Open(url))
        return Complain(store.LastError(), 1);
    return command == "export" ? Export(store, args) : Protocol(store, args);
}
