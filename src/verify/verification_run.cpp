#include "verify/verification_run.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "instrument/identify.h"
#include "verify/software_ident.h"
#include "verify/uncertainty.h"

namespace yukt::verify {

namespace {

// A functional check waits this long for the module's answer.
constexpr double kFunctionalTimeoutS = 5;

bool isCurrent(Quantity q) { return q == Quantity::Current || q == Quantity::GeneratorCurrent; }

}  // namespace

VerificationRun::VerificationRun(Plan plan, RunSetup setup, ProgressSink* sink,
                                 std::vector<int> items, std::vector<Attempt> earlier)
    : m_plan(std::move(plan)),
      m_setup(std::move(setup)),
      m_sink(sink),
      m_attempts(std::move(earlier)) {
    BuildSteps(items);
    m_result.points = static_cast<int>(m_plan.items.size());
}

void VerificationRun::BuildSteps(const std::vector<int>& only) {
    std::vector<std::size_t> run;
    for (std::size_t i = 0; i < m_plan.items.size(); ++i)
        if (only.empty() || std::find(only.begin(), only.end(), m_plan.items[i].item) != only.end())
            run.push_back(i);
    m_itemsToRun = static_cast<int>(run.size());
    m_ran.assign(m_plan.items.size(), false);
    for (std::size_t k = 0; k < run.size();) {
        const PlanItem& it = Item(run[k]);
        if (it.kind != OperationKind::Error) {
            const Step::Type t = it.kind == OperationKind::Inspection   ? Step::Manual
                                 : it.kind == OperationKind::Functional ? Step::Functional
                                                                        : Step::Software;
            m_steps.push_back({t, {run[k]}, 0});
            ++k;
            continue;
        }
        // The items of this error operation, per channel in plan order.
        std::vector<int> channels;
        std::vector<std::vector<std::size_t>> perChannel;
        std::size_t end = k;
        for (; end < run.size() && Item(run[end]).kind == OperationKind::Error &&
               Item(run[end]).operation == it.operation;
             ++end) {
            const int c = Item(run[end]).channel;
            if (channels.empty() || channels.back() != c) {
                channels.push_back(c);
                perChannel.emplace_back();
            }
            perChannel.back().push_back(run[end]);
        }
        if (it.connection == Connection::PerChannel) {
            for (std::size_t c = 0; c < channels.size(); ++c) {
                m_steps.push_back({Step::Connect, {}, channels[c]});
                for (std::size_t i : perChannel[c]) m_steps.push_back({Step::Point, {i}, 0});
            }
        } else {
            // Series: the k-th point of every channel at once; channels whose
            // k-th point differs (an override) get a step of their own.
            std::size_t most = 0;
            for (const auto& v : perChannel) most = std::max(most, v.size());
            for (std::size_t p = 0; p < most; ++p) {
                std::vector<Step> steps;
                for (const auto& v : perChannel) {
                    if (p >= v.size()) continue;
                    auto same = std::find_if(steps.begin(), steps.end(), [&](const Step& s) {
                        return Item(s.items.front()).nominal == Item(v[p]).nominal;
                    });
                    if (same == steps.end())
                        steps.push_back({Step::Point, {v[p]}, 0});
                    else
                        same->items.push_back(v[p]);
                }
                m_steps.insert(m_steps.end(), steps.begin(), steps.end());
            }
        }
        k = end;
    }
    for (const Step& s : m_steps) m_pointCount += s.type == Step::Point;
}

int VerificationRun::Percent() const {
    if (m_itemsToRun == 0) return 100;
    return m_itemsDone * 100 / m_itemsToRun;
}

std::optional<Question> VerificationRun::PendingQuestion() const {
    if (m_phase != Phase::Ask) return std::nullopt;
    const Step& s = m_steps[m_step];
    Question q;
    if (s.type == Step::Connect) {
        q.channel = s.channel;
        q.text = "Подключите генератор к каналу " + std::to_string(s.channel);
        // The operation of the channel's first item.
        if (m_step + 1 < m_steps.size() && !m_steps[m_step + 1].items.empty())
            q.operation = Item(m_steps[m_step + 1].items.front()).operation;
    } else {
        const PlanItem& it = Item(s.items.front());
        q.item = it.item;
        q.operation = it.operation;
        q.text = it.title;
    }
    return q;
}

Actions VerificationRun::Start(double now) {
    const EventScope scope{m_sink};
    if (m_phase != Phase::Idle) return {};
    return NextStep(now);
}

Actions VerificationRun::NextStep(double now) {
    if (m_step >= m_steps.size()) return Finish();
    const Step& s = m_steps[m_step];
    Actions a;
    switch (s.type) {
        case Step::Manual:
        case Step::Connect:
            m_phase = Phase::Ask;
            if (m_sink) m_sink->Asked(*PendingQuestion());
            return a;
        case Step::Functional: {
            const std::optional<ReplyRoute> poll = ModulePoll(m_setup.kind);
            if (!poll) {
                Record(s.items.front(), PointVerdict::NotMeasured, "модуль этого вида не опрашивается", nullptr);
                ++m_step;
                return NextStep(now);
            }
            m_read = {Channel{s.items.front(), *poll, {}, false}};
            m_phase = Phase::Poll;
            m_deadline = now + kFunctionalTimeoutS;
            a.commands = {poll->pollCommand};
            a.wakeAt = m_deadline;
            return a;
        }
        case Step::Software: {
            const PlanItem& it = Item(s.items.front());
            const SoftwareCheck c =
                CheckSoftware(m_setup.identFirst, m_setup.identSecond, it.acceptedVersions);
            if (!c.known)
                Record(s.items.front(), PointVerdict::NotMeasured,
                       "идентификационные данные модуля не прочитаны", nullptr);
            else
                Record(s.items.front(), c.accepted ? PointVerdict::Pass : PointVerdict::Fail,
                       c.accepted ? "" : "версия программного обеспечения не принята методикой",
                       nullptr, c.found);
            ++m_step;
            return NextStep(now);
        }
        case Step::Point:
            return BeginPoint(now);
    }
    return a;
}

Actions VerificationRun::Answer(yukt::verify::Answer answer, const std::string& remark,
                                double now) {
    const EventScope scope{m_sink};
    if (m_phase != Phase::Ask) return {};
    const Step& s = m_steps[m_step];
    if (s.type == Step::Manual) {
        const PointVerdict r = answer == Answer::Yes  ? PointVerdict::Pass
                               : answer == Answer::No ? PointVerdict::Fail
                                                      : PointVerdict::NotMeasured;
        Record(s.items.front(), r, answer == Answer::NotDone && remark.empty() ? "не выполнена" : remark,
               nullptr);
        ++m_step;
        return NextStep(now);
    }
    ++m_step;
    if (answer == Answer::Yes) return NextStep(now);
    // Without the lead on this channel its points cannot be measured.
    const std::string why = "генератор не подключён к каналу " + std::to_string(s.channel);
    while (m_step < m_steps.size() && m_steps[m_step].type == Step::Point) {
        for (std::size_t i : m_steps[m_step].items) {
            PointResult p = NewPoint(Item(i));
            p.reason = why;
            m_result.results.push_back(p);
            Record(i, PointVerdict::NotMeasured, why, &m_result.results.back());
            if (m_sink) m_sink->PointFinished(p);
        }
        ++m_step;
    }
    return NextStep(now);
}

// What the reference and the module contribute to the point, and the
// methodology's decision on top of the judgement ("simple" leaves it).
Decided VerificationRun::DecidePoint(const PlanItem& it, const Judgement& j, PointResult& p) const {
    const double quartz = m_setup.moduleQuartzKHz > 0 ? m_setup.moduleQuartzKHz : m_setup.quartzKHz;
    return DecidePlanPoint(m_plan, it, j, quartz, p);
}

PointResult VerificationRun::NewPoint(const PlanItem& it) const {
    PointResult p;
    p.index = static_cast<int>(m_result.results.size()) + 1;
    p.nominal = it.nominal;
    p.reference = ReferenceOf(it.quantity, it.nominal);
    p.errorKind = ErrorKindOf(it.tolerance.kind);
    p.limit = LimitAt(it.tolerance, p.reference);
    p.procedure = it.title;
    p.channel = std::to_string(it.channel);
    p.doc = m_plan.methodologyId;
    p.operation = it.operation;
    p.channelNo = it.channel;
    p.item = it.item;
    p.resolution = it.tolerance.resolution;
    return p;
}

Actions VerificationRun::BeginPoint(double now) {
    const Step& s = m_steps[m_step];
    const PlanItem& first = Item(s.items.front());
    ++m_pointIndex;
    if (m_sink) m_sink->PointStarted(m_pointIndex, m_pointCount, first.nominal);
    m_read.clear();
    m_polls.clear();
    for (std::size_t i : s.items) {
        const PlanItem& it = Item(i);
        m_ran[i] = true;
        const auto item = ItemOf(it.quantity, m_plan.kind, it.channel);
        const auto route = item ? RouteFor(it.quantity, m_plan.kind, *item) : std::nullopt;
        if (!route) return PointsNotMeasured("у модуля нет канала " + std::to_string(it.channel), now);
        m_read.push_back({i, *route, {}, false});
        if (std::find(m_polls.begin(), m_polls.end(), route->pollCommand) == m_polls.end())
            m_polls.push_back(route->pollCommand);
    }
    m_generator = isCurrent(first.quantity) ? CurrentGenerator(m_plan.kind) : FrequencyGenerator();
    Actions a;
    a.commands = SetCommands(first);
    // The generator's own reply says whether it took the value; it also
    // marks the moment after which module replies belong to this point.
    a.commands.push_back(m_generator.pollCommand);
    m_phase = Phase::Confirm;
    m_deadline = now + first.settling.timeoutS;
    a.wakeAt = m_deadline;
    return a;
}

Actions VerificationRun::Poll(double now) {
    Actions a;
    // Never back to back: a reading comes at the module's pace, not the
    // line's, however long the readings take to agree.
    const double period = PollPeriod(Item(m_read.front().index).quantity);
    m_nextPoll = std::max(m_nextPoll, m_lastPoll + period);
    if (now < m_nextPoll) {
        a.wakeAt = std::min(m_nextPoll, m_deadline);
        return a;
    }
    a.commands = m_polls;
    m_awaiting = static_cast<int>(m_polls.size());
    m_lastPoll = now;
    m_nextPoll = now + period;
    a.wakeAt = m_deadline;
    return a;
}

Actions VerificationRun::Reply(const std::string& line, double now) {
    const EventScope scope{m_sink};
    const std::vector<std::string> words = ReplyWords(line);
    if (m_phase == Phase::Confirm && IsReplyOf(words, m_generator)) {
        if (const auto code = ReplyErrorCode(words))
            return PointsNotMeasured(
                "генератор не подтвердил установку (Err " + std::to_string(*code) + ")", now);
        m_phase = Phase::Delay;
        m_deadline = now + Item(m_read.front().index).settling.delayS;
        return Tick(now);
    }
    if (m_phase == Phase::Poll && IsReplyOf(words, m_read.front().route)) {
        const auto code = ReplyErrorCode(words);
        Record(m_read.front().index, code ? PointVerdict::Fail : PointVerdict::Pass,
               code ? "модуль ответил Err " + std::to_string(*code) : "", nullptr);
        ++m_step;
        return NextStep(now);
    }
    if (m_phase != Phase::Read) return {};
    bool ours = false;
    for (Channel& c : m_read) {
        if (!IsReplyOf(words, c.route)) continue;
        if (const auto code = ReplyErrorCode(words))
            return PointsNotMeasured("модуль ответил Err " + std::to_string(*code), now);
        ours = true;
        const std::optional<double> v = Reading(Item(c.index).quantity, c.route, words);
        if (v && !std::isfinite(*v))
            return PointsNotMeasured("показание не число: " + words[c.route.entry - 1], now);
        Read(c, words);
    }
    if (!ours) return {};
    // A round of polls is over when each poll has its reply.
    if (--m_awaiting > 0) return {};
    if (std::all_of(m_read.begin(), m_read.end(), [](const Channel& c) { return c.settled; }))
        return JudgeStep(now);
    return Poll(now);
}

double VerificationRun::Band(const Channel& c) const {
    const PlanItem& it = Item(c.index);
    const Settling& s = it.settling;
    // One count between two readings is at most the step at the larger.
    double value = std::fabs(it.nominal);
    if (!c.window.empty()) {
        const auto [lo, hi] = std::minmax_element(c.window.begin(), c.window.end());
        value = std::max(std::fabs(*lo), std::fabs(*hi));
    }
    const double quartz = m_setup.moduleQuartzKHz > 0 ? m_setup.moduleQuartzKHz : m_setup.quartzKHz;
    const double step = ModuleResolution(it.quantity, m_plan.kind, value, quartz);
    // Readings one resolution step apart agree, whatever finer band is asked.
    return std::max({s.band, s.bandRel / 100 * std::fabs(value), s.bandSteps * step, step}) *
           (1 + 1e-9);
}

void VerificationRun::Read(Channel& c, const std::vector<std::string>& words) {
    const PlanItem& it = Item(c.index);
    const std::optional<double> v = Reading(it.quantity, c.route, words);
    if (c.settled) return;
    if (it.quantity == Quantity::Interval || it.quantity == Quantity::Count)
        c.detectors = DetectorsNotFired(words);
    if (!c.opened) {
        c.opened = true;
        return;
    }
    if (!v) return;
    const Settling& s = it.settling;
    c.window.push_back(*v);
    // Only the readings the point can use are kept, however long it waits.
    const std::size_t keep = static_cast<std::size_t>(s.readings + s.agree);
    if (c.window.size() > keep) c.window.erase(c.window.begin(), c.window.end() - keep);
    const std::size_t need = static_cast<std::size_t>(std::max(s.agree, s.readings));
    if (c.window.size() < need) return;
    const auto [lo, hi] = std::minmax_element(c.window.end() - s.agree, c.window.end());
    c.settled = *hi - *lo <= Band(c);
}

Actions VerificationRun::Tick(double now) {
    const EventScope scope{m_sink};
    Actions a;
    switch (m_phase) {
        case Phase::Confirm:
            if (now >= m_deadline) return PointsNotMeasured("генератор не ответил", now);
            break;
        case Phase::Delay:
            if (now < m_deadline) break;
            m_phase = Phase::Read;
            for (Channel& c : m_read) {
                c.window.clear();
                c.settled = false;
                c.opened = !MeasuredSinceLastRead(Item(c.index).quantity);
            }
            m_deadline = now + Item(m_read.front().index).settling.timeoutS;
            m_nextPoll = now;
            return Poll(now);
        case Phase::Read:
            if (now >= m_deadline) return PointsNotMeasured(TimeoutReason(), now);
            // A paced poll whose time has come, the last round answered.
            if (m_awaiting <= 0 && now >= m_nextPoll) return Poll(now);
            a.wakeAt = m_awaiting <= 0 ? std::min(m_nextPoll, m_deadline) : m_deadline;
            return a;
        case Phase::Poll:
            // No reply line at all is the instrument's or the line's
            // failure, never the module's answer.
            if (now >= m_deadline) return LineLost("модуль не ответил", now);
            break;
        default:
            return a;
    }
    a.wakeAt = m_deadline;
    return a;
}

// Why the point went unmeasured at its deadline: detectors that never both
// fired are no readings that failed to agree.
std::string VerificationRun::TimeoutReason() const {
    const std::string within =
        " за " + FloatToStr(Item(m_read.front().index).settling.timeoutS) + " с";
    for (const Channel& c : m_read)
        if (!c.detectors.empty()) return c.detectors + within;
    return "показания не установились" + within;
}

Actions VerificationRun::Stop(double now) {
    const EventScope scope{m_sink};
    (void)now;
    if (m_phase == Phase::Done) return {};
    if (m_phase == Phase::Confirm || m_phase == Phase::Delay || m_phase == Phase::Read) {
        for (const Channel& c : m_read) {
            PointResult p = NewPoint(Item(c.index));
            p.readings = c.window;
            p.reason = "остановлено";
            m_result.results.push_back(p);
            Record(c.index, PointVerdict::NotMeasured, p.reason, &m_result.results.back());
            if (m_sink) m_sink->PointFinished(p);
        }
    }
    return Finish();
}

Actions VerificationRun::LineLost(const std::string& reason, double now) {
    const EventScope scope{m_sink};
    (void)now;
    if (m_phase == Phase::Done) return {};
    if (m_phase == Phase::Poll) {
        Record(m_read.front().index, PointVerdict::NotMeasured, reason, nullptr);
    } else if (m_phase == Phase::Confirm || m_phase == Phase::Delay || m_phase == Phase::Read) {
        for (const Channel& c : m_read) {
            PointResult p = NewPoint(Item(c.index));
            p.readings = c.window;
            p.reason = reason;
            m_result.results.push_back(p);
            Record(c.index, PointVerdict::NotMeasured, reason, &m_result.results.back());
            if (m_sink) m_sink->PointFinished(p);
        }
    }
    m_read.clear();
    return Finish();
}

bool VerificationRun::WaitsFor(const std::string& line) const {
    const std::vector<std::string> words = ReplyWords(line);
    if (m_phase == Phase::Confirm) return IsReplyOf(words, m_generator);
    if (m_phase != Phase::Read && m_phase != Phase::Poll) return false;
    return std::any_of(m_read.begin(), m_read.end(),
                       [&](const Channel& c) { return IsReplyOf(words, c.route); });
}

std::vector<std::string> VerificationRun::PlanSafeCommands() const {
    std::vector<std::string> out;
    for (const Step& s : m_steps) {
        if (s.type != Step::Point) continue;
        for (std::size_t i : s.items) {
            const PlanItem& it = Item(i);
            const std::string c = isCurrent(it.quantity) ? CurrentCommand(m_plan.kind, it.safeValue)
                                                         : std::string(kGeneratorIdle);
            if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
        }
    }
    return out;
}

Actions VerificationRun::JudgeStep(double now) {
    for (const Channel& c : m_read) {
        const PlanItem& it = Item(c.index);
        PointResult p = NewPoint(it);
        p.readings.assign(c.window.end() - it.settling.readings, c.window.end());
        p.measured = std::accumulate(p.readings.begin(), p.readings.end(), 0.0) /
                     static_cast<double>(p.readings.size());
        const Judgement j = JudgePoint(it.tolerance, p.reference, p.measured);
        p.error = j.error;
        p.limit = j.limit;
        p.result = j.result;
        const Decided d = DecidePoint(it, j, p);
        p.result = d.result;
        p.marginal = d.marginal;
        p.reason = d.reason;
        m_result.results.push_back(p);
        Record(c.index, p.result, d.reason, &m_result.results.back());
        if (m_sink) m_sink->PointFinished(p);
    }
    m_read.clear();
    ++m_step;
    return NextStep(now);
}

// A point that cannot be measured ends the run: a module that stopped
// answering would only run into every further time-out. What was measured
// stands; the verdict lists the rest as not measured.
Actions VerificationRun::PointsNotMeasured(const std::string& reason, double) {
    for (const Channel& c : m_read) {
        PointResult p = NewPoint(Item(c.index));
        p.readings = c.window;
        p.reason = reason;
        m_result.results.push_back(p);
        Record(c.index, PointVerdict::NotMeasured, reason, &m_result.results.back());
        if (m_sink) m_sink->PointFinished(p);
    }
    m_read.clear();
    return Finish();
}

void VerificationRun::Record(std::size_t index, PointVerdict result, const std::string& remark,
                             const PointResult* point, const std::string& found) {
    const PlanItem& it = Item(index);
    Attempt a;
    a.item = it.item;
    for (const Attempt& e : m_attempts)
        if (e.item == a.item) a.number = std::max(a.number, e.number + 1);
    a.result = result;
    a.remark = remark;
    a.found = found;
    if (point) a.point = *point;
    m_attempts.push_back(a);
    ++m_itemsDone;
    if (m_sink) m_sink->AttemptFinished(it, m_attempts.back());
}

Actions VerificationRun::Finish() {
    static_cast<VerdictResult&>(m_result) = Verdict(m_plan, m_attempts);
    m_phase = Phase::Done;
    if (m_sink) m_sink->RunFinished(m_result);
    Actions a;
    a.commands = SafeCommands();
    a.finished = true;
    return a;
}

std::vector<std::string> VerificationRun::SetCommands(const PlanItem& it) const {
    const double nominal = it.nominal;
    switch (it.quantity) {
        case Quantity::Current:
        case Quantity::GeneratorCurrent:
            return {CurrentCommand(m_plan.kind, nominal)};
        case Quantity::Frequency:
            return {FrequencyCommand(nominal)};
        case Quantity::Period:
            return {FrequencyCommand(1e6 / nominal)};
        case Quantity::Interval:
            return {kDetectorReset, IntervalCommand(nominal)};
        case Quantity::Count: {
            // As the count page does: the frequency first, then an interval
            // that holds the wanted number of its pulses.
            const double f = ReferenceFrequency(it.frequencyHz, m_setup.quartzKHz);
            return {FrequencyCommand(it.frequencyHz), kDetectorReset, IntervalCommand(nominal / f)};
        }
        default:
            return {};
    }
}

// Each generator the run used goes back to its safe state once.
std::vector<std::string> VerificationRun::SafeCommands() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < m_ran.size(); ++i) {
        if (!m_ran[i]) continue;
        const PlanItem& it = Item(i);
        const std::string c = isCurrent(it.quantity) ? CurrentCommand(m_plan.kind, it.safeValue)
                                                     : std::string(kGeneratorIdle);
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

std::optional<double> VerificationRun::Reading(Quantity q, const ReplyRoute& route,
                                               const std::vector<std::string>& words) const {
    const std::optional<double> v = ReplyValue(words, route.entry);
    if (!v) return std::nullopt;
    switch (q) {
        case Quantity::Interval:
        case Quantity::Count:
            // The module has an interval and a count between its events only
            // once both detectors have fired. Before, the interval is still
            // running; with detector 2 alone the module lost event 1 (it
            // restarted mid-interval) and shows 0: no measurement either.
            if (!DetectorsNotFired(words).empty()) return std::nullopt;
            return v;
        case Quantity::Frequency:
            // A frequency input reads 0 until its first gate has closed on
            // the new signal; zeros must not settle into a measured value.
            if (*v == 0) return std::nullopt;
            return v;
        case Quantity::Period:
            if (*v == 0) return std::nullopt;
            return 1e6 / *v;
        default:
            return v;
    }
}

double VerificationRun::ReferenceOf(Quantity q, double nominal) const {
    switch (q) {
        case Quantity::Frequency:
            return ReferenceFrequency(nominal, m_setup.quartzKHz);
        case Quantity::Period:
            return 1e6 / ReferenceFrequency(1e6 / nominal, m_setup.quartzKHz);
        default:
            return nominal;
    }
}

}  // namespace yukt::verify
