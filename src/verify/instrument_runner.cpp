#include "verify/instrument_runner.h"

#include <chrono>

#include "instrument/cprbr.h"

namespace yukt::verify {

InstrumentRunner::InstrumentRunner(TcPrbr& prbr) : m_prbr(prbr) {
    m_prbr.SetOnGet([this](TcPrbr& sender) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_replies.push_back(sender.sGet());
        m_wake.notify_all();
    });
    m_prbr.SetOnSet([this](TcPrbr&) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_commandTaken = true;
        m_wake.notify_all();
    });
}

InstrumentRunner::~InstrumentRunner() {
    m_prbr.SetOnGet(nullptr);
    m_prbr.SetOnSet(nullptr);
}

void InstrumentRunner::RequestStop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = true;
    m_wake.notify_all();
}

double InstrumentRunner::Now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void InstrumentRunner::Take(const Actions& a) {
    m_pending.insert(m_pending.end(), a.commands.begin(), a.commands.end());
    m_wakeAt = a.wakeAt;
}

const RunResult& InstrumentRunner::Run(VerificationRun& run) {
    Take(run.Start(Now()));
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        // One command at a time: the next goes when the last was taken.
        if (m_commandTaken && !m_pending.empty()) {
            m_commandTaken = false;
            const std::string command = m_pending.front();
            m_pending.pop_front();
            m_prbr.SetsSet(command);
        }
        if (run.Finished() && m_pending.empty() && m_commandTaken) break;

        auto ready = [&] {
            return !m_replies.empty() ||
                   (m_commandTaken && (!m_pending.empty() || run.Finished())) ||
                   (m_stop && !run.Finished());
        };
        if (m_wakeAt >= 0 && !run.Finished()) {
            const auto until = std::chrono::steady_clock::time_point(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(m_wakeAt)));
            m_wake.wait_until(guard, until, ready);
        } else {
            m_wake.wait(guard, ready);
        }

        if (m_stop && !run.Finished()) {
            m_replies.clear();
            guard.unlock();
            Take(run.Stop(Now()));
            guard.lock();
            continue;
        }
        std::deque<std::string> lines;
        lines.swap(m_replies);
        guard.unlock();
        for (const std::string& line : lines) {
            if (run.Finished()) break;
            const Actions a = run.Reply(line, Now());
            if (!a.commands.empty() || a.wakeAt >= 0 || a.finished) Take(a);
        }
        if (!run.Finished() && m_wakeAt >= 0 && Now() >= m_wakeAt) Take(run.Tick(Now()));
        guard.lock();
    }
    return run.Result();
}

}  // namespace yukt::verify
