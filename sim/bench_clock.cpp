#include "sim/bench_clock.h"

namespace yukt::sim {

BenchClock::BenchClock() : m_realStart(std::chrono::steady_clock::now()) {}

void BenchClock::setMode(Mode mode) {
    if (mode == m_mode) return;
    const double reading = now();
    m_mode = mode;
    if (mode == Mode::Real) {
        m_realStart = std::chrono::steady_clock::now();
        m_realOffset = reading;
    } else {
        m_simulated = reading;
    }
}

double BenchClock::now() const {
    if (m_mode == Mode::Simulated) return m_simulated;
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - m_realStart;
    return m_realOffset + since.count();
}

void BenchClock::advance(double seconds) {
    if (m_mode == Mode::Simulated && seconds > 0) m_simulated += seconds;
}

}  // namespace yukt::sim
