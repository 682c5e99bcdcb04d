#include "verify_recording.h"

#include <QGuiApplication>
#include <clocale>
#include <cstdio>

#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records/headless_qt.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/machine_number.h"
#include "records/program_ident.h"
#include "records/record_fields.h"
#include "records/protocol_pdf.h"
#include "records/run_recorder.h"
#include "records/xml_text.h"
#include "verify/software_ident.h"

namespace yukt::records {
namespace {

bool ParseConditions(const std::string& text, Conditions& c) {
    const QStringList parts = QString::fromStdString(text).split(',');
    if (parts.size() != 3) return false;
    std::optional<double>* fields[] = {&c.temperature, &c.pressure, &c.humidity};
    for (int k = 0; k < 3; ++k) {
        *fields[k] = MachineNumberOf(parts[k]);
        if (!*fields[k]) return false;
    }
    return true;
}

}  // namespace

const char* const kRecordUsage =
    " [--db URL [--operator NAME] [--kind первичная|периодическая] [--conditions T,P,H]"
    " [--owner TEXT] [--type-number TEXT] [--manufacture-year YYYY] [--modification TEXT]"
    " [--name TEXT] [--record-info FILE.toml] [--protocol FILE.pdf] [--allow-password-in-url]]";

bool ParseRecordOption(int& i, int argc, char** argv, RecordOptions& o) {
    const std::string a = argv[i];
    if (a == "--allow-password-in-url") {
        o.allowPasswordInUrl = true;
        return true;
    }
    if (a.rfind("--", 0) == 0 && RecordFieldKeys().contains(QString::fromStdString(a.substr(2)))) {
        if (i + 1 >= argc) return false;
        o.fields.emplace_back(a.substr(2), argv[++i]);
        return true;
    }
    if (a == "--record-info") {
        if (i + 1 >= argc) return false;
        o.recordInfo = argv[++i];
        return true;
    }
    std::string* target = a == "--db"           ? &o.db
                          : a == "--operator"   ? &o.operatorName
                          : a == "--kind"       ? &o.kind
                          : a == "--conditions" ? &o.conditions
                          : a == "--protocol"   ? &o.protocol
                                                : nullptr;
    if (target == nullptr || i + 1 >= argc) return false;
    *target = argv[++i];
    if (target == &o.db) HidePasswordInArgument(argv[i]);
    return true;
}

struct VerifyRecording::Impl {
    std::unique_ptr<QGuiApplication> app;  // first made, last gone
    RecordStore store;
    std::unique_ptr<RunRecorder> recorder;
    qint64 id = 0;
    std::string protocol;
};

VerifyRecording::VerifyRecording() : m(std::make_unique<Impl>()) {}
VerifyRecording::~VerifyRecording() = default;
verify::ProgressSink* VerifyRecording::Sink() { return m->recorder.get(); }
void VerifyRecording::SetStop(std::function<void()> stop) { m->recorder->SetStop(std::move(stop)); }
bool VerifyRecording::Lost() const { return m->recorder->Spool() != nullptr; }

std::string VerifyRecording::LostNotice() const {
    const PointSpool* spool = m->recorder->Spool();
    if (spool == nullptr) return {};
    QString text = QStringLiteral(
                       "база данных записей недоступна (%1); поверка остановлена, "
                       "запись № %2 прервана.")
                       .arg(m->recorder->Error())
                       .arg(m->id);
    if (spool->Count() > 0)
        text += QStringLiteral(
                    " Точки (%1) сохранены в %2 и будут записаны при следующем "
                    "открытии базы.")
                    .arg(spool->Count())
                    .arg(spool->Path());
    else
        text += QStringLiteral(
                    " Её окончание сохранено в %1 и будет записано при следующем "
                    "открытии базы.")
                    .arg(spool->Path());
    if (!m->protocol.empty()) text += QStringLiteral(" Протокол не записан.");
    return text.toStdString();
}

std::unique_ptr<VerifyRecording> VerifyRecording::Start(
    const RecordOptions& o, const std::string& serial, const verify::Methodology& methodology,
    const verify::Plan& plan, const verify::RunSetup& setup, verify::ProgressSink* next,
    std::string& error) {
    std::unique_ptr<VerifyRecording> r(new VerifyRecording);
    // The protocol's fonts need an application object, not a screen.
    PrepareHeadlessQt();
    static int argc = 1;
    static char name[] = "yukt-verify";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        r->m->app = std::make_unique<QGuiApplication>(argc, argv);
        // Qt takes the user's locale for the C library too; the run's replies
        // and numbers are machine text and stay in the C locale.
        std::setlocale(LC_NUMERIC, "C");
    }

    Record record;
    if (!o.conditions.empty() && !ParseConditions(o.conditions, record.info.conditions)) {
        error = "--conditions: нужны три числа T,P,H (°C, кПа, %), например 21.5,100.2,55";
        return nullptr;
    }
    const QString kind = QString::fromStdString(o.kind);
    if (!kind.isEmpty() && kind != "первичная" && kind != "периодическая" && kind != "1" &&
        kind != "2") {
        error = "--kind: первичная или периодическая";
        return nullptr;
    }
    // A password belongs in ~/.pgpass, PGPASSFILE or a service file, not on
    // a command line every user's ps shows.
    if (!o.allowPasswordInUrl && !PasswordInUrl(QString::fromStdString(o.db)).isEmpty()) {
        error = kPasswordInUrlRefused;
        return nullptr;
    }
    // What the registry file cannot carry is refused before anything is recorded.
    for (const auto& [field, text] :
         {std::pair{"--serial", serial}, std::pair{"--operator", o.operatorName}})
        if (const QString problem =
                XmlIllegalProblem(QString::fromLatin1(field), QString::fromStdString(text));
            !problem.isEmpty()) {
            error = problem.toStdString();
            return nullptr;
        }
    if (!r->m->store.Open(RecordsDbUrl(QString(), QString::fromStdString(o.db)))) {
        error = r->m->store.LastError().toStdString();
        return nullptr;
    }
    for (const QString& note : r->m->store.SpoolNotes())
        std::fprintf(stderr, "yukt-verify: %s\n", note.toLocal8Bit().constData());
    // Fields not given on the command line are those of the last record.
    const Conditions given = record.info.conditions;
    record.module.model = QString::fromStdString(plan.model);
    record.info = LoadLastInfo(r->m->store, record.module.model, RecordStore::Workstation());
    if (!o.conditions.empty()) record.info.conditions = given;
    record.info.serial = QString::fromStdString(serial);
    if (!o.operatorName.empty()) record.info.operatorName = QString::fromStdString(o.operatorName);
    if (!kind.isEmpty())
        record.info.kind = (kind == "первичная" || kind == "1") ? VerificationKind::Primary
                                                                : VerificationKind::Periodic;
    if (!methodology.id.empty()) record.info.methodology = QString::fromStdString(methodology.id);
    // The registry's fields: the file's, then the options' over them, over
    // the last record's.
    RecordFields fields;
    if (!o.recordInfo.empty()) {
        QString why;
        if (!ReadRecordFields(QString::fromStdString(o.recordInfo), fields, why)) {
            error = "--record-info: " + why.toStdString();
            return nullptr;
        }
    }
    for (const auto& [key, value] : o.fields)
        SetRecordField(fields, QString::fromStdString(key), QString::fromStdString(value));
    ApplyRecordFields(fields, record.info);
    FillMethodology(record, plan);
    record.module.model = QString::fromStdString(plan.model);
    record.module.designation = record.module.model;
    FillIdentification(record, setup.identFirst, setup.identSecond);
    // A record the registry would refuse for a field only this run can give
    // is not begun.
    if (const QStringList problems = RecordFieldProblems(record); !problems.isEmpty()) {
        error = ("реестр не примет запись: " + problems.join("; ") +
                 " (укажите в командной строке или в --record-info FILE)")
                    .toStdString();
        return nullptr;
    }
    // A run starts only on settings that were read and that the registry accepts.
    const std::optional<LabSettings> lab = LabSettings::Load(r->m->store);
    if (!lab) {
        error = r->m->store.LastError().toStdString();
        return nullptr;
    }
    QString registerError;
    const std::optional<QList<LabReference>> references =
        LoadReferences(r->m->store, &registerError);
    if (!references) {
        error = registerError.toStdString();
        return nullptr;
    }
    if (const QStringList missing = MissingBesideRegister(MissingLabSettings(*lab), *references);
        !missing.isEmpty()) {
        error = ("в настройках лаборатории не заполнено: " + missing.join("; ") +
                 " (yukt-records settings или «Настройки…» в журнале)")
                    .toStdString();
        return nullptr;
    }
    record.lab = lab->Snapshot();
    // Every quantity the plan measures needs a reference valid today.
    const std::optional<ReferenceGate> gate =
        GateRecord(r->m->store, plan, QDate::currentDate(), record, &registerError);
    if (!gate) {
        error = registerError.toStdString();
        return nullptr;
    }
    for (const QString& warning : gate->warnings)
        std::fprintf(stderr, "yukt-verify: предупреждение: %s\n", warning.toLocal8Bit().constData());
    if (!gate->Passed()) {
        error = (gate->refusals.join("; ") +
                 " (yukt-records references renew или references add)")
                    .toStdString();
        return nullptr;
    }
    record.program = RunningProgram();
    // Offered again to the next run; a database that fails here would fail
    // the record too, so nothing is begun.
    if (!SaveLastInfo(r->m->store, record.module.model, record.info, RecordStore::Workstation()) ||
        !r->m->store.Begin(record)) {
        error = r->m->store.LastError().toStdString();
        return nullptr;
    }
    r->m->id = record.id;
    r->m->protocol = o.protocol;
    r->m->recorder = std::make_unique<RunRecorder>(r->m->store, record.id, QString(), next);
    r->m->recorder->SetPlan(plan);
    return r;
}

std::string VerifyRecording::Finish() {
    // The database is not touched again: the spool keeps the record's end.
    if (const PointSpool* spool = m->recorder->Spool()) {
        if (spool->Error().isEmpty()) return {};
        return "база данных записей недоступна (" + m->recorder->Error().toStdString() +
               "), и точки не сохранены: " + spool->Error().toStdString();
    }
    std::optional<Record> record = m->store.Load(m->id);
    if (record && record->state == RecordState::Open) {
        m->store.Close(m->id, kInterrupted);
        record = m->store.Load(m->id);
    }
    if (!m->recorder->Error().isEmpty()) return m->recorder->Error().toStdString();
    if (!record) return m->store.LastError().toStdString();
    QString error;
    if (!m->protocol.empty() &&
        !WriteProtocolPdf(*record, QString::fromStdString(m->protocol), &error))
        return error.toStdString();
    return {};
}

}  // namespace yukt::records
