#pragma once
// A configuration directory and a simulated calibrator bench behind COM 1 for
// the command-layer and component tests: the real link and driver code talk
// to the bench through the COM-port opener.
//
// Default configuration: no link board, COM 1 at 9600 baud, the calibrator's
// generator 787x number 1 (address 1), frequency generator 788t number 1
// (address 2) and meter 745t number 1 (address 4), all reporting to the
// component (Link 23); tests add their modules under test with addModule.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "link/com_port.h"
#include "link/link_hooks.h"
#include "sim/bench.h"
#include "sim/device_table.h"

namespace yukt::testing_set {

constexpr int kBenchCom = 1;

inline std::string makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "yukt-instr-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    return made ? std::string(made) + "/" : std::string();
}

class SetBench : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty());
        // Closing a link lets it settle for 600 ms; the bench needs none.
        SetWaitPumpHook([](int) {});
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == kBenchCom)
                port = bench.connect();
            else
                error = "нет порта";
            return port;
        });
        bench.installCalibrator(true);
        writeDefaultConfig();
    }

    void writeDefaultConfig() {
        writeFile("tp6606.cfg", ";Адрес Номер Резонатор Скорость\n");
        writeFile("tpCom.cfg", ";COM Скорость\n 1    9600\n");
        writeFile("tp787x.cfg", "787x 1 1 23 1  4  6\n");
        writeFile("tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n");
        writeFile("tp745t.cfg", "745t 1 1 23 4 91.85776 91.85776 2 2500.0\n");
    }

    void TearDown() override {
        SetComPortOpener(nullptr);
        SetWaitPumpHook(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void writeFile(const std::string& name, const std::string& text) {
        ASSERT_TRUE(WriteTextFile(dir + name, text));
    }
    void appendFile(const std::string& name, const std::string& text) {
        ASSERT_TRUE(AppendTextFile(dir + name, text));
    }
    std::string readFile(const std::string& name) {
        std::string text;
        ReadTextFile(dir + name, text);
        return text;
    }

    // Puts a simulated module of `model` at `address` and appends `cfgLine`
    // to the model's configuration file.
    void addModule(const std::string& model, int address, const std::string& cfgLine) {
        bench.place(address, sim::makeDevice(model));
        appendFile("tp" + model + ".cfg", cfgLine + "\n");
    }

    std::string dir;
    sim::Bench bench;
};

}  // namespace yukt::testing_set
