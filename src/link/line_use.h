#pragma once
#include <array>

namespace yukt {

// LineUse[board 1..4][line 1..4]: the board line carries configured modules.
// Index 0 of either dimension is unused.
using LineUseMap = std::array<std::array<bool, 5>, 5>;

}  // namespace yukt
