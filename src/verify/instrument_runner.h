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
#include <memory>
#include <string>
#include <utility>

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

    // Runs to the end (or to RequestStop), then queues the safe commands
    // and waits until the instrument has taken them, at most the command
    // time-out each; SafeConfirmed() tells whether it did.
    const RunResult& Run(VerificationRun& run);
    bool SafeConfirmed() const { return m_safeConfirmed; }
    // Commands handed to the instrument by the last Run.
    long CommandsSent() const { return m_commandsSent; }
    // "safe value not confirmed" when the instrument did not take the safe
    // commands in time; empty otherwise.
    const std::string& Problem() const { return m_problem; }
    // From any thread: the run stops as soon as its driver wakes.
    void RequestStop();

    struct Mailbox;

  private:
    void Take(const Actions& a);
    void AskIfPending(VerificationRun& run);

    TcPrbr& m_prbr;
    std::shared_ptr<Mailbox> m_box;
    Answerer m_answerer;
    double m_commandTimeoutS = 10;
    bool m_safeConfirmed = true;
    long m_commandsSent = 0;
    std::string m_problem;
    std::deque<std::string> m_pending;  // driver thread only
    double m_wakeAt = -1;               // driver thread only
};

}  // namespace yukt::verify
