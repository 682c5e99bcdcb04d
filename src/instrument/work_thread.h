#pragma once
// The worker thread of the instrument: it runs the command pass (serves the
// pending command) and the poll pass (one poll cycle per tick while not
// paused), back to back, and sleeps on the shared state's condition
// variable while there is neither a new command nor a due cycle.

#include <atomic>
#include <cstdint>
#include <thread>

#include "instrument/cprbr.h"

namespace yukt {

struct InstrumentState;
class ModuleSet;

class TWorkThread {
  public:
    // Starts running at once.
    TWorkThread(InstrumentState& state, ModuleSet& set, TThreadPriority priority);
    // Asks the thread to stop after its current pass and waits for it.
    ~TWorkThread();
    TWorkThread(const TWorkThread&) = delete;
    TWorkThread& operator=(const TWorkThread&) = delete;

    // Asks the thread to stop after its current pass; does not wait.
    void Terminate();
    // The thread has stopped (or is about to).
    bool Terminated() const { return m_terminated; }
    // Poll cycles completed.
    long CycleCount() const { return m_cycles; }

    // One pass each; a pass does nothing while the instrument is closed or
    // another pass (or a re-initialisation) runs.
    void CommandPass();
    void PollPass();

  private:
    void run(TThreadPriority priority);
    bool claimPass(bool forPoll, bool& tick);
    void releasePass(bool clearTick);

    InstrumentState& m_state;
    ModuleSet& m_set;
    std::atomic<bool> m_terminated{false};
    std::atomic<long> m_cycles{0};
    std::thread m_thread;
};

// The niceness a priority maps to on this platform (0 for tpNormal).
int NiceOfPriority(TThreadPriority priority);

}  // namespace yukt
