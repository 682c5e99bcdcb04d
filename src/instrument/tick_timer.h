#pragma once
// The component's tick timer: calls its handler every interval on a thread
// of its own until destroyed. The handler may return a new interval, which
// restarts the timer from that moment (as disabling it, changing the
// interval and enabling it again would).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace yukt {

class TickTimer {
  public:
    // Returns the interval to use from now on, or nothing to keep it.
    using Handler = std::function<std::optional<int>()>;

    // An interval of 0 or less never fires.
    TickTimer(int intervalMs, Handler handler);
    // Waits for a running handler to return.
    ~TickTimer();
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

  private:
    void run();

    Handler m_handler;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::chrono::milliseconds m_interval;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace yukt
