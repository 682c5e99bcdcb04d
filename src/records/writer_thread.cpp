#include "records/writer_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace yukt::records {

using Clock = std::chrono::steady_clock;

struct WriterThread::State {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;  // guarded by lock
    bool busy = false;                        // a task is running
    bool quit = false;
    Clock::time_point startedAt;  // of the running task
    std::chrono::milliseconds overdueLimit{0};
    std::function<void()> overdue;  // called once
    bool stuck = false;
    std::thread worker, watcher;
};

namespace {

void Work(const std::shared_ptr<WriterThread::State>& s) {
    std::unique_lock<std::mutex> guard(s->lock);
    for (;;) {
        s->wake.wait(guard, [&] { return s->quit || !s->tasks.empty(); });
        if (s->tasks.empty()) return;
        std::function<void()> task = std::move(s->tasks.front());
        s->tasks.pop_front();
        s->busy = true;
        s->startedAt = Clock::now();
        s->wake.notify_all();
        guard.unlock();
        task();
        guard.lock();
        s->busy = false;
        s->stuck = false;
        s->wake.notify_all();
    }
}

// Wakes when a task has run past its limit.
void Watch(const std::shared_ptr<WriterThread::State>& s) {
    std::unique_lock<std::mutex> guard(s->lock);
    while (!s->quit) {
        if (!s->busy || s->overdueLimit.count() <= 0) {
            s->wake.wait(guard);
            continue;
        }
        const Clock::time_point started = s->startedAt;
        const Clock::time_point due = started + s->overdueLimit;
        if (Clock::now() < due) {
            s->wake.wait_until(guard, due);
            continue;
        }
        if (s->busy && s->startedAt == started && !s->stuck) {
            s->stuck = true;
            std::function<void()> call = std::move(s->overdue);
            s->overdue = nullptr;
            if (call) {
                guard.unlock();
                call();
                guard.lock();
            }
        }
        s->wake.wait(guard, [&] { return s->quit || !s->busy || s->startedAt != started; });
    }
}

}  // namespace

WriterThread::WriterThread() : m_state(std::make_shared<State>()) {
    std::shared_ptr<State> s = m_state;
    s->worker = std::thread([s] { Work(s); });
    s->watcher = std::thread([s] { Watch(s); });
}

WriterThread::~WriterThread() {
    bool idle = false;
    {
        std::lock_guard<std::mutex> guard(m_state->lock);
        m_state->quit = true;
        idle = !m_state->busy && m_state->tasks.empty();
        if (!idle) m_state->tasks.clear();
        m_state->wake.notify_all();
    }
    m_state->watcher.join();
    // The state outlives this object in the thread's own copy.
    if (idle)
        m_state->worker.join();
    else
        m_state->worker.detach();
}

void WriterThread::Post(std::function<void()> task) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->tasks.push_back(std::move(task));
    m_state->wake.notify_all();
}

bool WriterThread::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(m_state->lock);
    return m_state->wake.wait_for(guard, limit,
                                  [&] { return !m_state->busy && m_state->tasks.empty(); });
}

bool WriterThread::Call(std::function<void()> task, std::chrono::milliseconds limit) {
    Post(std::move(task));
    return WaitIdle(limit);
}

void WriterThread::SetOverdue(std::chrono::milliseconds limit, std::function<void()> overdue) {
    std::lock_guard<std::mutex> guard(m_state->lock);
    m_state->overdueLimit = limit;
    m_state->overdue = std::move(overdue);
    m_state->wake.notify_all();
}

bool WriterThread::Stuck() const {
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->stuck;
}

}  // namespace yukt::records
