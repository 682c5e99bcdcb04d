#include "link/attempt_wait.h"

#include <condition_variable>
#include <mutex>

namespace yukt {

namespace {

struct AttemptWaits {
    std::mutex lock;
    std::condition_variable wake;
    std::chrono::milliseconds spread{0};  // guarded by lock
    bool cut = false;                     // guarded by lock
};

AttemptWaits& waits() {
    static AttemptWaits w;
    return w;
}

}  // namespace

void SetAttemptSpread(std::chrono::milliseconds spread) {
    AttemptWaits& w = waits();
    std::lock_guard<std::mutex> guard(w.lock);
    w.spread = spread < std::chrono::milliseconds(0) ? std::chrono::milliseconds(0) : spread;
    w.cut = false;
}

std::chrono::milliseconds AttemptSpread() {
    AttemptWaits& w = waits();
    std::lock_guard<std::mutex> guard(w.lock);
    return w.cut ? std::chrono::milliseconds(0) : w.spread;
}

void CutAttemptWaits() {
    AttemptWaits& w = waits();
    std::lock_guard<std::mutex> guard(w.lock);
    w.cut = true;
    w.wake.notify_all();
}

bool WaitForAttempt(std::chrono::steady_clock::time_point due) {
    AttemptWaits& w = waits();
    std::unique_lock<std::mutex> guard(w.lock);
    return !w.wake.wait_until(guard, due, [&w] { return w.cut; });
}

}  // namespace yukt
