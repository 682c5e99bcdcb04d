#pragma once
// Time on the simulated bench, in seconds. Simulated time (the default) moves
// only with the bytes on the line (10 bit times each at the line speed) and
// with explicit advance() calls, so tests are exact and never sleep. Real
// time follows the steady clock; the pseudo-terminal bench runs on it.

#include <chrono>

namespace yukt::sim {

class BenchClock {
  public:
    enum class Mode { Simulated, Real };

    BenchClock();

    Mode mode() const { return m_mode; }
    // Switching keeps the current reading, so time never jumps back.
    void setMode(Mode mode);

    double now() const;
    // Simulated time only: moves the clock on (negative values are ignored).
    void advance(double seconds);

  private:
    Mode m_mode = Mode::Simulated;
    double m_simulated = 0.0;
    double m_realOffset = 0.0;
    std::chrono::steady_clock::time_point m_realStart;
};

}  // namespace yukt::sim
