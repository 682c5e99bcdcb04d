#include "instrument/instrument_state.h"

namespace yukt {

InstrumentState& TheInstrumentState() {
    static InstrumentState state;
    return state;
}

void InstrumentState::ResetFor(TcPrbr* component) {
    std::lock_guard<std::mutex> guard(lock);
    if (opened && opener != nullptr) return;
    // The busy flag is left alone: it says that a pass really runs, and a
    // pass of an earlier worker may still be finishing.
    pathCfg = "./";
    current = component;
    pause = true;
    pollInterval = 170;
    intervalChanged = false;
    opened = false;
    tick = false;
    changed.notify_all();
}

BusyClaim::BusyClaim(InstrumentState& state) : m_state(state) {
    std::unique_lock<std::mutex> guard(m_state.lock);
    m_state.changed.wait(guard, [&] { return !m_state.busy; });
    m_state.busy = true;
}

BusyClaim::~BusyClaim() {
    std::lock_guard<std::mutex> guard(m_state.lock);
    m_state.busy = false;
    m_state.changed.notify_all();
}

}  // namespace yukt
