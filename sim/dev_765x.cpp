// ЮКТ-765x: dry-contact inputs and outputs in four 8-bit ports.
//
//  - command 1, four bytes: the output levels of ports P0..P3;
//  - command 2, no data: the four ports as they read, each the output level
//    and-ed with its contact inputs (a closed contact pulls a bit low).
// At power-on every output is off (all bits high).

#include <array>
#include <memory>

#include "sim/sim_module.h"

namespace yukt::sim {

namespace {

constexpr int kWritePorts = 1;
constexpr int kReadPorts = 2;
constexpr std::size_t kPorts = 4;

class Dev765x final : public SimModule {
  public:
    Dev765x() : SimModule("765x") {}

  private:
    void onReset() override {
        m_outputs.fill(0xFF);
        m_inputs.fill(0xFF);
    }

    Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        if (command == kWritePorts && data.size() == kPorts) {
            for (std::size_t i = 0; i < kPorts; ++i) m_outputs[i] = data[i];
            return Reply::ok();
        }
        if (command == kReadPorts && data.empty()) {
            std::vector<std::uint8_t> out;
            for (std::size_t i = 0; i < kPorts; ++i)
                out.push_back(static_cast<std::uint8_t>(m_outputs[i] & m_inputs[i]));
            return Reply::ok(std::move(out));
        }
        return Reply::refused();
    }

    std::array<std::uint8_t, kPorts> m_outputs{0xFF, 0xFF, 0xFF, 0xFF};
    std::array<std::uint8_t, kPorts> m_inputs{0xFF, 0xFF, 0xFF, 0xFF};
};

}  // namespace

std::unique_ptr<SimModule> makeDevice765x() { return std::make_unique<Dev765x>(); }

}  // namespace yukt::sim
