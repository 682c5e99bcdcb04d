#include "verify/verification_run.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "instrument/identify.h"

namespace yukt::verify {

VerificationRun::VerificationRun(Procedure procedure, RunSetup setup, ProgressSink* sink)
    : m_proc(std::move(procedure)), m_setup(setup), m_sink(sink) {
    m_route = RouteFor(m_proc.quantity, m_setup.kind, m_proc.channel).value_or(ReplyRoute{});
    const bool current =
        m_proc.quantity == Quantity::Current || m_proc.quantity == Quantity::GeneratorCurrent;
    m_generator = current ? CurrentGenerator(m_setup.kind) : FrequencyGenerator();
    m_result.points = static_cast<int>(m_proc.points.size());
}

int VerificationRun::Percent() const {
    if (m_proc.points.empty()) return 100;
    return static_cast<int>(m_result.results.size() * 100 / m_proc.points.size());
}

Actions VerificationRun::Start(double now) {
    if (m_phase != Phase::Idle) return {};
    if (m_route.entry == 0 ||
        std::find(m_proc.kinds.begin(), m_proc.kinds.end(), m_setup.kind) == m_proc.kinds.end())
        return NotMeasured("процедура не относится к виду модуля " + std::to_string(m_setup.kind),
                           now);
    return BeginPoint(now);
}

PointResult VerificationRun::NewPoint() const {
    PointResult p;
    p.index = static_cast<int>(m_point) + 1;
    p.nominal = m_point < m_proc.points.size() ? m_proc.points[m_point] : 0;
    p.reference = ReferenceOf(p.nominal);
    p.errorKind = m_proc.errorKind;
    p.limit = m_proc.limit;
    p.procedure = m_proc.title;
    p.channel = std::to_string(m_proc.channel);
    p.doc = m_proc.doc;
    return p;
}

Actions VerificationRun::BeginPoint(double now) {
    if (m_point >= m_proc.points.size()) return Finish(false);
    const double nominal = m_proc.points[m_point];
    if (m_sink) m_sink->PointStarted(static_cast<int>(m_point) + 1, m_result.points, nominal);
    Actions a;
    a.commands = SetCommands(nominal);
    // The generator's own reply says whether it took the value; it also
    // marks the moment after which module replies belong to this point.
    a.commands.push_back(m_generator.pollCommand);
    m_phase = Phase::Confirm;
    m_deadline = now + m_proc.settling.timeoutS;
    a.wakeAt = m_deadline;
    return a;
}

Actions VerificationRun::Reply(const std::string& line, double now) {
    const std::vector<std::string> words = ReplyWords(line);
    if (m_phase == Phase::Confirm && IsReplyOf(words, m_generator)) {
        if (const auto code = ReplyErrorCode(words))
            return NotMeasured(
                "генератор не подтвердил установку (Err " + std::to_string(*code) + ")", now);
        m_phase = Phase::Delay;
        m_deadline = now + m_proc.settling.delayS;
        return Tick(now);
    }
    if (m_phase != Phase::Read || !IsReplyOf(words, m_route)) return {};
    if (const auto code = ReplyErrorCode(words))
        return NotMeasured("модуль ответил Err " + std::to_string(*code), now);
    if (const auto v = Reading(words)) {
        if (!std::isfinite(*v))
            return NotMeasured("показание не число: " + words[m_route.entry - 1], now);
        m_window.push_back(*v);
        const Settling& s = m_proc.settling;
        const std::size_t need = static_cast<std::size_t>(std::max(s.agree, s.readings));
        if (m_window.size() >= need) {
            const auto last = m_window.end() - s.agree;
            const auto [lo, hi] = std::minmax_element(last, m_window.end());
            if (*hi - *lo <= s.band) return Judge(now);
        }
    }
    Actions a;
    a.commands = {m_route.pollCommand};
    a.wakeAt = m_deadline;
    return a;
}

Actions VerificationRun::Tick(double now) {
    Actions a;
    switch (m_phase) {
        case Phase::Confirm:
            if (now >= m_deadline) return NotMeasured("генератор не ответил", now);
            break;
        case Phase::Delay:
            if (now < m_deadline) break;
            m_phase = Phase::Read;
            m_window.clear();
            m_deadline = now + m_proc.settling.timeoutS;
            a.commands = {m_route.pollCommand};
            break;
        case Phase::Read:
            if (now >= m_deadline)
                return NotMeasured(
                    "показания не установились за " + FloatToStr(m_proc.settling.timeoutS) + " с",
                    now);
            break;
        default:
            return a;
    }
    a.wakeAt = m_deadline;
    return a;
}

Actions VerificationRun::Stop(double now) {
    if (m_phase == Phase::Done) return {};
    (void)now;
    if (m_phase != Phase::Idle && m_point < m_proc.points.size()) {
        PointResult p = NewPoint();
        p.readings = m_window;
        p.reason = "остановлено";
        m_result.results.push_back(p);
        if (m_sink) m_sink->PointFinished(p);
    }
    return Finish(true);
}

Actions VerificationRun::Judge(double now) {
    PointResult p = NewPoint();
    p.readings.assign(m_window.end() - m_proc.settling.readings, m_window.end());
    p.measured = std::accumulate(p.readings.begin(), p.readings.end(), 0.0) /
                 static_cast<double>(p.readings.size());
    const MeasureErrors e = CalcErrors(m_proc.range, p.measured, p.reference);
    p.error = m_proc.errorKind == ErrorKind::Abs   ? e.abs
              : m_proc.errorKind == ErrorKind::Rel ? e.rel
                                                   : e.red;
    // Finite readings can still overflow (a period of a near-zero frequency).
    if (!std::isfinite(p.measured) || !std::isfinite(p.error))
        return NotMeasured("погрешность не вычисляется: " + FloatToStr(p.measured), now);
    p.result = std::fabs(p.error) <= p.limit ? PointVerdict::Pass : PointVerdict::Fail;
    if (p.result == PointVerdict::Fail) ++m_result.failed;
    m_result.results.push_back(p);
    if (m_sink) m_sink->PointFinished(p);
    ++m_point;
    m_window.clear();
    return BeginPoint(now);
}

// A point that cannot be measured ends the run: its verdict can no longer be
// "годен", and a module that stopped answering would only run into every
// further time-out.
Actions VerificationRun::NotMeasured(const std::string& reason, double) {
    PointResult p = NewPoint();
    p.readings = m_window;
    p.reason = reason;
    m_result.results.push_back(p);
    if (m_sink) m_sink->PointFinished(p);
    return Finish(false);
}

Actions VerificationRun::Finish(bool stopped) {
    m_result.verdict = yukt::verify::Judge(m_result.results, m_result.points, stopped);
    m_phase = Phase::Done;
    if (m_sink) m_sink->RunFinished(m_result);
    Actions a;
    a.commands = SafeCommands();
    a.finished = true;
    return a;
}

std::vector<std::string> VerificationRun::SetCommands(double nominal) const {
    switch (m_proc.quantity) {
        case Quantity::Current:
        case Quantity::GeneratorCurrent:
            return {CurrentCommand(m_setup.kind, nominal)};
        case Quantity::Frequency:
            return {FrequencyCommand(nominal)};
        case Quantity::Period:
            return {FrequencyCommand(1e6 / nominal)};
        case Quantity::Interval:
            return {kDetectorReset, IntervalCommand(nominal)};
        case Quantity::Count: {
            // As the count page does: the frequency first, then an interval
            // that holds the wanted number of its pulses.
            const double f = ReferenceFrequency(m_proc.frequencyHz, m_setup.quartzKHz);
            return {FrequencyCommand(m_proc.frequencyHz), kDetectorReset,
                    IntervalCommand(nominal / f)};
        }
        default:
            return {};
    }
}

std::vector<std::string> VerificationRun::SafeCommands() const {
    if (m_proc.quantity == Quantity::Current || m_proc.quantity == Quantity::GeneratorCurrent)
        return {CurrentCommand(m_setup.kind, m_proc.safeValue)};
    return {kGeneratorIdle};
}

std::optional<double> VerificationRun::Reading(const std::vector<std::string>& words) const {
    const std::optional<double> v = ReplyValue(words, m_route.entry);
    if (!v) return std::nullopt;
    switch (m_proc.quantity) {
        case Quantity::Interval:
        case Quantity::Count:
            // Until detector 2 has fired the interval is still running.
            if (words.size() < 7 || words[6] != "1") return std::nullopt;
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

double VerificationRun::ReferenceOf(double nominal) const {
    switch (m_proc.quantity) {
        case Quantity::Frequency:
            return ReferenceFrequency(nominal, m_setup.quartzKHz);
        case Quantity::Period:
            return 1e6 / ReferenceFrequency(1e6 / nominal, m_setup.quartzKHz);
        default:
            return nominal;
    }
}

}  // namespace yukt::verify
