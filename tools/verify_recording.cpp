#include "verify_recording.h"

#include <QGuiApplication>
#include <clocale>

#include "records/db_location.h"
#include "records/lab_settings.h"
#include "records/program_ident.h"
#include "records/protocol_pdf.h"
#include "records/run_recorder.h"

namespace yukt::records {
namespace {

// The model code of a module kind; a composite device by its first module.
QString ModelOf(int kind) {
    switch (kind) {
        case 1:
        case 13:
        case 14:
            return "745t";
        case 2:
        case 15:
            return "748x";
        case 3:
            return "748t";
        case 5:
            return "735t";
        case 6:
            return "735x";
        case 8:
            return "787x";
    }
    return QString::number(kind);
}

bool ParseConditions(const std::string& text, Conditions& c) {
    const QStringList parts = QString::fromStdString(text).split(',');
    if (parts.size() != 3) return false;
    std::optional<double>* fields[] = {&c.temperature, &c.pressure, &c.humidity};
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        const double v = parts[k].trimmed().toDouble(&ok);
        if (!ok) return false;
        *fields[k] = v;
    }
    return true;
}

}  // namespace

const char* const kRecordUsage =
    " [--db URL [--operator NAME] [--kind первичная|периодическая] [--conditions T,P,H]"
    " [--protocol FILE.pdf]]";

bool ParseRecordOption(int& i, int argc, char** argv, RecordOptions& o) {
    const std::string a = argv[i];
    std::string* target = a == "--db"           ? &o.db
                          : a == "--operator"   ? &o.operatorName
                          : a == "--kind"       ? &o.kind
                          : a == "--conditions" ? &o.conditions
                          : a == "--protocol"   ? &o.protocol
                                                : nullptr;
    if (target == nullptr || i + 1 >= argc) return false;
    *target = argv[++i];
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

std::unique_ptr<VerifyRecording> VerifyRecording::Start(
    const RecordOptions& o, const std::string& serial, const verify::Procedure& procedure,
    const verify::RunSetup& setup, verify::ProgressSink* next, std::string& error) {
    std::unique_ptr<VerifyRecording> r(new VerifyRecording);
    // The protocol's fonts need an application object, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
    if (!r->m->store.Open(RecordsDbUrl(QString(), QString::fromStdString(o.db)))) {
        error = r->m->store.LastError().toStdString();
        return nullptr;
    }
    // Fields not given on the command line are those of the last record.
    const Conditions given = record.info.conditions;
    record.module.model = ModelOf(setup.kind);
    record.info = LoadLastInfo(r->m->store, record.module.model, RecordStore::Workstation());
    if (!o.conditions.empty()) record.info.conditions = given;
    record.info.serial = QString::fromStdString(serial);
    if (!o.operatorName.empty()) record.info.operatorName = QString::fromStdString(o.operatorName);
    if (!kind.isEmpty())
        record.info.kind = (kind == "первичная" || kind == "1") ? VerificationKind::Primary
                                                                : VerificationKind::Periodic;
    if (!procedure.doc.empty()) record.info.methodology = QString::fromStdString(procedure.doc);
    record.module.designation = record.module.model;
    // A run starts only on settings that were read and that the registry accepts.
    const std::optional<LabSettings> lab = LabSettings::Load(r->m->store);
    if (!lab) {
        error = r->m->store.LastError().toStdString();
        return nullptr;
    }
    if (const QStringList missing = MissingLabSettings(*lab); !missing.isEmpty()) {
        error = ("в настройках лаборатории не заполнено: " + missing.join("; ") +
                 " (yukt-records settings или «Настройки…» в журнале)")
                    .toStdString();
        return nullptr;
    }
    record.lab = lab->Snapshot();
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
    r->m->recorder =
        std::make_unique<RunRecorder>(r->m->store, record.id, UnitOf(procedure.quantity), next);
    return r;
}

std::string VerifyRecording::Finish() {
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
