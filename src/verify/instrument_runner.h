#pragma once
// Drives a VerificationRun on an open instrument from a thread that may
// block (yukt-verify's main thread, a test): hands the run's commands to the
// component one at a time, as the workstation's command queue does, feeds it
// every reply line and wakes it at its deadlines. It waits on a condition
// variable; nothing spins or sleeps.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "verify/verification_run.h"

namespace yukt {
class TcPrbr;
}

namespace yukt::verify {

class InstrumentRunner {
  public:
    // Takes over the component's OnGet and OnSet until destroyed.
    explicit InstrumentRunner(TcPrbr& prbr);
    ~InstrumentRunner();
    InstrumentRunner(const InstrumentRunner&) = delete;
    InstrumentRunner& operator=(const InstrumentRunner&) = delete;

    // Runs to the end (or to RequestStop), then queues the safe commands
    // and waits until the instrument has taken them.
    const RunResult& Run(VerificationRun& run);
    // From any thread: the run stops as soon as its driver wakes.
    void RequestStop();

  private:
    void Take(const Actions& a);
    double Now() const;

    TcPrbr& m_prbr;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::string> m_replies;  // guarded by m_lock
    bool m_commandTaken = true;         // guarded by m_lock
    bool m_stop = false;                // guarded by m_lock
    std::deque<std::string> m_pending;  // driver thread only
    double m_wakeAt = -1;               // driver thread only
};

}  // namespace yukt::verify
