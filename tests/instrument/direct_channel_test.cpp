// The private direct-access channel on the simulated bench: its states, who
// opens it, identification of the module under test, and borrowing a link
// that the module set already holds.

#include "instrument/direct_channel.h"

#include <memory>

#include "direct_bench.h"
#include "instrument/identify.h"
#include "instrument/module_set.h"
#include "link/io_ports.h"
#include "link/tp6606.h"

namespace yukt::testing_direct {
namespace {

using DirectChannelTest = DirectBench;

TEST_F(DirectChannelTest, StateOfEachChannelNumber) {
    struct Case {
        int com;
        int state;
    };
    const Case closed[] = {{0, 255}, {21, 255}, {-1, 255}, {kBenchCom, 0}, {2, 2}, {4, 2}};
    for (const Case& c : closed) EXPECT_EQ(prbr->ChannelState(kBase, c.com), c.state) << c.com;

    ASSERT_TRUE(openAt(0));
    EXPECT_EQ(prbr->ChannelState(kBase, kBenchCom), 3);
    EXPECT_EQ(prbr->ChannelState(kBase, 2), 2);
    prbr->CloseDirect();
    EXPECT_EQ(prbr->ChannelState(kBase, kBenchCom), 0);
}

TEST_F(DirectChannelTest, OpensOnlyExistingChannels) {
    for (int com : {0, 21, 2}) EXPECT_FALSE(prbr->OpenDirect(kBase, kResonator, 0, com, kBaud));
    EXPECT_EQ(prbr->ReadIdent(), "");
    ASSERT_TRUE(openAt(0));
    // A second opening replaces the first without leaving the port held.
    ASSERT_TRUE(openAt(0));
    EXPECT_EQ(prbr->ReadIdent(), identOf(ids::kType745t));
}

// Nothing answers identification on a board that is not there.
class AbsentBoard final : public IoPorts {
    std::uint8_t doIn(std::uint16_t) override { return 0xFF; }
    void doOut(std::uint16_t, std::uint8_t) override {}
};

TEST_F(DirectChannelTest, BoardThatDoesNotAnswerIdentification) {
    SetIoPorts(std::make_shared<AbsentBoard>());
    EXPECT_EQ(prbr->ChannelState(kBase, 5), 4);
    SetIoPorts(nullptr);
}

TEST_F(DirectChannelTest, ClosedChannelAnswersNothing) {
    ASSERT_TRUE(openAt(0));
    prbr->CloseDirect();
    EXPECT_EQ(prbr->ReadIdent(), "");
    EXPECT_EQ(prbr->ReadModuleAddress(), -1);
    EXPECT_FALSE(prbr->ReadFlashByte(0).has_value());
    EXPECT_FALSE(prbr->WriteFlashByte(0, 3));
    EXPECT_EQ(prbr->ResetModule(), -1);
    auto lk = bench.lock();
    EXPECT_EQ(module->flash().address(), 1);
}

TEST_F(DirectChannelTest, NewComponentClosesTheChannelAndFreesThePort) {
    ASSERT_TRUE(openAt(0));
    TcPrbr other;
    EXPECT_EQ(prbr->ReadIdent(), "");
    EXPECT_EQ(other.ChannelState(kBase, kBenchCom), 0);
    ASSERT_TRUE(other.OpenDirect(kBase, kResonator, 0, kBenchCom, kBaud));
    // The channel is process-wide: any component reads through it.
    EXPECT_EQ(prbr->ReadIdent(), identOf(ids::kType745t));
}

TEST_F(DirectChannelTest, IdentifiesTheDeviceOnTheExchangeBus) {
    struct Case {
        const char* second;  // model of the module at address 7, "" for none
        int kind;
        int count;
    };
    const Case cases[] = {{"", 1, 1}, {"748x", 14, 2}, {"745t", 13, 2}, {"748t", 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        if (*c.second != '\0')
            bench.plugSecond(std::make_unique<FlashOnlyModule>(c.second));
        else
            bench.unplugSecond();
        ASSERT_TRUE(openAt(0));
        std::string first = prbr->ReadIdent();
        ASSERT_TRUE(openAt(7));
        std::string second = prbr->ReadIdent();
        prbr->CloseDirect();
        if (*c.second == '\0') {
            EXPECT_EQ(second, "?");
        }
        ModuleIdentity id = IdentifyModule(first, second);
        EXPECT_EQ(id.FirstKind, 1);
        EXPECT_EQ(id.ModuleKind, c.kind);
        EXPECT_EQ(id.DeviceModuleCount, c.count);
    }
}

TEST_F(DirectChannelTest, ModuleTakesItsNewAddressAtReset) {
    ASSERT_TRUE(openAt(0));
    ASSERT_TRUE(prbr->WriteModuleAddress(6));
    EXPECT_EQ(prbr->ResetModule(), 0);
    prbr->CloseDirect();
    bench.setModeSwitch(sim::ModeSwitch::Verification);
    ASSERT_TRUE(openAt(6));
    EXPECT_EQ(prbr->ReadIdent(), identOf(ids::kType745t));
    EXPECT_EQ(prbr->ReadModuleAddress(), 6);
}

TEST_F(DirectChannelTest, FailedResetLeavesItsErrorTextOnTheChannel) {
    ASSERT_TRUE(openAt(0));
    bench.injectFault({.kind = sim::FaultKind::Refuse});
    EXPECT_EQ(prbr->ResetModule(), -3);
    EXPECT_EQ(TheDirectChannel().Own->ErrorText, "Модуль на линии не обнаружен");
    bench.unplugUnderTest();
    EXPECT_EQ(prbr->ResetModule(), -1);
    EXPECT_EQ(TheDirectChannel().Own->ErrorText, "Команда \"СБРОС\" не проходит");
}

// The module set still holds COM 1 (as at the end of a verification): the
// channel talks through that link and leaves it open when it closes.
class BorrowedChannelTest : public DirectBench {
  protected:
    void SetUp() override {
        DirectBench::SetUp();
        LinkTable& links = TheModuleSet().Context().Links;
        Ttp6606& link = links.Create(1);
        link.SetComIndex(kBenchCom - 1);
        link.SetSpeed(4800);
        link.SetAddr(1);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen());
        links.LinkCount = 1;
    }
    void TearDown() override {
        LinkTable& links = TheModuleSet().Context().Links;
        links.Links[1].reset();
        links.LinkCount = 0;
        DirectBench::TearDown();
    }
    Ttp6606& setLink() { return *TheModuleSet().Context().Links.Entry(1); }
};

TEST_F(BorrowedChannelTest, UsesTheModuleSetsLink) {
    EXPECT_EQ(prbr->ChannelState(kBase, kBenchCom), 1);
    ASSERT_TRUE(openAt(0));
    EXPECT_EQ(setLink().Addr(), 0);
    EXPECT_EQ(setLink().Speed(), kBaud);
    EXPECT_EQ(prbr->ReadIdent(), identOf(ids::kType745t));
    EXPECT_EQ(prbr->ReadModuleAddress(), 1);
    ASSERT_TRUE(prbr->WriteModuleAddress(6));
    prbr->CloseDirect();
    EXPECT_TRUE(setLink().IsOpen());
    EXPECT_EQ(prbr->ReadIdent(), "");
    auto lk = bench.lock();
    EXPECT_EQ(module->flash().address(), 6);
}

TEST_F(BorrowedChannelTest, ChannelClosesWhenTheModuleSetLetsGo) {
    ASSERT_TRUE(openAt(0));
    TheModuleSet().Context().Links.Links[1].reset();
    EXPECT_EQ(prbr->ReadIdent(), "");
    EXPECT_EQ(prbr->ReadModuleAddress(), -1);
}

}  // namespace
}  // namespace yukt::testing_direct
