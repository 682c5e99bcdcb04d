#pragma once
// Pacing of status polls on a link board. A board answers within
// microseconds when it is working, so the first half millisecond is
// polled back to back; after that the poller sleeps a millisecond between
// reads, so that a silent line costs almost no processor time while a
// 300 ms time-out runs out.

#include <chrono>
#include <thread>

namespace yukt {

class PollPacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PollPacer(std::chrono::milliseconds limit)
        : m_start(Clock::now()), m_deadline(m_start + limit) {}

    bool expired() const { return Clock::now() >= m_deadline; }

    // Waits before the next poll.
    void pace() const {
        if (Clock::now() - m_start < kEagerPhase) return;
        std::this_thread::sleep_for(kSleep);
    }

  private:
    static constexpr std::chrono::microseconds kEagerPhase{500};
    static constexpr std::chrono::microseconds kSleep{1000};
    Clock::time_point m_start;
    Clock::time_point m_deadline;
};

}  // namespace yukt
