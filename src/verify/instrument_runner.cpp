#include "verify/instrument_runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "instrument/cprbr.h"
#include "verify/line_policy.h"

namespace yukt::verify {

struct InstrumentRunner::Mailbox {
    struct Reply {
        std::string line;
        std::string lineFault;  // why the line failed; empty: the module answered
    };
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Reply> replies;  // guarded by lock
    bool commandTaken = true;   // guarded by lock
    bool stop = false;          // guarded by lock
};

namespace {

using Clock = std::chrono::steady_clock;

double now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

Clock::time_point at(double seconds) {
    return Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace

InstrumentRunner::InstrumentRunner(TcPrbr& prbr)
    : m_prbr(prbr), m_box(std::make_shared<Mailbox>()) {
    std::shared_ptr<Mailbox> box = m_box;
    m_prbr.SetOnGet([box](TcPrbr& sender) {
        Mailbox::Reply reply{sender.sGet(), ""};
        // Here, on the worker, the module's exchange has just ended: its
        // link still says whether the line or the module failed.
        reply.lineFault = LineLostReason(TheModuleSet(), reply.line);
        std::lock_guard<std::mutex> guard(box->lock);
        box->replies.push_back(std::move(reply));
        box->wake.notify_all();
    });
    m_prbr.SetOnSet([box](TcPrbr&) {
        std::lock_guard<std::mutex> guard(box->lock);
        box->commandTaken = true;
        box->wake.notify_all();
    });
}

InstrumentRunner::~InstrumentRunner() {
    m_prbr.SetOnGet(nullptr);
    m_prbr.SetOnSet(nullptr);
}

void InstrumentRunner::RequestStop() {
    {
        std::lock_guard<std::mutex> guard(m_box->lock);
        m_box->stop = true;
        m_box->wake.notify_all();
    }
    // After the flag: a run beginning now either sees the stop or is cut.
    CutLineWaits();
}

bool InstrumentRunner::StopRequested() const {
    std::lock_guard<std::mutex> guard(m_box->lock);
    return m_box->stop;
}

void InstrumentRunner::Take(const Actions& a, double t) {
    if (a.finished && m_safeDeadline < 0) {
        // What the run still had queued is of no use now: the generators go
        // to their safe values at once, then each is read back.
        CutLineWaits();
        m_pending.clear();
        for (const std::string& c : m_safe.Begin(a.commands)) m_pending.push_back(c);
        m_safeDeadline = t + kSafeWaitS;
        m_wakeAt = -1;
        return;
    }
    m_pending.insert(m_pending.end(), a.commands.begin(), a.commands.end());
    m_wakeAt = a.wakeAt;
}

void InstrumentRunner::Send(const std::string& command) {
    m_safe.Sent(command);
    m_prbr.SetsSet(command);
}

const std::string& InstrumentRunner::PutSafe(const std::vector<std::string>& safe) {
    CutLineWaits();
    Mailbox& box = *m_box;
    std::deque<std::string> pending;
    for (const std::string& c : m_safe.Begin(safe)) pending.push_back(c);
    const double deadline = now() + kSafeWaitS;
    std::unique_lock<std::mutex> guard(box.lock);
    for (;;) {
        if (box.commandTaken && !pending.empty()) {
            box.commandTaken = false;
            const std::string command = pending.front();
            pending.pop_front();
            guard.unlock();
            Send(command);
            guard.lock();
        }
        std::deque<Mailbox::Reply> replies;
        replies.swap(box.replies);
        for (const Mailbox::Reply& reply : replies) m_safe.Reply(reply.line);
        if (pending.empty() && !m_safe.Waiting()) break;
        if (now() >= deadline) {
            m_safe.Expire();
            break;
        }
        box.wake.wait_until(guard, at(deadline), [&] {
            return !box.replies.empty() || (box.commandTaken && !pending.empty());
        });
    }
    return m_safe.Problem();
}

void InstrumentRunner::AskIfPending(VerificationRun& run) {
    while (const std::optional<Question> q = run.PendingQuestion()) {
        // A stop that came before or while asking ends the run, not the
        // question: the answer, if any, is not taken.
        if (StopRequested()) return;
        std::pair<Answer, std::string> answer{Answer::NotDone, ""};
        if (m_answerer) answer = m_answerer(*q);
        if (StopRequested()) return;
        Take(run.Answer(answer.first, answer.second, now()), now());
    }
}

const RunResult& InstrumentRunner::Run(VerificationRun& run) {
    Mailbox& box = *m_box;
    // The generators leave what opening the instrument gave them at once,
    // before the first question to the operator.
    m_pending.clear();
    {
        const std::vector<std::string> safe = run.PlanSafeCommands();
        std::unique_lock<std::mutex> guard(box.lock);
        const double deadline = now() + kSafeWaitS;
        for (std::size_t i = 0; i <= safe.size();) {
            if (!box.wake.wait_until(guard, at(deadline), [&] { return box.commandTaken; })) break;
            if (i == safe.size()) break;
            box.commandTaken = false;
            guard.unlock();
            Send(safe[i++]);
            guard.lock();
        }
    }
    // From here, an exchange's attempts are spread to outlast a short fault.
    SpreadLineAttempts(run.ThePlan());
    if (StopRequested()) CutLineWaits();
    Take(run.Start(now()), now());
    AskIfPending(run);
    double commandSentAt = 0;
    std::unique_lock<std::mutex> guard(box.lock);
    for (;;) {
        // One command at a time: the next goes when the last was taken.
        if (box.commandTaken && !m_pending.empty()) {
            box.commandTaken = false;
            const std::string command = m_pending.front();
            m_pending.pop_front();
            commandSentAt = now();
            Send(command);
        }
        if (run.Finished() && m_pending.empty() && box.commandTaken && !m_safe.Waiting()) break;
        // The end of the safe phase, whatever the line does.
        if (m_safeDeadline >= 0 && now() >= m_safeDeadline) {
            m_safe.Expire();
            m_pending.clear();
            break;
        }
        // The instrument that stops taking commands must not hang the run.
        const double commandDeadline =
            box.commandTaken || m_safeDeadline >= 0 ? -1 : commandSentAt + m_commandTimeoutS;
        if (commandDeadline >= 0 && now() >= commandDeadline) {
            guard.unlock();
            Take(run.Stop(now()), now());
            guard.lock();
            continue;
        }

        auto ready = [&] {
            return !box.replies.empty() ||
                   (box.commandTaken && (!m_pending.empty() || run.Finished())) ||
                   (box.stop && !run.Finished());
        };
        double until = run.Finished() ? m_safeDeadline : m_wakeAt;
        if (commandDeadline >= 0 && (until < 0 || commandDeadline < until)) until = commandDeadline;
        if (until >= 0)
            box.wake.wait_until(guard, at(until), ready);
        else
            box.wake.wait(guard, ready);

        if (box.stop && !run.Finished()) {
            box.replies.clear();
            guard.unlock();
            Take(run.Stop(now()), now());
            guard.lock();
            continue;
        }
        std::deque<Mailbox::Reply> replies;
        replies.swap(box.replies);
        guard.unlock();
        for (const Mailbox::Reply& reply : replies) {
            if (run.Finished()) {
                m_safe.Reply(reply.line);
                continue;
            }
            // A line fault of a module the run does not wait for (the meter
            // answering beside the module under test) changes nothing.
            if (!reply.lineFault.empty() && run.WaitsFor(reply.line)) {
                // Every attempt of the exchange failed on the line: nothing
                // the module said, so nothing is judged on it.
                m_lineProblem = reply.lineFault;
                Take(run.LineLost(reply.lineFault, now()), now());
                continue;
            }
            const Actions a = run.Reply(reply.line, now());
            if (!a.commands.empty() || a.wakeAt >= 0 || a.finished) Take(a, now());
            AskIfPending(run);
        }
        if (!run.Finished() && m_wakeAt >= 0 && now() >= m_wakeAt) {
            Take(run.Tick(now()), now());
            AskIfPending(run);
        }
        guard.lock();
    }
    return run.Result();
}

}  // namespace yukt::verify
