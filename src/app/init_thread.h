#pragma once
// The start-up thread: searches COM1..COM4 for the calibrator by identifying
// its reference modules through direct access, reads the calibration values
// they keep in FLASH and writes the calibrator's configuration files into the
// working directory. It runs once per launch, beside the main thread.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/cfg_lines.h"

namespace yukt {

struct InitResult {
    CalibratorInfo Info;
    // Files that could not be written (empty when all went well).
    std::vector<std::string> UnwritableFiles;
    // The search was stopped from outside; nothing was written.
    bool Cancelled = false;
};

class TInitThread {
  public:
    // Hands progress value and text to the main thread and returns once they
    // are shown; false when the thread is asked to stop.
    using ShowProgress = std::function<bool(int value, const std::string& text)>;
    // Called at the very end, in the thread.
    using Finished = std::function<void(const InitResult& result)>;

    TInitThread(std::string programDir, ShowProgress show, Finished finished);
    // Asks the thread to stop and waits for it.
    ~TInitThread();
    TInitThread(const TInitThread&) = delete;
    TInitThread& operator=(const TInitThread&) = delete;

    void Start();
    // The running search gives up at its next step.
    void RequestStop() { m_stop = true; }

  private:
    void Execute();
    bool show();

    std::string m_programDir;
    ShowProgress m_show;
    Finished m_finished;
    std::atomic<bool> m_stop{false};
    int m_progress = 0;
    std::string m_text;
    std::thread m_thread;
};

// Direct-access settings of the calibrator's port: link-board base address
// and resonator (they matter only for board channels), line speed.
constexpr int kDirectBaseAddr = 0x300;
constexpr int kDirectResonator = 10794000;
constexpr int kDirectBaud = 9600;

}  // namespace yukt
