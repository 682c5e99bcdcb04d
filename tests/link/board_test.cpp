#include <gtest/gtest.h>

#include <memory>

#include "board_sim.h"
#include "fake_com.h"
#include "link/link_hooks.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

using test::ControllerBoardSim;
using test::ModuleFrame;
using test::RegisterBoardSim;

class BoardHooks : public ::testing::Test {
  protected:
    void SetUp() override {
        SetBeepHook([this] { ++beeps; });
        SetWaitPumpHook([this](int ms) { pumped.push_back(ms); });
    }
    void TearDown() override {
        SetBeepHook({});
        SetWaitPumpHook({});
        SetIoPorts(nullptr);
    }
    int beeps = 0;
    std::vector<int> pumped;
};

class RegisterBoard : public BoardHooks {
  protected:
    void SetUp() override {
        BoardHooks::SetUp();
        board = std::make_shared<RegisterBoardSim>(0x300);
        SetIoPorts(board);
    }
    std::shared_ptr<RegisterBoardSim> board;
    Ttp6606 link;
};

TEST_F(RegisterBoard, OpensWithDivisor36ForTheDefaults) {
    link.OpenLink(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.BoardOpen());
    EXPECT_FALSE(link.SmartBoard());
    EXPECT_EQ(link.ErrorText, "");
    EXPECT_EQ(board->divisor, 36);
    EXPECT_EQ(board->line[1].inits, 1);
    EXPECT_EQ(pumped, std::vector<int>{600});
    link.OpenLink(false);
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(RegisterBoard, DivisorFollowsCrystalAndSpeed) {
    struct Case {
        int crystal, baud, divisor;
    } cases[] = {
        {10994000, 4800, 36}, {10994000, 9600, 18}, {10994000, 1200, 143}, {16000000, 19200, 13}};
    for (const Case& c : cases) {
        link.SetCrystal(c.crystal);
        link.SetSpeed(c.baud);
        link.OpenLink(true);
        EXPECT_EQ(board->divisor, c.divisor) << c.crystal << " " << c.baud;
    }
    EXPECT_EQ(link.SetBaud(1, 0, 10994000), -2);
    EXPECT_EQ(link.SetBaud(1, 600, 10994000), -2);  // 286 does not fit the divisor
}

TEST_F(RegisterBoard, OpenFailures) {
    struct Case {
        const char* name;
        std::function<void(RegisterBoardSim&)> setup;
        std::string error;
    } cases[] = {
        {"not installed", [](RegisterBoardSim& b) { b.installed = false; }, "плата не установлена"},
        {"speed not confirmed", [](RegisterBoardSim& b) { b.ignoreDivisor = true; },
         "плата не настраивается"},
        {"no port access", [](RegisterBoardSim& b) { b.refuseAccess = true; },
         "нет доступа к портам"},
    };
    for (const Case& c : cases) {
        board = std::make_shared<RegisterBoardSim>(0x300);
        c.setup(*board);
        SetIoPorts(board);
        Ttp6606 l;
        l.OpenLink(true);
        EXPECT_FALSE(l.IsOpen()) << c.name;
        EXPECT_EQ(l.ErrorText, c.error) << c.name;
    }
}

TEST_F(RegisterBoard, StatusIsReadUntilStable) {
    board->unstableReads = 40;
    link.OpenLink(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(board->unstableReads, 0);
}

TEST_F(RegisterBoard, BaseAddressOutsideTheListIsUsedAs300) {
    link.SetBaseAddr(0x280);
    link.OpenLink(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.BaseAddress(), 0x300);
}

TEST_F(RegisterBoard, BytesBothWays) {
    link.OpenLink(true);
    board->commands.clear();
    EXPECT_EQ(link.SendByte(6, 0xA7), 0);
    EXPECT_EQ(link.SendByte(6, 0x01), 0);
    EXPECT_EQ(link.SendByte(6, 0x02), 0);
    EXPECT_EQ(board->line[6].sent, (std::vector<std::uint8_t>{0xA7, 0x01, 0x02}));
    // Every byte is a new command for the board: the codes alternate.
    EXPECT_EQ(board->commands, (std::vector<int>{6, 4, 6}));

    board->line[6].queue({0x3C, 0x00});
    board->commands.clear();
    EXPECT_EQ(link.RecvByte(6), 0x3C);
    EXPECT_EQ(link.RecvByte(6), 0);
    EXPECT_EQ(board->commands, (std::vector<int>{7, 5}));
    EXPECT_EQ(link.RecvByte(6), -1);

    board->sendError = true;
    EXPECT_EQ(link.SendByte(6, 1), -2);
}

TEST_F(RegisterBoard, ThirtyTwoZeroBytesAreALineBreak) {
    link.OpenLink(true);
    const int initsBefore = board->line[3].inits;
    const int opensBefore = board->line[1].inits;  // every open initialises line 1
    board->line[3].queue(std::vector<std::uint8_t>(40, 0));
    for (int i = 1; i <= 31; ++i) ASSERT_EQ(link.RecvByte(3), 0) << i;
    EXPECT_EQ(beeps, 31);
    EXPECT_EQ(link.ErrorText, "");
    EXPECT_EQ(link.RecvByte(3), -1);
    EXPECT_EQ(link.ErrorText, "Обрыв линии по каналу 3");
    EXPECT_EQ(beeps, 33);
    EXPECT_EQ(link.ZeroCount(), 33);
    EXPECT_EQ(board->line[1].inits, opensBefore + 1);
    EXPECT_EQ(board->line[3].inits, initsBefore + 1);
    EXPECT_TRUE(link.IsOpen());
    // Further zero bytes give -1 quietly until a non-zero byte arrives.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(link.RecvByte(3), -1);
    EXPECT_EQ(beeps, 33);
    board->line[3].queue({0x41, 0});
    EXPECT_EQ(link.RecvByte(3), 0x41);
    EXPECT_EQ(link.ZeroCount(), 0);
    EXPECT_EQ(link.RecvByte(3), 0);
}

TEST_F(RegisterBoard, FramesOverABoardLine) {
    link.OpenLink(true);
    link.SetLine(2);
    link.SetAddr(6);
    board->line[2].onByte = [](test::BoardLine& l, std::uint8_t b) {
        if (b == 10) l.queue(ModuleFrame(0x68, {'7', '4', '5', '0', '0', 'A', '0', '1'}));
    };
    EXPECT_EQ(link.ReadIdent(), "74500A01");
    EXPECT_EQ(board->line[2].sent,
              (std::vector<std::uint8_t>{170, 170, 85, '0', '1', '6', '7', '6', '8', 10}));
}

TEST_F(RegisterBoard, ReceiveTextLooksOnceAndReadsAFrame) {
    link.OpenLink(true);
    link.SetLine(5);
    EXPECT_EQ(link.ReceiveText(), "");
    EXPECT_EQ(link.ErrorText, "");
    std::string text = "get 745t 2";
    std::vector<std::uint8_t> frame = {31, 31};
    frame.insert(frame.end(), text.begin(), text.end());
    frame.push_back('5');
    frame.push_back(26);
    board->line[5].queue(frame);
    EXPECT_EQ(link.ReceiveText(), text);
}

class ControllerBoard : public BoardHooks {
  protected:
    void SetUp() override {
        BoardHooks::SetUp();
        board = std::make_shared<ControllerBoardSim>(0x108);
        SetIoPorts(board);
        link.SetBaseAddr(0x108);
        link.SetBoardNumber(2);
        link.SetLineUse(&lineUse);
    }
    std::shared_ptr<ControllerBoardSim> board;
    LineUseMap lineUse{};
    Ttp6606 link;
};

TEST_F(ControllerBoard, ProbeOnAMarkedLineAndSpeedOnEveryMarkedLine) {
    lineUse[2][2] = true;
    lineUse[2][4] = true;
    lineUse[1][1] = true;  // another board's line
    link.OpenLink(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.SmartBoard());
    EXPECT_EQ(board->speedValue[2], 250);
    EXPECT_EQ(board->speedValue[4], 250);
    EXPECT_EQ(board->speedValue[1], -1);
    EXPECT_EQ(board->speedValue[3], -1);
}

TEST_F(ControllerBoard, DirectOpenUsesLineOneAndTheCurrentLine) {
    link.SetLine(3);
    link.OpenLinkDirect(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.SmartBoard());
    EXPECT_EQ(board->speedValue[3], 250);
    EXPECT_EQ(board->speedValue[1], -1);
}

TEST_F(ControllerBoard, BoardIdentNeedsTheClosingLineFeed) {
    EXPECT_EQ(link.BoardIdent(1), "6606K");
    board->identText = std::string(21, 'x');
    EXPECT_EQ(link.BoardIdent(1), "");
    board->answersIdent = false;
    EXPECT_EQ(link.BoardIdent(1), "");
}

TEST_F(ControllerBoard, OnlyLineBytesPassAndSpeedFailureBeeps) {
    lineUse[2][1] = true;
    link.OpenLink(true);
    ASSERT_TRUE(link.SmartBoard());
    board->line[1].queue({'5', 31, 170, 85, 10, 'A'});
    EXPECT_EQ(link.RecvByte(1), '5');
    EXPECT_EQ(link.RecvByte(1), -1);
    EXPECT_EQ(link.RecvByte(1), 170);
    EXPECT_EQ(link.RecvByte(1), 85);
    EXPECT_EQ(link.RecvByte(1), 10);
    EXPECT_EQ(link.RecvByte(1), -1);

    board->busy = true;
    EXPECT_EQ(link.SetBaud(1, 4800, 10994000), -1);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(link.SetBaud(1, 10, 10994000), -2);
}

TEST_F(ControllerBoard, SilentLineIsAReceptionFault) {
    lineUse[2][1] = true;
    link.OpenLink(true);
    ASSERT_TRUE(link.SmartBoard());
    EXPECT_EQ(link.ReceiveText(), "");
    EXPECT_EQ(link.ErrorText, "Сбой при приеме по Link-линии ");
}

}  // namespace
}  // namespace yukt
