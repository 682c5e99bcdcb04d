#pragma once
// The frequency drivers against the simulated modules: a bench behind COM 1,
// reached through the real link and frame code, a scratch configuration
// directory, and a module wrapper that records every request it serves.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/cp1251.h"
#include "link/com_port.h"
#include "link/tp6606.h"
#include "modules/model_table.h"
#include "modules/module_context.h"
#include "sim/bench.h"
#include "sim/device_table.h"
#include "sim/sim_module.h"

namespace yukt::freqtest {

constexpr int kBenchCom = 1;

struct Request {
    int command;
    std::vector<std::uint8_t> data;
};

// Serves requests with a simulated device of the model and keeps a copy of
// each one, so that tests can check the bytes a driver sent.
class RecordingModule : public sim::SimModule {
  public:
    explicit RecordingModule(std::string_view model)
        : SimModule(std::string(model)), m_inner(sim::makeDevice(model)) {
        setIdent(m_inner->ident());
    }

    sim::SimModule& inner() { return *m_inner; }
    template <class T>
    T& innerAs() {
        return dynamic_cast<T&>(*m_inner);
    }
    std::vector<Request> requests;

  private:
    sim::Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        requests.push_back({command, {data.begin(), data.end()}});
        return m_inner->request(command, data);
    }
    void onReset() override { m_inner->powerOn(); }

    std::unique_ptr<sim::SimModule> m_inner;
};

class FreqBench : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "yukt-freq-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern + "/";
        ctx.PathCfg = m_dir;
        ctx.DataDir = m_dir;
        ctx.PublishReply = [this](const std::string& line) { replies.push_back(line); };

        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            if (com == kBenchCom)
                port = bench.connect();
            else
                error = "нет порта";
            return port;
        });
        Ttp6606& link = ctx.Links.Create(1);
        link.SetComIndex(kBenchCom - 1);
        link.SetSpeed(9600);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen());
    }

    void TearDown() override {
        for (auto& link : ctx.Links.Links) link.reset();
        SetComPortOpener(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    // A recording module of the model at a line address.
    RecordingModule& place(std::string_view model, int address) {
        auto m = std::make_unique<RecordingModule>(model);
        RecordingModule& ref = *m;
        bench.place(address, std::move(m));
        // The device behind the recorder sees the bench's generator and clock.
        ref.inner().attach(&bench, sim::Role::Free);
        return ref;
    }

    void writeCfg(std::string_view model, const std::string& text) {
        WriteTextFile(m_dir + "tp" + std::string(model) + ".cfg", text);
    }
    std::string readFile(const std::string& name) {
        std::string text;
        ReadTextFile(m_dir + name, text);
        return text;
    }
    bool fileExists(const std::string& name) { return FileExists(m_dir + name); }

    // Generator pulses on the bench: period in seconds, first edge at `first`.
    void pulses(double period, double first = 0.0) {
        auto lk = bench.lock();
        bench.physics().pulses = {};
        bench.physics().pulses.firstEdge = first;
        bench.physics().pulses.period = period;
        bench.physics().pulses.width = period / 2;
    }
    void advance(double seconds) {
        auto lk = bench.lock();
        bench.clock().advance(seconds);
    }

    sim::Bench bench;
    ModuleContext ctx;
    std::vector<std::string> replies;

  private:
    std::string m_dir;
};

// Words of a blank-separated line.
inline std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

}  // namespace yukt::freqtest
