#include "app/verification_session.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cmath>

#include "app/methodology_library.h"
#include "records/ru_format.h"
#include "common/text.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/background_recorder.h"
#include "records/point_spool.h"
#include "records/program_ident.h"
#include "records/record_store.h"
#include "records/run_recorder.h"
#include "instrument/module_set.h"
#include "verify/bench_check.h"
#include "verify/line_policy.h"
#include "verify/procedure_library.h"
#include "verify/software_ident.h"
#include "verify/uncertainty.h"

namespace yukt {

using namespace verify;
using records::RecordPoint;

namespace {

bool isCurrent(Quantity q) { return q == Quantity::Current || q == Quantity::GeneratorCurrent; }

bool contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

QString valueText(Quantity q, double v) {
    return records::RuShort(v) + QStringLiteral(" ") + QString::fromUtf8(QuantityUnit(q));
}

}  // namespace

QString ItemStateText(ItemState s) {
    switch (s) {
        case ItemState::Running:
            return QStringLiteral("идёт");
        case ItemState::Pass:
            return QStringLiteral("годен");
        case ItemState::Fail:
            return QStringLiteral("не годен");
        case ItemState::NotMeasured:
            return QStringLiteral("не измерена");
        default:
            return QStringLiteral("не начата");
    }
}

TVerificationSession::TVerificationSession(SessionHooks hooks, QObject* parent)
    : QObject(parent), m_hooks(std::move(hooks)) {
    setObjectName("VerificationSession");
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        if (Running()) Apply(m_run->Tick(Now()));
    });
    m_clock.start();
    m_safeTimer.setSingleShot(true);
    connect(&m_safeTimer, &QTimer::timeout, this, [this] {
        m_safe.Expire();
        SafeDone();
    });
    m_library = new TMethodologyLibrary(this);
    // A methodology edited while the module is verified counts from the
    // next plan; a plan already attempted stays the one the record has.
    connect(m_library, &TMethodologyLibrary::reloaded, this, [this] {
        if (m_attempts.empty() && !Running()) Replan();
    });
}

TVerificationSession::~TVerificationSession() {
    // The run's points reach the record before its closing.
    SettleRecorder(false);
    m_recorder.reset();
    if (RecordOpen()) m_store->Close(m_recordId, records::kInterrupted, m_safeProblems);
}

void TVerificationSession::SetModule(const SessionModule& module) {
    m_module = module;
    m_attempts.clear();
    if (m_libraryRead) Replan();
}

// ---- The methodology and the plan ----

TMethodologyLibrary& TVerificationSession::Library() {
    if (!m_libraryRead) {
        m_libraryRead = true;
        std::string error;
        const std::string dir =
            EnsureUserMethodologies(UserMethodologyDir(), ShippedMethodologyDir(), error);
        m_library->Load(QString::fromStdString(dir.empty() ? UserMethodologyDir() : dir));
        if (dir.empty()) m_planProblem = QString::fromStdString(error);
        Replan();
    }
    return *m_library;
}

void TVerificationSession::Replan() {
    m_plan.reset();
    const std::string model = ModelCodeOfKind(m_module.kind);
    const Methodology* m = m_library->For(model);
    if (m == nullptr) {
        m_planProblem = QStringLiteral("Нет методики поверки для модуля ") +
                        QString::fromStdString(model) + QStringLiteral(" в папке ") +
                        m_library->Dir();
        for (const QString& mistake : m_library->Mistakes()) m_planProblem += "\n" + mistake;
    } else {
        std::string error;
        m_plan = Expand(*m, ModuleUnderTest{model, m_module.kind, 0}, error);
        m_planProblem = QString::fromStdString(error);
    }
    emit planChanged();
}

const Plan* TVerificationSession::ThePlan() {
    Library();
    return m_plan ? &*m_plan : nullptr;
}

ItemState TVerificationSession::StateOf(int item) const {
    if (Running() && contains(m_running, item)) return ItemState::Running;
    const Attempt* latest = nullptr;
    for (const Attempt& a : m_attempts)
        if (a.item == item && (latest == nullptr || a.number >= latest->number)) latest = &a;
    if (latest == nullptr) return ItemState::NotStarted;
    return latest->result == PointVerdict::Pass   ? ItemState::Pass
           : latest->result == PointVerdict::Fail ? ItemState::Fail
                                                  : ItemState::NotMeasured;
}

VerdictResult TVerificationSession::PlanVerdict() {
    const Plan* plan = ThePlan();
    return plan ? Verdict(*plan, m_attempts) : VerdictResult{};
}

std::vector<int> TVerificationSession::ItemsOfSelector(int selectorItem) {
    std::vector<int> items;
    if (const Plan* plan = ThePlan())
        for (const PlanItem& it : plan->items)
            if (it.kind == OperationKind::Error &&
                ItemOf(it.quantity, m_module.kind, it.channel) == selectorItem)
                items.push_back(it.item);
    return items;
}

int TVerificationSession::ChannelItem() const {
    return m_hooks.channelItem ? m_hooks.channelItem() : 0;
}

// ---- The record ----

bool TVerificationSession::OpenStore(const QString& url, QString& error, QStringList* notes) {
    if (m_store && !m_storeLost) return true;
    auto store = std::make_unique<records::RecordStore>();
    if (!store->Open(url)) {
        error = store->LastError();
        return false;
    }
    if (notes) *notes = store->SpoolNotes();
    m_store = std::move(store);
    m_storeLost = false;
    return true;
}

records::RecordInfo TVerificationSession::LastInfo() const {
    return m_store && !m_storeLost
               ? records::LoadLastInfo(*m_store, m_module.model, records::RecordStore::Workstation())
               : records::RecordInfo{};
}

bool TVerificationSession::BeginRecord(const records::RecordInfo& info, QString& error) {
    if (RecordOpen()) return true;
    if (!m_store || m_storeLost) {
        error = QStringLiteral("журнал поверок не открыт");
        return false;
    }
    if (!records::SaveLastInfo(*m_store, m_module.model, info,
                               records::RecordStore::Workstation())) {
        error = m_store->LastError();
        return false;
    }
    const std::optional<records::LabSettings> lab = records::LabSettings::Load(*m_store);
    if (!lab) {
        error = m_store->LastError();
        return false;
    }
    records::Record record;
    record.info = info;
    record.module.model = m_module.model;
    record.module.designation = m_module.designation;
    record.module.identText = m_module.ident;
    record.module.flashAddress = m_module.flashAddress;
    record.module.flashBefore = m_module.flashBefore;
    // The identification the module (both modules of a composite) gave, as
    // a headless run records it: the protocol's software item shows it.
    record.softwareFound = QString::fromStdString(
        CheckSoftware(m_module.ident.toStdString(), m_module.identSecond.toStdString(), {}).found);
    record.lab = lab->Snapshot();
    record.program = records::RunningProgram();
    m_referenceWarnings.clear();
    if (const Plan* plan = ThePlan()) {
        records::FillMethodology(record, *plan);
        // Every quantity the plan measures needs a reference valid today.
        const std::optional<records::ReferenceGate> gate =
            records::GateRecord(*m_store, *plan, QDate::currentDate(), record, &error);
        if (!gate) return false;
        if (!gate->Passed()) {
            error = gate->refusals.join('\n');
            return false;
        }
        m_referenceWarnings = gate->warnings;
    }
    if (!m_store->Begin(record)) {
        error = m_store->LastError();
        return false;
    }
    m_recordId = record.id;
    m_safeProblems.clear();
    emit recordChanged();
    return true;
}

void TVerificationSession::CloseRecord(QString& warning) {
    warning.clear();
    SettleRecorder();
    if (!RecordOpen()) return;
    // The verdict is closed even should the FLASH values not be stored.
    const QString flashError =
        m_store->SetFlashAfter(m_recordId, m_hooks.flashAfter ? m_hooks.flashAfter() : "")
            ? QString()
            : m_store->LastError();
    if (!m_store->Close(m_recordId, {}, m_safeProblems)) {
        warning = ToSpool(nullptr);
        return;
    }
    m_safeProblems.clear();
    if (!flashError.isEmpty())
        warning =
            QStringLiteral("Запись о поверке № %1 закрыта без значений FLASH после поверки:\n\r")
                .arg(m_recordId) +
            flashError;
    m_recordId = 0;
    emit recordChanged();
}

void TVerificationSession::AbandonRecord() {
    m_recordId = 0;
    m_storeLost = true;
    emit recordChanged();
}

// The database failed under the open record: it ends "прервано" in the local
// spool with the point it did not take, is written back at the next opening,
// and the verification goes on without a record.
QString TVerificationSession::ToSpool(const RecordPoint* point) {
    const QString error = m_store->LastError();
    const QString why = QStringLiteral("база данных записей недоступна: ") + error;
    records::PointSpool spool(*m_store, m_recordId, why);
    const bool kept =
        (point == nullptr || spool.Keep(*point)) && spool.End(records::kInterrupted, {why});
    const QString text =
        QStringLiteral("Запись о поверке № %1 прервана, база данных записей недоступна:\n\r")
            .arg(m_recordId) +
        error +
        (kept ? QStringLiteral("\n\rЕё окончание сохранено в %1 и будет записано, когда база "
                               "данных снова откроется.")
                    .arg(spool.Path())
              : QStringLiteral("\n\rОкончание записи не сохранено: ") + spool.Error());
    AbandonRecord();
    return text;
}

bool TVerificationSession::StoreReading(QString& why, RecordPoint* stored) {
    SettleRecorder();
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
    bool samePoint = false;
    const PlanItem* it = ItemOfReading(r, samePoint);
    PointResult p;
    p.nominal = r.nominal;
    p.reference = r.reference;
    p.measured = r.measured;
    p.readings = {r.measured};
    // The channel as printed on the module, whatever the page's selector.
    p.channelNo = ChannelOfItem(r.quantity, m_module.kind, r.channelItem);
    p.channel = p.channelNo > 0 ? std::to_string(p.channelNo) : std::string();
    RecordPoint point;
    if (it == nullptr) {
        // Without a tolerance the point is kept with the error the page
        // shows, but it can never count as passed.
        const MeasureErrors e = CalcErrors(r.shownRange, r.measured, r.reference);
        p.errorKind = r.shownKind;
        p.error = r.shownKind == ErrorKind::Abs ? e.abs : r.shownKind == ErrorKind::Rel ? e.rel : e.red;
        p.procedure = "Ручное измерение";
        p.reason = "нет допуска";
        point = records::ToRecordPoint(p, QString::fromUtf8(QuantityUnit(r.quantity)));
    } else {
        const Judgement j = JudgePoint(it->tolerance, r.reference, r.measured);
        p.errorKind = ErrorKindOf(it->tolerance.kind);
        p.error = j.error;
        p.limit = j.limit;
        p.result = j.result;
        p.procedure = it->title;
        p.operation = it->operation;
        p.channelNo = it->channel;
        p.item = samePoint ? it->item : 0;
        p.resolution = it->tolerance.resolution;
        // A point of the plan owes the reference what a run's point does, and
        // the plan's rule decides it alike.
        if (samePoint) {
            const Decided d = DecidePlanPoint(*ThePlan(), *it, j, m_module.quartzKHz, p);
            p.result = d.result;
            p.marginal = d.marginal;
            p.reason = d.reason;
        }
        Attempt a;
        a.item = it->item;
        a.point = p;
        a.result = p.result;
        for (const Attempt& e : m_attempts)
            if (e.item == a.item) a.number = std::max(a.number, e.number + 1);
        point = records::ToRecordPoint(*it, a);
        // A value between the plan's points is kept with the tolerance but
        // is no attempt at any item; the reference's share is known only at
        // the plan's points.
        if (!samePoint) {
            point.item = point.attempt = 0;
            point.hasU = false;
            point.refRatio = 0;
        }
    }
    point.manual = true;
    point.measuredAt = QDateTime::currentDateTimeUtc();
    if (!m_store->AddPoint(m_recordId, point)) {
        why = ToSpool(&point);
        return false;
    }
    if (it != nullptr && samePoint) {
        Attempt a;
        a.item = point.item;
        a.number = point.attempt;
        a.point = p;
        a.result = p.result;
        m_attempts.push_back(a);
        emit itemChanged(a.item);
    }
    if (stored) *stored = point;
    return true;
}

const PlanItem* TVerificationSession::ItemOfReading(const PageReading& r, bool& samePoint) {
    samePoint = false;
    const Plan* plan = ThePlan();
    if (plan == nullptr) return nullptr;
    const int channel = ChannelOfItem(r.quantity, m_module.kind, r.channelItem);
    const PlanItem* any = nullptr;
    for (const PlanItem& it : plan->items) {
        if (it.kind != OperationKind::Error || it.quantity != r.quantity || it.channel != channel)
            continue;
        if (it.nominal == r.nominal) {
            samePoint = true;
            return &it;
        }
        if (any == nullptr) any = &it;
    }
    return any;
}

// ---- The generator and the page's reading ----

void TVerificationSession::SetGenerator(Quantity q, double value, bool on,
                                        const QString& unconfirmed) {
    m_generator.quantity = q;
    m_generator.value = value;
    m_generator.on = on;
    m_generator.unconfirmed = unconfirmed;
    ++m_generator.serial;
    m_generator.ticket = m_hooks.commandsQueued ? m_hooks.commandsQueued() : 0;
    emit generatorChanged();
}

void TVerificationSession::SetReading(PageReading reading) {
    reading.generatorSerial = m_generator.serial;
    m_reading = reading;
}

// ---- The automatic run ----

bool TVerificationSession::StartPlanRun(const std::vector<int>& items) {
    const Plan* plan = ThePlan();
    if (Running() || plan == nullptr || !BenchAnswers(*plan)) return false;
    RunSetup setup;
    setup.kind = m_module.kind;
    setup.quartzKHz = m_module.quartzKHz;
    setup.identFirst = m_module.ident.toStdString();
    setup.identSecond = m_module.identSecond.toStdString();
    auto run = std::make_unique<VerificationRun>(*plan, setup, static_cast<ProgressSink*>(this),
                                                 items, m_attempts);
    const QString title = QStringLiteral("%1, редакция %2: %3")
                              .arg(QString::fromStdString(plan->methodologyId))
                              .arg(plan->revision)
                              .arg(items.empty() ? QStringLiteral("весь модуль")
                                                 : QStringLiteral("пунктов %1").arg(items.size()));
    return Begin(std::move(run), title, true, items);
}

bool TVerificationSession::StartRun(const Methodology& m, QString* error) {
    if (Running()) return false;
    std::string why;
    std::optional<Plan> plan = Expand(m, ModuleUnderTest{"", m_module.kind, 0}, why);
    if (!plan) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    if (!BenchAnswers(*plan)) {
        if (error) *error = m_startProblem;
        return false;
    }
    RunSetup setup;
    setup.kind = m_module.kind;
    setup.quartzKHz = m_module.quartzKHz;
    auto run = std::make_unique<VerificationRun>(std::move(*plan), setup,
                                                 static_cast<ProgressSink*>(this));
    return Begin(std::move(run), QString::fromStdString(m.title + " (" + m.id + ")"), false, {});
}

// Only a bench whose modules answered can judge the module: the run does
// not begin, and the record gets nothing from it.
bool TVerificationSession::BenchAnswers(const Plan& plan) {
    m_startProblem = QString::fromStdString(BenchNotReady(TheModuleSet(), plan, m_module.kind));
    if (m_startProblem.isEmpty()) return true;
    emit runRefused(m_startProblem);
    return false;
}

bool TVerificationSession::Begin(std::unique_ptr<VerificationRun> run, const QString& title,
                                 bool ofPlan, std::vector<int> items) {
    // The previous run's points are in the record (or it was given up on)
    // before this run adds its own after them.
    SettleRecorder();
    m_recorder.reset();
    m_recorderSettled = true;
    if (RecordOpen()) {
        m_recorder = std::make_unique<records::BackgroundRecorder>(*m_store, m_recordId,
                                                                   run->ThePlan(), m_recordLimit);
        m_recorderSettled = false;
        const int serial = ++m_recorderRun;
        m_recorder->SetSettled([this, serial] {
            QMetaObject::invokeMethod(
                this, [this, serial] { RecorderSettled(serial, true); }, Qt::QueuedConnection);
        });
        // A lost database stops the run from the event loop (the recorder
        // reports from its own thread).
        m_recorder->SetStop([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (Running()) Apply(m_run->Stop(Now()));
                },
                Qt::QueuedConnection);
        });
    }
    m_stopped = false;
    m_runOfPlan = ofPlan;
    m_runItems = std::move(items);
    m_runAttempted.clear();
    m_running.clear();
    m_run = std::move(run);
    // A line fault is tried again, spread to outlast a short one.
    UseLineAttempts();
    SpreadLineAttempts(m_run->ThePlan());
    m_safe = SafeCheck();
    m_safeTimer.stop();
    m_lineProblem.clear();
    emit runStarted(title);
    if (m_hooks.lockPage) m_hooks.lockPage(true);
    Apply(m_run->Start(Now()));
    return true;
}

void TVerificationSession::Answer(verify::Answer answer, const QString& remark) {
    if (Running()) Apply(m_run->Answer(answer, remark.toStdString(), Now()));
}

void TVerificationSession::StopRun() {
    if (!Running()) return;
    m_stopped = true;
    CutLineWaits();
    Apply(m_run->Stop(Now()));
}

void TVerificationSession::Reply(const QString& line, const QString& lineFault) {
    if (!Running()) {
        if (m_safe.Waiting()) SafeReply(line);
        return;
    }
    const std::string text = line.toStdString();
    // A line fault of a module the run does not wait for (the meter beside
    // a 745t under test) changes nothing.
    if (lineFault.isEmpty() || !m_run->WaitsFor(text)) {
        Apply(m_run->Reply(text, Now()));
        return;
    }
    // Nothing the module said: the run ends with the reason, the points
    // measured so far kept, and the generators go to their safe values.
    m_lineProblem = lineFault;
    Apply(m_run->LineLost(lineFault.toStdString(), Now()));
    emit lineLost(lineFault);
}

QString TVerificationSession::LineFaultOf(const std::string& line) {
    return QString::fromStdString(LineLostReason(TheModuleSet(), line));
}

void TVerificationSession::SafeReply(const QString& line) {
    m_safe.Reply(line.toStdString());
    if (!m_safe.Waiting()) SafeDone();
}

void TVerificationSession::SafeDone() {
    m_safeTimer.stop();
    if (m_safe.Confirmed()) return;
    const QString problem = QString::fromStdString(m_safe.Problem());
    if (!m_safeProblems.contains(problem)) m_safeProblems << problem;
    // Neither the page nor a hand point may take the safe value for what
    // the generator puts out.
    SetGenerator(m_generator.quantity, m_generator.value, false, problem);
    emit safeNotConfirmed(problem);
}

QString TVerificationSession::RecorderError() const {
    return m_recorder && m_recorderSettled ? m_recorder->Error() : QString();
}

const records::PointSpool* TVerificationSession::RunSpool() const {
    return m_recorder && m_recorderSettled ? m_recorder->Spool() : nullptr;
}

bool TVerificationSession::RecordPending() const { return m_recorder && !m_recorderSettled; }

// Bounded by the recorder's limit, past which the record is given up on;
// the window goes on painting (and the page polling) meanwhile, the
// operator's input waits.
void TVerificationSession::SettleRecorder(bool tell) {
    if (!m_recorder || m_recorderSettled) return;
    while (!m_recorder->Settle(std::chrono::milliseconds(50)) && !m_recorder->GaveUp())
        if (tell) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    RecorderSettled(m_recorderRun, tell);
}

// A record whose points went to the local spool ends there "прервано", one
// the database never answered for is left to it; either way the next record
// opens the database anew. Otherwise the window's connection goes on from
// the point number the run reached.
void TVerificationSession::RecorderSettled(int run, bool tell) {
    if (run != m_recorderRun || m_recorderSettled || !m_recorder) return;
    m_recorderSettled = true;
    if (m_recorder->GaveUp() || m_recorder->Spool()) {
        if (RecordOpen()) {
            m_recordId = 0;
            m_storeLost = true;
            if (tell) emit recordChanged();
        }
    } else if (const std::optional<int> seq = m_recorder->LastPointSeq(); seq && RecordOpen()) {
        m_store->SetLastPointSeq(m_recordId, *seq);
    }
    if (tell) emit recordSettled();
}

double TVerificationSession::Now() const {
    return static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
}

void TVerificationSession::Apply(const Actions& a) {
    // At the end the generators go to their safe values at once, then each
    // is read back within kSafeWaitS.
    if (a.finished) CutLineWaits();
    const std::vector<std::string> commands = a.finished ? m_safe.Begin(a.commands) : a.commands;
    for (const std::string& c : commands) {
        m_safe.Sent(c);
        if (m_hooks.queueCommand) m_hooks.queueCommand(c);
    }
    if (a.finished) {
        if (m_safe.Waiting()) m_safeTimer.start(static_cast<int>(kSafeWaitS * 1000));
        m_wake.stop();
        if (m_hooks.lockPage) m_hooks.lockPage(false);
        // The run's last commands leave the generator at its safe value:
        // that is what the page shows and measures against from now on.
        const PlanItem* last = nullptr;
        for (const PlanItem& it : m_run->ThePlan().items)
            if (it.kind == OperationKind::Error && contains(m_runAttempted, it.item)) last = &it;
        if (last && isCurrent(last->quantity))
            SetGenerator(last->quantity, last->safeValue, true);
        else if (last)
            SetGenerator(last->quantity, 0, false);
        return;
    }
    if (a.wakeAt >= 0) {
        const double ms = std::max(0.0, (a.wakeAt - Now()) * 1000.0);
        m_wake.start(static_cast<int>(std::ceil(ms)));
    }
}

// The items a point sets are under way until their attempts end.
void TVerificationSession::PointStarted(int index, int count, double nominal) {
    const PlanItem* set = nullptr;
    for (const PlanItem& it : m_run->ThePlan().items)
        if (it.kind == OperationKind::Error && it.nominal == nominal &&
            (m_runItems.empty() || contains(m_runItems, it.item)) &&
            !contains(m_runAttempted, it.item)) {
            m_running.push_back(it.item);
            if (set == nullptr) set = &it;
            emit itemChanged(it.item);
        }
    if (set && isCurrent(set->quantity))
        SetGenerator(set->quantity, nominal, true);
    else if (set && set->quantity == Quantity::Frequency)
        SetGenerator(set->quantity, ReferenceFrequency(nominal, m_module.quartzKHz), true);
    else if (set)
        SetGenerator(set->quantity, nominal, false);
    emit pointStarted(index, count, nominal);
}

void TVerificationSession::PointFinished(const PointResult& point) {
    if (m_recorder) m_recorder->PointFinished(point);
    Quantity q = Quantity::Current;
    for (const PlanItem& it : m_run->ThePlan().items)
        if (it.item == point.item) q = it.quantity;
    emit pointFinished(point, q);
}

void TVerificationSession::Asked(const Question& q) {
    // What was measured so far is committed while the operator answers.
    if (m_recorder) m_recorder->Asked(q);
    if (q.item > 0) {
        m_running.push_back(q.item);
        emit itemChanged(q.item);
    }
    emit asked(q);
}

void TVerificationSession::AttemptFinished(const PlanItem& item, const Attempt& attempt) {
    if (m_recorder) m_recorder->AttemptFinished(item, attempt);
    m_runAttempted.push_back(item.item);
    m_running.erase(std::remove(m_running.begin(), m_running.end(), item.item), m_running.end());
    if (m_runOfPlan) m_attempts.push_back(attempt);
    if (item.kind != OperationKind::Error) emit operationFinished(item, attempt);
    emit itemChanged(item.item);
}

void TVerificationSession::EventHandled() {
    if (m_recorder) m_recorder->EventHandled();
}

// The items a run never reached are recorded as not measured, so that its
// record says what is missing rather than only the point it stopped at.
void TVerificationSession::RunFinished(const RunResult& run) {
    m_running.clear();
    const Plan& plan = m_run->ThePlan();
    std::vector<Attempt> all = m_runOfPlan ? m_attempts : m_run->Attempts();
    for (const PlanItem& it : plan.items) {
        if ((!m_runItems.empty() && !contains(m_runItems, it.item)) ||
            contains(m_runAttempted, it.item))
            continue;
        Attempt a;
        a.item = it.item;
        for (const Attempt& e : all)
            if (e.item == a.item) a.number = std::max(a.number, e.number + 1);
        a.remark = m_stopped ? "остановлено" : "прогон прекращен";
        a.point.nominal = a.point.reference = it.nominal;
        a.point.item = it.item;
        a.point.channelNo = it.channel;
        a.point.operation = it.operation;
        a.point.procedure = it.title;
        a.point.errorKind = ErrorKindOf(it.tolerance.kind);
        // In the unit of the error, as a measured point's limit is.
        a.point.limit = JudgePoint(it.tolerance, it.nominal, it.nominal).limit;
        a.point.resolution = it.tolerance.resolution;
        a.point.reason = a.remark;
        if (it.kind == OperationKind::Error) emit pointFinished(a.point, it.quantity);
        AttemptFinished(it, a);
        all.push_back(a);
    }
    // The run's end is shown at once; what became of its record is told
    // with recordSettled().
    if (m_recorder) m_recorder->RunFinished(run);
    emit runFinished(run);
}

}  // namespace yukt
