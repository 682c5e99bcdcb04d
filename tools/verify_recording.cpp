#include "verify_recording.h"

#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <mutex>

#include "common/text.h"
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
#include "records/writer_thread.h"
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

// The display gets every call of the run at once, on the run's own thread;
// the recorder gets the same calls in their order on the writer thread, so
// that the run never waits for the database. The verdict line waits for the
// recorder: a record that went to the spool at its end is shown "прервано".
class VerdictSink : public verify::ProgressSink {
  public:
    explicit VerdictSink(verify::ProgressSink* display) : m_display(display) {}
    void PointStarted(int, int, double) override {}
    void PointFinished(const verify::PointResult&) override {}
    void RunFinished(const verify::RunResult& run) override {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_shown && m_display) m_display->RunFinished(run);
        m_shown = true;
    }
    // The records gave no answer in time: the verdict is shown from here,
    // and a late answer shows nothing.
    void ShowInstead(const verify::RunResult& run) { RunFinished(run); }

  private:
    std::mutex m_lock;
    verify::ProgressSink* m_display;
    bool m_shown = false;
};

std::string NoAnswer(std::chrono::milliseconds limit) {
    return QStringLiteral("база данных записей не ответила за %1 с")
        .arg(QString::fromStdString(FloatToStr(limit.count() / 1000.0, ',')))
        .toStdString();
}

class SplitSink : public verify::ProgressSink {
  public:
    SplitSink(WriterThread& writer, verify::ProgressSink* display)
        : m_writer(writer), m_display(display) {}
    void SetRecorder(RunRecorder* recorder) { m_recorder = recorder; }
    void PointStarted(int index, int count, double nominal) override {
        if (m_display) m_display->PointStarted(index, count, nominal);
        m_writer.Post([r = m_recorder, index, count, nominal] { r->PointStarted(index, count, nominal); });
    }
    void PointFinished(const verify::PointResult& point) override {
        if (m_display) m_display->PointFinished(point);
        m_writer.Post([r = m_recorder, point] { r->PointFinished(point); });
    }
    // The record is closed once the run's safe phase has told whether the
    // generators took their safe values (Close): the run never waits for it.
    void RunFinished(const verify::RunResult& run) override {
        m_run = run;
        m_ended = true;
    }
    // After the safe phase: closes the record with `safeProblem` among its
    // reasons (when not empty). Once; nothing before RunFinished.
    void Close(const std::string& safeProblem) {
        if (!m_ended || m_closed) return;
        m_closed = true;
        m_writer.Post([r = m_recorder, run = m_run, safeProblem] {
            if (!safeProblem.empty()) r->AddReason(QString::fromStdString(safeProblem));
            r->RunFinished(run);
        });
    }
    void Asked(const verify::Question& q) override {
        if (m_display) m_display->Asked(q);
        m_writer.Post([r = m_recorder, q] { r->Asked(q); });
    }
    void AttemptFinished(const verify::PlanItem& item, const verify::Attempt& attempt) override {
        if (m_display) m_display->AttemptFinished(item, attempt);
        m_writer.Post([r = m_recorder, item, attempt] { r->AttemptFinished(item, attempt); });
    }
    void EventHandled() override {
        if (m_display) m_display->EventHandled();
        m_writer.Post([r = m_recorder] { r->EventHandled(); });
    }
    // The run as it ended (once RunFinished was called).
    const verify::RunResult& Run() const { return m_run; }

  private:
    WriterThread& m_writer;
    verify::ProgressSink* m_display;
    RunRecorder* m_recorder = nullptr;
    verify::RunResult m_run;
    bool m_ended = false, m_closed = false;
};

}  // namespace

const char* const kRecordUsage =
    " [--db URL [--operator NAME] [--kind первичная|периодическая] [--conditions T,P,H]"
    " [--owner TEXT] [--type-number TEXT] [--manufacture-year YYYY] [--modification TEXT]"
    " [--name TEXT] [--record-info FILE.toml] [--protocol FILE.pdf] [--allow-password-in-url]"
    " [--db-timeout SECONDS]]";

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
    if (a == "--db-timeout") {
        const std::optional<double> seconds =
            i + 1 < argc ? MachineNumberOf(QString::fromLocal8Bit(argv[i + 1])) : std::nullopt;
        if (!seconds || !(*seconds > 0) || *seconds > 3600) return false;
        o.dbTimeoutS = *seconds;
        ++i;
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
    explicit Impl(verify::ProgressSink* display) : verdict(display), split(writer, display) {}
    std::unique_ptr<QGuiApplication> app;  // first made, last gone
    // Every call of the database is made on this thread, the store opened there.
    WriterThread writer;
    std::unique_ptr<RecordStore> store = std::make_unique<RecordStore>();
    std::unique_ptr<RunRecorder> recorder;
    VerdictSink verdict;
    SplitSink split;
    std::chrono::milliseconds limit{35000};
    bool abandoned = false;  // the database did not answer in time
    std::mutex stopLock;
    std::function<void()> stop;  // guarded by stopLock; the run's, while it lasts
    void Stop() {
        std::lock_guard<std::mutex> guard(stopLock);
        if (stop) stop();
    }
    qint64 id = 0;
    std::string protocol;
};

VerifyRecording::VerifyRecording() = default;

VerifyRecording::~VerifyRecording() {
    if (!m) return;
    // The writer's task may still use anything here once it returns.
    if (m->abandoned) {
        (void)m.release();
        return;
    }
    // What the writer holds is freed on its own thread; a writer held by a
    // silent database keeps all of it to the end of the process.
    m->writer.Post([this] {
        m->recorder.reset();
        m->store.reset();
    });
    if (!Drain()) (void)m.release();
}

verify::ProgressSink* VerifyRecording::Sink() { return &m->split; }

void VerifyRecording::SafeChecked(const std::string& problem) { m->split.Close(problem); }

void VerifyRecording::SetStop(std::function<void()> stop) {
    std::lock_guard<std::mutex> guard(m->stopLock);
    m->stop = std::move(stop);
}

bool VerifyRecording::Lost() const { return !m->abandoned && m->recorder->Spool() != nullptr; }

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
    r->m = std::make_unique<Impl>(next);
    r->m->limit = std::chrono::milliseconds(static_cast<long long>(o.dbTimeoutS * 1000));
    // A database call that takes longer than the limit stops the run at
    // once; the record's fate is told at its end.
    Impl* impl = r->m.get();
    r->m->writer.SetOverdue(r->m->limit, [impl] { impl->Stop(); });
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
    // Opened and begun on the writer's thread, which makes every later call.
    const auto begin = [&]() -> bool {
        if (!r->m->store->Open(RecordsDbUrl(QString(), QString::fromStdString(o.db)))) {
            error = r->m->store->LastError().toStdString();
            return false;
        }
        for (const QString& note : r->m->store->SpoolNotes())
            std::fprintf(stderr, "yukt-verify: %s\n", note.toLocal8Bit().constData());
        // Fields not given on the command line are those of the last record.
        const Conditions given = record.info.conditions;
        record.module.model = QString::fromStdString(plan.model);
        record.info = LoadLastInfo(*r->m->store, record.module.model, RecordStore::Workstation());
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
                return false;
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
            return false;
        }
        // A run starts only on settings that were read and that the registry accepts.
        const std::optional<LabSettings> lab = LabSettings::Load(*r->m->store);
        if (!lab) {
            error = r->m->store->LastError().toStdString();
            return false;
        }
        QString registerError;
        const std::optional<QList<LabReference>> references =
            LoadReferences(*r->m->store, &registerError);
        if (!references) {
            error = registerError.toStdString();
            return false;
        }
        if (const QStringList missing = MissingBesideRegister(MissingLabSettings(*lab), *references);
            !missing.isEmpty()) {
            error = ("в настройках лаборатории не заполнено: " + missing.join("; ") +
                     " (yukt-records settings или «Настройки…» в журнале)")
                        .toStdString();
            return false;
        }
        record.lab = lab->Snapshot();
        // Every quantity the plan measures needs a reference valid today.
        const std::optional<ReferenceGate> gate =
            GateRecord(*r->m->store, plan, QDate::currentDate(), record, &registerError);
        if (!gate) {
            error = registerError.toStdString();
            return false;
        }
        for (const QString& warning : gate->warnings)
            std::fprintf(stderr, "yukt-verify: предупреждение: %s\n", warning.toLocal8Bit().constData());
        if (!gate->Passed()) {
            error = (gate->refusals.join("; ") +
                     " (yukt-records references renew или references add)")
                        .toStdString();
            return false;
        }
        record.program = RunningProgram();
        // Offered again to the next run; a database that fails here would fail
        // the record too, so nothing is begun.
        if (!SaveLastInfo(*r->m->store, record.module.model, record.info, RecordStore::Workstation()) ||
            !r->m->store->Begin(record)) {
            error = r->m->store->LastError().toStdString();
            return false;
        }
        r->m->id = record.id;
        r->m->protocol = o.protocol;
        r->m->recorder =
            std::make_unique<RunRecorder>(*r->m->store, record.id, QString(), &r->m->verdict);
        r->m->recorder->SetPlan(plan);
        r->m->recorder->SetStop([impl] { impl->Stop(); });
        r->m->split.SetRecorder(r->m->recorder.get());
        return true;
    };
    bool begun = false;
    r->m->writer.Post([&] { begun = begin(); });
    if (!r->Drain()) {
        r->m->abandoned = true;
        error = NoAnswer(r->m->limit);
        // The writer's task still holds it.
        (void)r.release();
        return nullptr;
    }
    if (!begun) return nullptr;
    return r;
}

std::string VerifyRecording::Finish() {
    m->split.Close({});
    std::string problem;
    std::optional<Record> record;
    m->writer.Post([&] {
        // The database is not touched again: the spool keeps the record's end.
        if (const PointSpool* spool = m->recorder->Spool()) {
            if (!spool->Error().isEmpty())
                problem = "база данных записей недоступна (" + m->recorder->Error().toStdString() +
                          "), и точки не сохранены: " + spool->Error().toStdString();
            return;
        }
        record = m->store->Load(m->id);
        if (record && record->state == RecordState::Open) {
            m->store->Close(m->id, kInterrupted);
            record = m->store->Load(m->id);
        }
        if (!m->recorder->Error().isEmpty())
            problem = m->recorder->Error().toStdString();
        else if (!record)
            problem = m->store->LastError().toStdString();
    });
    if (!Drain()) {
        // What the operator is told must not claim more than the database
        // may hold: the closing may or may not have reached it.
        m->abandoned = true;
        verify::RunResult shown = m->split.Run();
        shown.verdict = verify::RunVerdict::Interrupted;
        m->verdict.ShowInstead(shown);
        return NoAnswer(m->limit) + QStringLiteral(
                   "; поверка остановлена, исход записи № %1 неизвестен: проверьте её в журнале "
                   "(запись, оставшаяся открытой, закроется «прервано» при следующем открытии базы)")
                   .arg(m->id)
                   .toStdString();
    }
    if (!problem.empty() || m->recorder->Spool() != nullptr) return problem;
    QString error;
    if (!m->protocol.empty() &&
        !WriteProtocolPdf(*record, QString::fromStdString(m->protocol), &error))
        return error.toStdString();
    return {};
}

bool VerifyRecording::Abandoned() const { return m->abandoned; }

// Waits while the database answers: only a call that overruns the limit
// gives up.
bool VerifyRecording::Drain() {
    while (!m->writer.WaitIdle(std::chrono::milliseconds(50)))
        if (m->writer.Stuck()) return false;
    return true;
}

}  // namespace yukt::records
