#pragma once
// The state the instrument components, their worker and the command layer
// share across the process: one open/closed state, one current component,
// the flags that pace the worker's passes. Every field is guarded by `lock`;
// `changed` is notified whenever something a waiter may be waiting for
// changes (a new command, a tick, the pause, the busy flag, closing).

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace yukt {

class TcPrbr;

struct InstrumentState {
    std::mutex lock;
    std::condition_variable changed;

    // The command layer is open and the worker may run its passes.
    bool opened = false;
    // A pass of the worker (or a re-initialisation) is running.
    bool busy = false;
    // The tick timer has fired since the last poll cycle.
    bool tick = false;
    // Poll cycles are suspended.
    bool pause = true;
    // Interval of the tick timer in ms, and whether it changed since the
    // timer last took it.
    int pollInterval = 170;
    bool intervalChanged = false;
    std::string pathCfg = "./";
    // The component whose sSet, sGet and events the command layer uses.
    TcPrbr* current = nullptr;
    // The component whose opening holds the module set open.
    TcPrbr* opener = nullptr;
    // Bumped by every write to a component's sSet: the worker wakes when it
    // differs from the value it saw before its last passes.
    std::uint64_t commandGeneration = 0;

    // Construction of a component: everything back to its initial value and
    // `component` current — unless another component holds the module set
    // open, whose state is then left alone.
    void ResetFor(TcPrbr* component);
};

InstrumentState& TheInstrumentState();

// Claims the busy flag once the running pass has ended, and releases it.
class BusyClaim {
  public:
    explicit BusyClaim(InstrumentState& state);
    ~BusyClaim();
    BusyClaim(const BusyClaim&) = delete;
    BusyClaim& operator=(const BusyClaim&) = delete;

  private:
    InstrumentState& m_state;
};

}  // namespace yukt
