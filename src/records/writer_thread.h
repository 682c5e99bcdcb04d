// A thread of its own for the records database's calls, so that a run's
// driver never waits behind the database: a silent server or another
// program's write lock can delay a record, never the generator's safe value
// nor the run's own deadlines. Tasks run one at a time, in the order posted.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace yukt::records {

class WriterThread {
  public:
    WriterThread();
    // Joins the thread once its tasks are done; a thread still held by a
    // task (a database that went silent) is left to the process's exit.
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    void Post(std::function<void()> task);
    // Waits until every task posted so far is done; false when `limit`
    // passed first (the task under way is still running then).
    bool WaitIdle(std::chrono::milliseconds limit);
    // Runs `task` on the thread and waits for it; false as WaitIdle.
    bool Call(std::function<void()> task, std::chrono::milliseconds limit);
    // `overdue` is called (from a watching thread, once) when a task has
    // been running longer than `limit`: the run is stopped then, not at its end.
    void SetOverdue(std::chrono::milliseconds limit, std::function<void()> overdue);
    // A task overran its limit and has not returned yet.
    bool Stuck() const;

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace yukt::records
