#pragma once
// The 788x generator family: modes 0 backward, 1 forward, 2 calculation
// only. The timing goes out in two frames, the periods first.

#include <cstdint>

#include "modules/tp78t8.h"

namespace yukt {

class Ttp78x8 : public TFreqGenerator {
  public:
    explicit Ttp78x8(ModuleContext& ctx) : TFreqGenerator(ctx) {}

    // 0 and 1 are kept; anything else is 2.
    static std::uint8_t ModeFor(int m) {
        return (m == 0 || m == 1) ? static_cast<std::uint8_t>(m) : 2;
    }
    void SetMode(int m) { setModeField(ModeFor(m)); }

    // 0 (done, or nothing to do), -1 (mode not supported), -2 (no answer).
    int Apply();
    // 0 or -2.
    int ReadCount();
    GeneratorValues ReportedValues() const {
        return Mode() == 2 ? GeneratorValues::Planned : GeneratorValues::Measured;
    }
};

}  // namespace yukt
