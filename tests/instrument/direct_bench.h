#pragma once
// A simulated calibrator bench behind COM 1 for the direct-access tests: the
// real link code talks to it through the COM-port opener. COM 2..4 do not
// exist.

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

#include "common/module_ids.h"
#include "instrument/cprbr.h"
#include "link/com_port.h"
#include "sim/bench.h"
#include "sim/sim_module.h"

namespace yukt::testing_direct {

constexpr int kBenchCom = 1;
constexpr int kBase = 0x300;
constexpr int kResonator = 10794000;
constexpr int kBaud = 9600;

// A module with nothing but what every module has: identification, reset
// and FLASH.
class FlashOnlyModule : public sim::SimModule {
  public:
    using SimModule::SimModule;

  private:
    sim::Answer onCommand(int, std::span<const std::uint8_t>) override { return std::nullopt; }
};

inline std::string identOf(std::string_view type) {
    return std::string(type) + ids::kDefaultVariant + std::string(ids::kDefaultVersion);
}

class DirectBench : public ::testing::Test {
  protected:
    void SetUp() override {
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == kBenchCom)
                port = bench.connect();
            else
                error = "нет порта";
            return port;
        });
        module = &bench.plugUnderTest(std::make_unique<FlashOnlyModule>("745t"));
        prbr = std::make_unique<TcPrbr>();
    }

    void TearDown() override {
        prbr->CloseDirect();
        prbr.reset();
        SetComPortOpener(nullptr);
    }

    // The module under test at address 0 of the exchange bus.
    bool openAt(int moduleAddr) {
        return prbr->OpenDirect(kBase, kResonator, moduleAddr, kBenchCom, kBaud);
    }

    // Plain (unmasked) byte of a triple-copy item as the module stores it.
    std::uint8_t stored(int cell, std::uint8_t mask) {
        auto lk = bench.lock();
        return module->flash().read(cell) ^ mask;
    }

    sim::Bench bench;
    sim::SimModule* module = nullptr;
    std::unique_ptr<TcPrbr> prbr;
};

}  // namespace yukt::testing_direct
