#include "app/verification_session.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "app/ru_numbers.h"
#include "common/text.h"
#include "records/lab_settings.h"
#include "records/program_ident.h"
#include "records/record_store.h"
#include "records/run_recorder.h"
#include "verify/procedure_library.h"

namespace yukt {

using namespace verify;
using records::RecordPoint;

namespace {

bool isCurrent(Quantity q) { return q == Quantity::Current || q == Quantity::GeneratorCurrent; }

QString valueText(Quantity q, double v) {
    return RuFloat(v) + QStringLiteral(" ") + QString::fromUtf8(QuantityUnit(q));
}

}  // namespace

TVerificationSession::TVerificationSession(SessionHooks hooks, QObject* parent)
    : QObject(parent), m_hooks(std::move(hooks)) {
    setObjectName("VerificationSession");
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        if (Running()) Apply(m_run->Tick(Now()));
    });
    m_clock.start();
}

TVerificationSession::~TVerificationSession() {
    if (RecordOpen()) m_store->Close(m_recordId, records::kInterrupted);
}

void TVerificationSession::SetModule(const SessionModule& module) { m_module = module; }

int TVerificationSession::ChannelItem() const {
    return m_hooks.channelItem ? m_hooks.channelItem() : 0;
}

// ---- The record ----

bool TVerificationSession::OpenStore(const QString& url, QString& error) {
    if (m_store) return true;
    auto store = std::make_unique<records::RecordStore>();
    if (!store->Open(url)) {
        error = store->LastError();
        return false;
    }
    m_store = std::move(store);
    return true;
}

records::RecordInfo TVerificationSession::LastInfo() const {
    return m_store ? records::LoadLastInfo(*m_store) : records::RecordInfo{};
}

bool TVerificationSession::BeginRecord(const records::RecordInfo& info, QString& error) {
    if (RecordOpen()) return true;
    if (!m_store) {
        error = QStringLiteral("журнал поверок не открыт");
        return false;
    }
    records::SaveLastInfo(*m_store, info);
    records::Record record;
    record.info = info;
    record.module.model = m_module.model;
    record.module.designation = m_module.designation;
    record.module.identText = m_module.ident;
    record.module.flashAddress = m_module.flashAddress;
    record.module.flashBefore = m_module.flashBefore;
    record.lab = records::LabSettings::Load(*m_store).Snapshot();
    record.program = records::RunningProgram();
    if (!m_store->Begin(record)) {
        error = m_store->LastError();
        return false;
    }
    m_recordId = record.id;
    emit recordChanged();
    return true;
}

bool TVerificationSession::CloseRecord(QString& error) {
    if (!RecordOpen()) return true;
    // The verdict is closed even should the FLASH values not be stored.
    bool ok = m_store->SetFlashAfter(m_recordId, m_hooks.flashAfter ? m_hooks.flashAfter() : "");
    ok = m_store->Close(m_recordId) && ok;
    if (!ok) error = m_store->LastError();
    m_recordId = 0;
    emit recordChanged();
    return ok;
}

bool TVerificationSession::StoreReading(QString& why, RecordPoint* stored) {
    if (!RecordOpen()) {
        why = QStringLiteral("Запись о поверке не начата.");
        return false;
    }
    if (!m_reading) {
        why = QStringLiteral("Нет измеренного значения.");
        return false;
    }
    const PageReading& r = *m_reading;
    // A reading made under an earlier setting (a manual value replaced by a
    // run's safe value, a "Пуск" since) is not a point of what is set now.
    if (!m_generator.on) {
        why = QStringLiteral(
            "Точка не записана: генератор не выдает заданного значения.\n\rЗадайте значение "
            "и нажмите \"Пуск\".");
        return false;
    }
    if (r.generatorSerial != m_generator.serial || r.reference != m_generator.value ||
        r.quantity != m_generator.quantity) {
        why = QStringLiteral("Точка не записана: показание получено при эталоне ") +
              valueText(r.quantity, r.reference) + QStringLiteral(", а генератор выдает ") +
              valueText(m_generator.quantity, m_generator.value) +
              QStringLiteral(".\n\rДождитесь показания при этом значении.");
        return false;
    }
    RecordPoint point;
    point.nominal = r.nominal;
    point.reference = r.reference;
    point.measured = r.measured;
    point.readings = {r.measured};
    point.channel = QString::number(r.channelItem);
    point.unit = records::UnitOf(r.quantity);
    point.manual = true;
    Judge(point, r);
    point.measuredAt = QDateTime::currentDateTimeUtc();
    if (!m_store->AddPoint(m_recordId, point)) {
        why = QStringLiteral("Точка не записана:\n\r") + m_store->LastError();
        return false;
    }
    if (stored) *stored = point;
    return true;
}

// The limit is the procedure's for this module kind and channel; without one
// the point is kept with the error the page shows, but it cannot count as
// passed.
void TVerificationSession::Judge(RecordPoint& point, const PageReading& r) const {
    std::string error;
    const std::string dir = EnsureUserProcedures(UserProcedureDir(), ShippedProcedureDir(), error);
    std::vector<ProcedureError> mistakes;
    std::vector<ProcedureChoice> choices;
    if (!dir.empty()) choices = ProceduresFor(dir, m_module.kind, r.channelItem, mistakes);
    const Procedure* fit = nullptr;
    for (const ProcedureChoice& c : choices)
        if (c.procedure.quantity == r.quantity) {
            fit = &c.procedure;
            break;
        }
    const ErrorKind kind = fit ? fit->errorKind : r.shownKind;
    const MeasureErrors e = CalcErrors(fit ? fit->range : r.shownRange, r.measured, r.reference);
    point.errorKind = QString::fromUtf8(ErrorKindWord(kind));
    point.error = kind == ErrorKind::Abs ? e.abs : kind == ErrorKind::Rel ? e.rel : e.red;
    if (fit) {
        point.procedure = QString::fromStdString(fit->title);
        point.limit = fit->limit;
        point.result =
            std::fabs(point.error) <= fit->limit ? QStringLiteral("pass") : QStringLiteral("fail");
    } else {
        point.procedure = QStringLiteral("Ручное измерение");
        point.result = QStringLiteral("not measured");
        point.reason = QStringLiteral("нет допуска");
    }
}

// ---- The generator and the page's reading ----

void TVerificationSession::SetGenerator(Quantity q, double value, bool on) {
    m_generator.quantity = q;
    m_generator.value = value;
    m_generator.on = on;
    ++m_generator.serial;
    m_generator.ticket = m_hooks.commandsQueued ? m_hooks.commandsQueued() : 0;
    emit generatorChanged();
}

void TVerificationSession::SetReading(PageReading reading) {
    reading.generatorSerial = m_generator.serial;
    m_reading = reading;
}

// ---- The automatic run ----

bool TVerificationSession::StartRun(const Procedure& p) {
    if (Running()) return false;
    m_recorder.reset();
    if (RecordOpen())
        m_recorder = std::make_unique<records::RunRecorder>(
            *m_store, m_recordId, records::UnitOf(p.quantity), nullptr, false);
    m_stopped = false;
    m_run = std::make_unique<VerificationRun>(p, RunSetup{m_module.kind, m_module.quartzKHz},
                                              static_cast<ProgressSink*>(this));
    emit runStarted(p);
    if (m_hooks.lockPage) m_hooks.lockPage(true);
    Apply(m_run->Start(Now()));
    return true;
}

void TVerificationSession::StopRun() {
    if (!Running()) return;
    m_stopped = true;
    Apply(m_run->Stop(Now()));
}

void TVerificationSession::Reply(const QString& line) {
    if (Running()) Apply(m_run->Reply(line.toStdString(), Now()));
}

QString TVerificationSession::RecorderError() const {
    return m_recorder ? m_recorder->Error() : QString();
}

double TVerificationSession::Now() const {
    return static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
}

void TVerificationSession::Apply(const Actions& a) {
    if (m_hooks.queueCommand)
        for (const std::string& c : a.commands) m_hooks.queueCommand(c);
    if (a.finished) {
        m_wake.stop();
        if (m_hooks.lockPage) m_hooks.lockPage(false);
        // The run's last commands leave the generator at its safe value:
        // that is what the page shows and measures against from now on.
        const Procedure& p = m_run->Proc();
        if (isCurrent(p.quantity))
            SetGenerator(p.quantity, p.safeValue, true);
        else
            SetGenerator(p.quantity, 0, false);
        return;
    }
    if (a.wakeAt >= 0) {
        const double ms = std::max(0.0, (a.wakeAt - Now()) * 1000.0);
        m_wake.start(static_cast<int>(std::ceil(ms)));
    }
}

void TVerificationSession::PointStarted(int index, int count, double nominal) {
    const Procedure& p = m_run->Proc();
    if (isCurrent(p.quantity))
        SetGenerator(p.quantity, nominal, true);
    else if (p.quantity == Quantity::Frequency)
        SetGenerator(p.quantity, ReferenceFrequency(nominal, m_module.quartzKHz), true);
    else
        SetGenerator(p.quantity, nominal, false);
    emit pointStarted(index, count, nominal);
}

void TVerificationSession::PointFinished(const PointResult& point) {
    if (m_recorder) m_recorder->PointFinished(point);
    emit pointFinished(point, m_run->Proc().quantity);
}

// The points a run never reached are listed as not measured, so that its
// record says what is missing rather than only the point it stopped at.
void TVerificationSession::RunFinished(const RunResult& run) {
    const Procedure& p = m_run->Proc();
    for (std::size_t i = run.results.size(); i < p.points.size(); ++i) {
        PointResult missing;
        missing.index = static_cast<int>(i) + 1;
        missing.nominal = p.points[i];
        missing.reference = p.points[i];
        missing.errorKind = p.errorKind;
        missing.limit = p.limit;
        missing.procedure = p.title;
        missing.channel = std::to_string(p.channel);
        missing.doc = p.doc;
        missing.reason = m_stopped ? "остановлено" : "прогон прекращен";
        PointFinished(missing);
    }
    emit runFinished(run);
}

}  // namespace yukt
