#include "instrument/work_thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

#include "instrument/instrument_state.h"
#include "instrument/module_set.h"
#include "link/frame_trace.h"

namespace yukt {

int NiceOfPriority(TThreadPriority priority) {
    switch (priority) {
        case TThreadPriority::tpIdle:
            return 19;
        case TThreadPriority::tpLowest:
            return 10;
        case TThreadPriority::tpLower:
            return 5;
        case TThreadPriority::tpNormal:
            return 0;
        case TThreadPriority::tpHigher:
            return -5;
        case TThreadPriority::tpHighest:
            return -10;
        case TThreadPriority::tpTimeCritical:
            return -20;
    }
    return 0;
}

TWorkThread::TWorkThread(InstrumentState& state, ModuleSet& set, TThreadPriority priority)
    : m_state(state), m_set(set) {
    m_thread = std::thread([this, priority] { run(priority); });
}

TWorkThread::~TWorkThread() {
    Terminate();
    if (m_thread.joinable()) m_thread.join();
}

void TWorkThread::Terminate() {
    std::lock_guard<std::mutex> guard(m_state.lock);
    m_terminated = true;
    m_state.changed.notify_all();
}

void TWorkThread::run(TThreadPriority priority) {
    // Raising the priority needs privileges; without them the worker simply
    // keeps the normal one.
    const int nice = NiceOfPriority(priority);
    if (nice != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);

    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(m_state.lock);
            m_state.changed.wait(guard, [&] {
                return m_terminated ||
                       (m_state.opened && !m_state.busy &&
                        (m_state.commandGeneration != seen || (m_state.tick && !m_state.pause)));
            });
            if (m_terminated) return;
            seen = m_state.commandGeneration;
        }
        CommandPass();
        PollPass();
    }
}

bool TWorkThread::claimPass(bool forPoll, bool& tick) {
    std::lock_guard<std::mutex> guard(m_state.lock);
    if (!m_state.opened || m_state.busy || (forPoll && m_state.pause)) return false;
    m_state.busy = true;
    tick = m_state.tick;
    return true;
}

void TWorkThread::releasePass(bool clearTick) {
    std::lock_guard<std::mutex> guard(m_state.lock);
    if (clearTick) m_state.tick = false;
    m_state.busy = false;
    m_state.changed.notify_all();
}

void TWorkThread::CommandPass() {
    bool tick = false;
    if (!claimPass(false, tick)) return;
    // Nothing may end the worker: an event handler's exception is dropped
    // here (the command's own conversion errors never get this far).
    try {
        m_set.ServeCommands();
    } catch (...) {
    }
    releasePass(false);
}

void TWorkThread::PollPass() {
    bool tick = false;
    if (!claimPass(true, tick)) return;
    if (tick) {
        // The cycle polls as often as the timer ticks, whatever the program
        // waits for: its requests are free in the trace.
        const FreeRequests marked;
        try {
            m_set.WorkCycle();
        } catch (...) {
        }
        ++m_cycles;
    }
    releasePass(tick);
}

}  // namespace yukt
