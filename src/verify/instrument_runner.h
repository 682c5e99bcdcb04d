#pragma once
// Drives a VerificationRun on an open instrument from a thread that may
// block (yukt-verify's main thread, a test): hands the run's commands to the
// component one at a time, as the workstation's command queue does, feeds it
// every reply line, wakes it at its deadlines and puts its questions to an
// answerer. It waits on a condition variable; nothing spins or sleeps.
//
// The component's callbacks post into a mailbox they share with the runner,
// so a callback copy still running on the instrument's worker after the
// runner is gone touches nothing that was freed.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "verify/safe_check.h"
#include "verify/verification_run.h"

namespace yukt {
class TcPrbr;
}

namespace yukt::verify {

// Answers a question of the run: the answer and an optional remark.
using Answerer = std::function<std::pair<Answer, std::string>(const Question&)>;

class InstrumentRunner {
  public:
    // Takes over the component's OnGet and OnSet until destroyed.
    explicit InstrumentRunner(TcPrbr& prbr);
    ~InstrumentRunner();
    InstrumentRunner(const InstrumentRunner&) = delete;
    InstrumentRunner& operator=(const InstrumentRunner&) = delete;

    // Without an answerer every question is answered "not done".
    void SetAnswerer(Answerer answerer) { m_answerer = std::move(answerer); }
    // How long a command may wait to be taken by the instrument (default 10 s).
    void SetCommandTimeout(double seconds) { m_commandTimeoutS = seconds; }

    // Sends the safe commands of the plan first (the generators go to their
    // safe values as soon as the instrument is open), runs to the end (or to
    // RequestStop, or to a lost line), then sends the safe commands again
    // and reads each generator back: SafeConfirmed() tells whether every
    // one took its safe value within kSafeWaitS.
    const RunResult& Run(VerificationRun& run);
    // Without a run (a program that ends before its run could begin): sends
    // `safe` and reads each generator back within kSafeWaitS. Problem().
    const std::string& PutSafe(const std::vector<std::string>& safe);
    bool SafeConfirmed() const { return m_safe.Confirmed(); }
    // "безопасное значение не подтверждено: генератор мог остаться на 8 мА"
    // (the last value set) when a generator did not confirm; empty otherwise.
    const std::string& Problem() const { return m_safe.Problem(); }
    // Why the run ended early for a line fault ("связь потеряна: ..."); empty
    // when it did not.
    const std::string& LineProblem() const { return m_lineProblem; }
    // From any thread: the run stops as soon as its driver wakes, and the
    // waits between the attempts of an exchange end at once.
    void RequestStop();
    bool StopRequested() const;

    static constexpr double kSafeWaitS = verify::kSafeWaitS;

    struct Mailbox;

  private:
    void Take(const Actions& a, double now);
    void AskIfPending(VerificationRun& run);
    void Send(const std::string& command);

    TcPrbr& m_prbr;
    std::shared_ptr<Mailbox> m_box;
    Answerer m_answerer;
    double m_commandTimeoutS = 10;
    SafeCheck m_safe;
    std::deque<std::string> m_pending;  // driver thread only
    double m_wakeAt = -1;               // driver thread only
    double m_safeDeadline = -1;         // the safe phase: its end; else < 0
    std::string m_lineProblem;
};

}  // namespace yukt::verify
