#include "verify/instrument_runner.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "instrument/cprbr.h"

namespace yukt::verify {

struct InstrumentRunner::Mailbox {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::string> replies;  // guarded by lock
    bool commandTaken = true;         // guarded by lock
    bool stop = false;                // guarded by lock
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
        std::string line = sender.sGet();
        std::lock_guard<std::mutex> guard(box->lock);
        box->replies.push_back(std::move(line));
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
    std::lock_guard<std::mutex> guard(m_box->lock);
    m_box->stop = true;
    m_box->wake.notify_all();
}

void InstrumentRunner::Take(const Actions& a) {
    m_pending.insert(m_pending.end(), a.commands.begin(), a.commands.end());
    m_wakeAt = a.wakeAt;
}

void InstrumentRunner::AskIfPending(VerificationRun& run) {
    while (const std::optional<Question> q = run.PendingQuestion()) {
        std::pair<Answer, std::string> answer{Answer::NotDone, ""};
        if (m_answerer) answer = m_answerer(*q);
        Take(run.Answer(answer.first, answer.second, now()));
    }
}

const RunResult& InstrumentRunner::Run(VerificationRun& run) {
    Mailbox& box = *m_box;
    m_commandsSent = 0;
    Take(run.Start(now()));
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
            ++m_commandsSent;
            m_prbr.SetsSet(command);
        }
        if (run.Finished() && m_pending.empty() && box.commandTaken) break;
        // The instrument that stops taking commands must not hang the run
        // (nor the safe commands at its end).
        const double commandDeadline = box.commandTaken ? -1 : commandSentAt + m_commandTimeoutS;
        if (commandDeadline >= 0 && now() >= commandDeadline) {
            if (!run.Finished()) {
                guard.unlock();
                Take(run.Stop(now()));
                guard.lock();
            }
            m_safeConfirmed = false;
            m_problem = "safe value not confirmed: the instrument did not take \"" +
                        (m_pending.empty() ? std::string("the last command") : m_pending.front()) +
                        "\" in time";
            m_pending.clear();
            break;
        }

        auto ready = [&] {
            return !box.replies.empty() ||
                   (box.commandTaken && (!m_pending.empty() || run.Finished())) ||
                   (box.stop && !run.Finished());
        };
        double until = run.Finished() ? -1 : m_wakeAt;
        if (commandDeadline >= 0 && (until < 0 || commandDeadline < until)) until = commandDeadline;
        if (until >= 0)
            box.wake.wait_until(guard, at(until), ready);
        else
            box.wake.wait(guard, ready);

        if (box.stop && !run.Finished()) {
            box.replies.clear();
            guard.unlock();
            Take(run.Stop(now()));
            guard.lock();
            continue;
        }
        std::deque<std::string> lines;
        lines.swap(box.replies);
        guard.unlock();
        for (const std::string& line : lines) {
            if (run.Finished()) break;
            const Actions a = run.Reply(line, now());
            if (!a.commands.empty() || a.wakeAt >= 0 || a.finished) Take(a);
            AskIfPending(run);
        }
        if (!run.Finished() && m_wakeAt >= 0 && now() >= m_wakeAt) {
            Take(run.Tick(now()));
            AskIfPending(run);
        }
        guard.lock();
    }
    return run.Result();
}

}  // namespace yukt::verify
