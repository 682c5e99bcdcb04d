#pragma once
// The bench's line on a pseudo-terminal: the workstation opens the symlink
// as it would open a serial port, and every byte it writes goes to the bench.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "sim/bench.h"

namespace yukt::sim {

class PtyLine {
  public:
    // Opens a pseudo-terminal in raw mode and puts a symlink to it at
    // linkPath (replacing an old symlink, never another file). Null on
    // failure, with the reason in error.
    static std::unique_ptr<PtyLine> open(const std::string& linkPath, std::string& error);
    ~PtyLine();  // removes the symlink if it still points here
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    const std::string& ptyName() const { return m_ptyName; }
    const std::string& linkPath() const { return m_link; }
    // The device side, for a line played from elsewhere than the bench.
    int masterFd() const { return m_master; }

    // Serves the bench until stop becomes true. With wire timing each byte
    // takes 10 bit times at the bench's line speed. idle() runs between
    // bytes at least every 100 ms (the control file is read there).
    void serve(Bench& bench, bool wireTiming, const std::atomic<bool>& stop,
               const std::function<void()>& idle = {});

  private:
    PtyLine(int master, int slave, std::string ptyName, std::string link);

    int m_master;
    int m_slave;
    std::string m_ptyName;
    std::string m_link;
};

}  // namespace yukt::sim
