// ЮКТ-795b: indication console, eight rows of eight numeric displays.
//
//  - command 2, 17 bytes: the row (1..8), then per display two packed
//    decimal bytes: two integer digits, then one decimal digit in the upper
//    nibble of the second byte. A row outside 1..8 or a nibble that is not a
//    decimal digit is refused, and the row keeps what it showed.
// At power-on every display is dark.

#include <array>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kDisplayCommand = 2;
constexpr int kRows = 8;
constexpr int kPositions = 8;
constexpr std::size_t kRequestSize = 1 + 2 * kPositions;

bool decimalNibbles(std::uint8_t b) { return (b >> 4) <= 9 && (b & 0x0F) <= 9; }

class Dev795b final : public SimModule {
  public:
    Dev795b() : SimModule("795b") {}

  private:
    void onReset() override {
        for (auto& row : m_shown) row.fill(-1);
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command != kDisplayCommand || data.size() != kRequestSize) return Reply::refused();
        const int row = data[0];
        if (row < 1 || row > kRows) return Reply::refused();
        for (std::size_t i = 1; i < kRequestSize; ++i)
            if (!decimalNibbles(data[i])) return Reply::refused();
        for (int p = 0; p < kPositions; ++p) {
            const std::uint8_t whole = data[1 + 2 * p];
            const std::uint8_t tenth = data[2 + 2 * p] >> 4;
            // Tenths, so that the value shown is exact.
            m_shown[row - 1][p] = ((whole >> 4) * 10 + (whole & 0x0F)) * 10 + tenth;
        }
        return Reply::ok();
    }

    // Tenths shown per display; -1 dark.
    std::array<std::array<int, kPositions>, kRows> m_shown{};
};

}  // namespace

std::unique_ptr<SimModule> makeDevice795b() { return std::make_unique<Dev795b>(); }

}  // namespace yukt::sim
