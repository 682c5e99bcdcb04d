// Direct access while the instrument is open on the calibrator's COM port (as
// at the end of a verification): the private channel borrows the module
// set's link instead of opening the port a second time, and leaves it to the
// instrument afterwards.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "common/text.h"
#include "direct_bench.h"
#include "instrument/cprbr.h"
#include "instrument/module_set.h"
#include "set_bench.h"

namespace yukt {
namespace {

using namespace std::chrono_literals;

class DirectBorrowTest : public testing_set::SetBench {
  protected:
    void SetUp() override {
        SetBench::SetUp();
        bench.plugUnderTest(std::make_unique<testing_direct::FlashOnlyModule>("748x"));
        instrument = std::make_unique<TcPrbr>();
        instrument->SetOnGet([this](TcPrbr& sender) {
            std::lock_guard<std::mutex> g(m_lock);
            m_lastGet = sender.sGet();
            m_changed.notify_all();
        });
        instrument->SetOnSet([this](TcPrbr&) {
            std::lock_guard<std::mutex> g(m_lock);
            ++m_sets;
            m_changed.notify_all();
        });
        instrument->SetPathCfg(dir);
        instrument->SetOpenPribor(true);
    }

    void TearDown() override {
        instrument->CloseDirect();
        instrument.reset();
        TheModuleSet().CloseModuleSet();
        SetBench::TearDown();
    }

    // Hands a command to the open instrument and waits until it is consumed.
    bool command(const std::string& line) {
        std::unique_lock<std::mutex> g(m_lock);
        int before = m_sets;
        g.unlock();
        instrument->SetsSet(line);
        g.lock();
        return m_changed.wait_for(g, 10s, [&] { return m_sets > before; });
    }

    std::string lastGet() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_lastGet;
    }

    std::unique_ptr<TcPrbr> instrument;

  private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_lastGet;
    int m_sets = 0;
};

TEST_F(DirectBorrowTest, BorrowsTheOpenInstrumentsLink) {
    ASSERT_TRUE(instrument->OpenPribor());
    ASSERT_TRUE(command("Get 745t 1"));
    EXPECT_EQ(GetColumn(lastGet(), 1, 2), "745t 1");

    EXPECT_EQ(instrument->ChannelState(0x300, testing_set::kBenchCom), 1);
    ASSERT_TRUE(instrument->OpenDirect(0x300, 10794000, 0, testing_set::kBenchCom, 9600));
    EXPECT_EQ(instrument->ReadIdent(), testing_direct::identOf(ids::kType748x));
    EXPECT_EQ(instrument->ReadModuleAddress(), 1);
    instrument->CloseDirect();

    // The instrument still talks through its link.
    ASSERT_TRUE(command("Get 745t 1"));
    EXPECT_EQ(GetColumn(lastGet(), 1, 2), "745t 1");
    EXPECT_EQ(instrument->ReadIdent(), "");
}

}  // namespace
}  // namespace yukt
