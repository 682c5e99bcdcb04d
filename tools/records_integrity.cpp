#include "records_integrity.h"

#include <QFileInfo>
#include <cstdio>
#include <tuple>

#include "records/full_check.h"
#include "records/lab_settings.h"
#include "records/record_fields.h"
#include "records/record_audit.h"
#include "records/record_store.h"
#include "records/stat_figures.h"
#include "records/terminal_progress.h"

namespace yukt::records {
namespace {

void Say(FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}
int Complain(const QString& text, int status) {
    Say(stderr, "yukt-records: " + text);
    return status;
}

bool Empty(const LabSnapshot& lab) {
    return lab.uveNumbers.isEmpty() && lab.mietaNumbers.isEmpty() &&
           (lab.misTypeNumber.isEmpty() || lab.misSerial.isEmpty());
}

}  // namespace

namespace {

// Opened to be read only: a SELECT-only auditor's role will do, and nothing is written.
bool OpenToRead(RecordStore& store, const QString& url, int* status) {
    // Opening a SQLite path that is not there would make an empty, "whole" database.
    const std::optional<DbUrl> parsed = ParseDbUrl(url, nullptr);
    if (parsed && parsed->driver == "QSQLITE" && !QFileInfo::exists(parsed->database)) {
        *status = Complain(QStringLiteral("нет файла базы данных ") + parsed->database, 1);
        return false;
    }
    store.SetReadOnly(true);
    if (store.Open(url)) return true;
    if (!store.Damaged()) {
        *status = Complain(store.LastError(), 1);
        return false;
    }
    Say(stdout, store.LastError());
    *status = 3;
    return false;
}

}  // namespace

int VerifyCommand(const QString& url, const QCommandLineParser& args) {
    RecordStore store;
    int status = 0;
    if (!OpenToRead(store, url, &status)) return status;
    if (args.isSet("hash")) {
        const QString hash = args.value("hash").trimmed().toLower();
        QString error;
        const std::optional<ChainPlace> at = FindChainHash(store.Database(), hash, &error);
        if (!error.isEmpty()) return Complain(error, 1);
        if (!at) {
            Say(stdout, QStringLiteral("Хеша %1 в базе данных нет").arg(hash));
            return 3;
        }
        Say(stdout, QStringLiteral("запись № %1, звено %2").arg(at->record).arg(at->seq));
        return 0;
    }
    // A million records take minutes: a bar on a terminal, nothing in a log.
    TerminalProgress bar(QStringLiteral("Проверка"));
    bar.Step(QStringLiteral("файл базы данных"));
    QStringList problems;
    // Reading never writes, so the schedule is not stamped from here: an
    // auditor's copy and a read-only file stay byte for byte as they were.
    store.CheckIntegrity(true, &problems);
    ChainReport report;
    report.progress = [&bar](qint64 done, qint64 total) { bar.Show(done, total); };
    const bool walked = store.VerifyChain(report);
    bar.Step(QStringLiteral("итоги записей"));
    QString error;
    bool read = walked && CheckMeaning(store.Database(), &report.problems, &error);
    // The statistics' figures are derived from the points: computed again and compared.
    if (read && store.SchemaVersion() >= sql::StatFiguresVersion()) {
        bar.Step(QStringLiteral("итоги статистики"));
        read = CheckStatFigures(store.Database(), &report.problems, &error);
    }
    bar.Done();
    if (!walked) return Complain(store.LastError(), 1);
    if (!read) return Complain(QStringLiteral("Не удалось прочитать записи: ") + error, 1);
    for (const QString& p : problems) Say(stdout, QStringLiteral("файл базы данных: ") + p);
    // Anchors: every (position, hash) once taken must still be in the chain.
    int anchored = 0;
    for (const QString& file : args.values("anchors"))
        if (!CheckAnchors(store.Database(), file, &report.problems, &anchored, &error))
            return Complain(error, 1);
    if (args.isSet("anchors"))
        Say(stdout, QStringLiteral("Проверено привязок: %1").arg(anchored));
    for (const QString& p : report.problems) Say(stdout, p);
    Say(stdout, QStringLiteral("Проверено звеньев цепочки: %1, нарушений: %2")
                    .arg(report.entries)
                    .arg(problems.size() + report.problems.size()));
    return problems.isEmpty() && report.problems.isEmpty() ? 0 : 3;
}

int AnchorCommand(const QString& url, const QCommandLineParser& args) {
    RecordStore store;
    int status = 0;
    if (!OpenToRead(store, url, &status)) return status;
    QString error;
    const std::optional<Anchor> head = ChainHead(store.Database(), &error);
    if (!head) return Complain(error, 1);
    if (!args.isSet("to")) {
        Say(stdout, AnchorLine(*head));
        return 0;
    }
    if (!AppendAnchor(args.value("to"), *head, &error)) return Complain(error, 1);
    Say(stdout, QStringLiteral("Привязка записана: ") + AnchorLine(*head));
    return 0;
}

int MigrateCommand(const QString& url, const QString& grantRole) {
    RecordStore store;
    if (!store.Open(url)) return Complain(store.LastError(), 1);
    if (!grantRole.isEmpty() && !store.GrantWorkstation(grantRole))
        return Complain(store.LastError(), 1);
    Say(stdout, QStringLiteral("Версия схемы: %1").arg(store.SchemaVersion()));
    return 0;
}

int CompleteCommand(const QString& url, const QCommandLineParser& args) {
    bool ok = false;
    const qint64 id = args.value("id").toLongLong(&ok);
    if (!ok || args.value("author").trimmed().isEmpty() || args.value("reason").trimmed().isEmpty())
        return Complain("нужны --id N, --author ФИО и --reason ТЕКСТ", 2);
    RecordStore store;
    if (!store.Open(url)) return Complain(store.LastError(), 1);
    const std::optional<Record> r = store.Load(id);
    if (!r) return Complain(store.LastError(), 1);
    // The registry's fields a record was made without (a headless run).
    RecordFields fields;
    QString why;
    if (args.isSet("record-info") && !ReadRecordFields(args.value("record-info"), fields, why))
        return Complain(why, 2);
    for (const QString& key : RecordFieldKeys())
        if (args.isSet(key)) SetRecordField(fields, key, args.value(key));
    RecordInfo given;
    ApplyRecordFields(fields, given);
    RecordInfo info = r->info;
    ApplyRecordFields(fields, info);
    // Completing adds what is missing; a value the record has is changed only
    // by a correction in the journal.
    for (const auto& [had, wants, option] :
         {std::tuple{r->info.owner, given.owner, "--owner"},
          std::tuple{r->info.typeNumber, given.typeNumber, "--type-number"},
          std::tuple{r->info.manufactureYear, given.manufactureYear, "--manufacture-year"},
          std::tuple{r->info.modification, given.modification, "--modification"},
          std::tuple{r->info.instrumentName, given.instrumentName, "--name"}})
        if (!had.isEmpty() && !wants.isEmpty() && had != wants)
            return Complain(QStringLiteral("%1: в записи № %2 уже указано «%3»; изменить его "
                                           "можно исправлением записи в журнале")
                                .arg(QLatin1String(option))
                                .arg(id)
                                .arg(had),
                            2);
    const bool infoSame = info.owner == r->info.owner && info.typeNumber == r->info.typeNumber &&
                          info.manufactureYear == r->info.manufactureYear &&
                          info.modification == r->info.modification &&
                          info.instrumentName == r->info.instrumentName;
    const std::optional<LabSettings> settings = LabSettings::Load(store);
    if (!settings) return Complain(store.LastError(), 1);
    if (const QStringList missing = MissingLabSettings(*settings); !missing.isEmpty())
        return Complain("в настройках лаборатории не заполнено: " + missing.join("; "), 1);
    // Only what the record lacks is taken from today's settings; what it has stays.
    const LabSnapshot now = settings->Snapshot();
    LabSnapshot lab = r->lab;
    if (lab.organisation.trimmed().isEmpty()) lab.organisation = now.organisation;
    if (lab.signCipher.trimmed().isEmpty()) lab.signCipher = now.signCipher;
    if (lab.calibrator.trimmed().isEmpty()) lab.calibrator = now.calibrator;
    if (Empty(lab)) {
        lab.uveNumbers = now.uveNumbers;
        lab.mietaNumbers = now.mietaNumbers;
        lab.misTypeNumber = now.misTypeNumber;
        lab.misSerial = now.misSerial;
    }
    if (lab.organisation == r->lab.organisation && lab.signCipher == r->lab.signCipher &&
        lab.calibrator == r->lab.calibrator && !Empty(r->lab) && infoSame) {
        Say(stdout, QStringLiteral("Запись № %1 дополнять нечем").arg(id));
        return 0;
    }
    if (!store.Correct(id, info, lab, args.value("author"), args.value("reason")))
        return Complain(store.LastError(), 1);
    Say(stdout,
        QStringLiteral("Запись № %1 дополнена: редакция %2").arg(id).arg(r->revision.number + 1));
    return 0;
}

}  // namespace yukt::records
