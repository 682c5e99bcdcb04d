#include "instrument/tick_timer.h"

namespace yukt {

TickTimer::TickTimer(int intervalMs, Handler handler)
    : m_handler(std::move(handler)), m_interval(intervalMs) {
    m_thread = std::thread([this] { run(); });
}

TickTimer::~TickTimer() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TickTimer::run() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> guard(m_lock);
    Clock::time_point next = Clock::now() + m_interval;
    while (!m_stop) {
        if (m_interval.count() <= 0) {
            m_wake.wait(guard, [&] { return m_stop; });
            break;
        }
        if (m_wake.wait_until(guard, next, [&] { return m_stop; })) break;
        guard.unlock();
        const std::optional<int> changed = m_handler ? m_handler() : std::nullopt;
        guard.lock();
        if (changed) {
            m_interval = std::chrono::milliseconds(*changed);
            next = Clock::now() + m_interval;
        } else {
            // A late tick does not make up for the ones it missed.
            next += m_interval;
            if (next < Clock::now()) next = Clock::now() + m_interval;
        }
    }
}

}  // namespace yukt
