#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>
#include <cstring>

#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records_analysis_common.h"

namespace yukt::records {

bool IsCommand(int argc, char* argv[], const char* command) {
    return argc > 1 && std::strcmp(argv[1], command) == 0;
}

namespace analysis {

int Complain(const QString& text, int status) {
    std::fprintf(stderr, "yukt-records: %s\n", text.toLocal8Bit().constData());
    return status;
}

void Print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int Parse(QCommandLineParser& args, int argc, char* argv[],
          const QList<QCommandLineOption>& options) {
    args.addOptions(options);
    args.addOptions({{"db", "records database URL", "URL"},
                     {"workdir", "the workstation's work directory", "DIR"}});
    args.addPositionalArgument("command", "history | stats | report");
    args.addHelpOption();
    const bool parsed = args.parse(QCoreApplication::arguments());
    HidePasswordsInArguments(argc, argv);
    if (!parsed) return Complain(args.errorText(), 2);
    if (args.isSet("help")) args.showHelp(0);
    if (args.positionalArguments().size() != 1)
        return Complain(
            QStringLiteral("лишние слова: ") + args.positionalArguments().mid(1).join(' '), 2);
    return -1;
}

bool ParseDate(const QString& text, QDate* out) {
    if (text.isEmpty()) return true;
    *out = QDate::fromString(text, Qt::ISODate);
    return out->isValid();
}

int ParseRange(const QCommandLineParser& args, QDate* from, QDate* to) {
    if (!ParseDate(args.value("from"), from) || !ParseDate(args.value("to"), to))
        return Complain(QStringLiteral("даты задаются как ГГГГ-ММ-ДД"), 2);
    if (from->isValid() && to->isValid() && *from > *to)
        return Complain(QStringLiteral("начало периода позже его конца: %1 > %2")
                            .arg(from->toString(Qt::ISODate), to->toString(Qt::ISODate)),
                        2);
    return -1;
}

// As the other commands find it: --workdir, else the program's folder when
// writable, else the per-user folder.
QString DbUrlOf(const QCommandLineParser& args) {
    QString dir = args.value("workdir");
    if (dir.isEmpty()) {
        const QString beside = QCoreApplication::applicationDirPath();
        dir = QFileInfo(beside).isWritable()
                  ? beside
                  : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/poverka");
    }
    return RecordsDbUrl(dir, args.value("db"));
}

bool Open(RecordStore& store, const QCommandLineParser& args, int* status) {
    if (!store.Open(DbUrlOf(args))) {
        *status = Complain(store.LastError(), 1);
        return false;
    }
    for (const QString& note : store.SpoolNotes()) Complain(note, 0);
    return true;
}

}  // namespace analysis
}  // namespace yukt::records
