#pragma once
// The analog drivers and generators against simulated modules: a bench behind
// COM 1 reached through the real link and frame code, a scratch directory for
// cfg, data and site files, and a scripted module whose replies a test sets
// byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analog_test_util.h"
#include "link/com_port.h"
#include "link/tp6606.h"
#include "modules/model_table.h"
#include "modules/module_context.h"
#include "sim/bench.h"
#include "sim/device_table.h"
#include "sim/sim_module.h"

namespace yukt::test {

constexpr int kBenchCom = 1;

struct SentRequest {
    int command;
    std::vector<std::uint8_t> data;
};

// Answers each command with the replies queued for it (the last one repeats)
// and records every request it gets.
class ScriptedModule : public sim::SimModule {
  public:
    explicit ScriptedModule(std::string model) : SimModule(std::move(model)) {}

    // Queues a reply for the command; the last one queued repeats.
    void answer(int command, std::vector<std::uint8_t> data) {
        m_replies[command].push_back(sim::Reply::ok(std::move(data)));
    }
    // Replaces whatever was queued for the command.
    void setAnswer(int command, std::vector<std::uint8_t> data) {
        m_replies[command].clear();
        answer(command, std::move(data));
    }
    std::vector<SentRequest> requests;

  private:
    sim::Answer onCommand(int command, std::span<const std::uint8_t> data) override {
        requests.push_back({command, {data.begin(), data.end()}});
        auto it = m_replies.find(command);
        if (it == m_replies.end() || it->second.empty()) return sim::Reply::ok();
        sim::Reply reply = it->second.front();
        if (it->second.size() > 1) it->second.pop_front();
        return reply;
    }

    std::map<int, std::deque<sim::Reply>> m_replies;
};

// Little-endian bytes of a value.
inline void putBytes(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The reply of the one-channel read: three 24-bit readings.
inline std::vector<std::uint8_t> triple(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    std::vector<std::uint8_t> out;
    putBytes(out, a, 3);
    putBytes(out, b, 3);
    putBytes(out, c, 3);
    return out;
}

class AnalogBench : public ::testing::Test {
  protected:
    void SetUp() override {
        ctx.PathCfg = dir.dir();
        ctx.DataDir = dir.dir();
        ctx.SiteDir = dir.dir();
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
    }

    ScriptedModule& script(const std::string& model, int address) {
        auto m = std::make_unique<ScriptedModule>(model);
        ScriptedModule& ref = *m;
        bench.place(address, std::move(m));
        return ref;
    }
    sim::SimModule& device(const std::string& model, int address) {
        return bench.place(address, sim::makeDevice(model));
    }
    void setCurrent(double mA) {
        auto lk = bench.lock();
        bench.physics().generatorCurrentMa = mA;
    }
    void setRtd(double ohm) {
        auto lk = bench.lock();
        bench.physics().rtdOhm = ohm;
    }
    // Every reply line of the model's modules on Link 23, in table order.
    template <class Traits>
    std::vector<std::string> poll(ModelTable<Traits>& table) {
        replies.clear();
        table.WriteReply();
        return replies;
    }

    ScratchDir dir;
    sim::Bench bench;
    ModuleContext ctx;
    std::vector<std::string> replies;
};

}  // namespace yukt::test
