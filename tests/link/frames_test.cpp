#include <gtest/gtest.h>

#include "fake_com.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

using test::Bytes;
using test::FakeComPorts;
using test::ModuleFrame;

class ComLink : public ::testing::Test {
  protected:
    void SetUp() override {
        link.SetComIndex(0);
        link.OpenLink(true);
        ASSERT_TRUE(link.IsOpen());
    }
    // A module that answers every request frame (at its LF) with `reply`.
    void answerWith(const std::vector<std::uint8_t>& reply) {
        ports[1].onByte = [reply](test::FakeLine& l, std::uint8_t b) {
            if (b == 10) l.queue(reply);
        };
    }
    FakeComPorts ports;
    Ttp6606 link;
};

TEST_F(ComLink, SendCmdPutsTheDocumentedBytesOnTheLine) {
    link.SendCmd(1, 3, 7);
    EXPECT_EQ(ports[1].fromHost,
              (std::vector<std::uint8_t>{170, 170, 85, '0', '1', '3', '7', '3', '8', 10}));
}

TEST_F(ComLink, SendFrameEncodesDataAndSum) {
    link.Buf[0] = 0x7F;
    link.Buf[1] = 0xA0;
    EXPECT_EQ(link.SendFrame(1, 1, 2, 1), 1);
    // LEN 3, HDR 0x11, data 7F A0, SUM (3 + 0x11 + 0x7F + 0xA0) mod 256 = 0x33.
    EXPECT_EQ(ports[1].fromHost, (std::vector<std::uint8_t>{170, 170, 85, '0', '3', '1', '1', '7',
                                                            '?', ':', '0', '3', '3', 10}));
}

TEST_F(ComLink, SendFrameRefusesLengthsItCannotEncode) {
    for (int n : {-1, 255, 256, 1000}) {
        ports[1].fromHost.clear();
        EXPECT_EQ(link.SendFrame(1, 1, n, 1), -1) << n;
        EXPECT_TRUE(ports[1].fromHost.empty()) << n;
    }
    EXPECT_EQ(link.SendFrame(1, 1, 254, 1), 1);
    EXPECT_EQ(ports[1].fromHost.size(), 3u + 6 + 2 * 254 + 1);
}

TEST_F(ComLink, ReceiveFrameResults) {
    const std::vector<std::uint8_t> ok = ModuleFrame(56, {1, 2, 3});
    auto withSum = [&](int sum) {
        auto f = ok;
        f[f.size() - 3] = static_cast<std::uint8_t>('0' + (sum >> 4));
        f[f.size() - 2] = static_cast<std::uint8_t>('0' + (sum & 15));
        return f;
    };
    auto withEnd = [&](std::uint8_t end) {
        auto f = ok;
        f.back() = end;
        return f;
    };
    std::vector<std::uint8_t> noise = {0, 1, 0x55, '3', 10};
    noise.insert(noise.end(), ok.begin(), ok.end());
    // High bits of the nibble characters are not checked: 'p' is 0x70, low nibble 0.
    std::vector<std::uint8_t> highBits = {170, 85, 'p', '1', 's', '8', '3', 'y', 10};
    struct Case {
        const char* name;
        std::vector<std::uint8_t> line;
        int want;
        int recvLen;
    } cases[] = {
        {"accepted", ok, 0, 3},
        {"refused", ModuleFrame(48, {1, 2, 3}), -3, 3},
        {"one AA", ModuleFrame(56, {}, 1), 0, 0},
        {"four AA", ModuleFrame(56, {}, 4), 0, 0},
        {"five AA", ModuleFrame(56, {}, 5), -1, -1},
        {"noise first", noise, 0, 3},
        {"high bits", highBits, 0, 0},
        {"bad sum", withSum(0), -1, 3},
        {"no LF", withEnd(13), -1, 3},
        {"zero LEN", {170, 170, 85, '0', '0', '3', '8', '3', '8', 10}, -1, -1},
        {"wrong byte after AA", {170, 170, 0x54, '0', '1', '3', '8', '3', '9', 10}, -1, -1},
        {"torn", {170, 170, 85, '0', '4', '3', '8', '0'}, -1, 3},
        {"silence", {}, -1, -1},
    };
    int errors = 0;
    for (const Case& c : cases) {
        ports[1].toHost.clear();
        ports[1].queue(c.line);
        link.RecvLen = -1;
        EXPECT_EQ(link.ReceiveFrame(1), c.want) << c.name;
        EXPECT_EQ(link.RecvLen, c.recvLen) << c.name;
        if (c.want != 0) ++errors;
        EXPECT_EQ(link.ErrCount, errors) << c.name;
        EXPECT_EQ(link.ErrorText, "") << c.name;
    }
}

TEST_F(ComLink, RefusedFrameKeepsItsData) {
    ports[1].queue(ModuleFrame(0x30, {9, 8}));
    EXPECT_EQ(link.ReceiveFrame(1), -3);
    EXPECT_EQ(link.Buf[0], 9);
    EXPECT_EQ(link.Buf[1], 8);
}

TEST_F(ComLink, LongestFrameStaysInsideBuf) {
    std::vector<std::uint8_t> data(254);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    ports[1].queue(ModuleFrame(8, data));
    EXPECT_EQ(link.ReceiveFrame(1), 0);
    EXPECT_EQ(link.RecvLen, 254);
    EXPECT_EQ(link.Buf[253], 253);
}

TEST_F(ComLink, ByteTimeOutClearsThePortError) {
    EXPECT_EQ(link.RecvByte(1), -1);
    EXPECT_EQ(ports[1].errorClears, 1);
    ports[1].writeFails = true;
    EXPECT_EQ(link.SendByte(1, 5), -1);
    ports[1].writeFails = false;
    EXPECT_EQ(link.SendByte(1, 5), 1);
}

TEST_F(ComLink, ReadIdent) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> reply;
        std::string want;
    } cases[] = {
        {"text cut to 8", ModuleFrame(0x18, Bytes("74500A01xyz")), "74500A01"},
        {"up to a zero byte", ModuleFrame(0x18, {'7', '8', '7', 0, 'Z'}), "787"},
        {"refused", ModuleFrame(0x10, Bytes("74500A01")), ""},
        {"no reply", {}, "?"},
        {"bad sum", {170, 170, 85, '0', '1', '1', '8', '0', '0', 10}, "?"},
    };
    link.SetAddr(1);
    for (const Case& c : cases) {
        answerWith(c.reply);
        ports[1].fromHost.clear();
        EXPECT_EQ(link.ReadIdent(), c.want) << c.name;
        EXPECT_EQ(link.LastIdent, c.want) << c.name;
        // Command 7 to address 1.
        ASSERT_GE(ports[1].fromHost.size(), 7u);
        EXPECT_EQ(ports[1].fromHost[5], '1');
        EXPECT_EQ(ports[1].fromHost[6], '7');
    }
    link.OpenLink(false);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.ReadIdent(), "");
}

TEST_F(ComLink, ResetModule) {
    struct Case {
        std::vector<std::uint8_t> reply;
        int want;
        std::string error;
    } cases[] = {
        {ModuleFrame(0x18, {}), 0, "before"},
        {ModuleFrame(0x10, {}), -3, "Модуль на линии не обнаружен"},
        {{}, -1, "Команда \"СБРОС\" не проходит"},
    };
    for (const Case& c : cases) {
        answerWith(c.reply);
        link.ErrorText = "before";
        EXPECT_EQ(link.ResetModule(), c.want);
        EXPECT_EQ(link.ErrorText, c.error);
    }
}

TEST_F(ComLink, SendTextLimitsAndFrame) {
    link.SendText(std::string(160, 'a'));
    EXPECT_EQ(link.ErrorText, "");
    ASSERT_EQ(ports[1].fromHost.size(), 164u);
    EXPECT_EQ(ports[1].fromHost[0], 31);
    EXPECT_EQ(ports[1].fromHost[1], 31);
    EXPECT_EQ(ports[1].fromHost[162], 48 + (160 * 'a') % 16);
    EXPECT_EQ(ports[1].fromHost[163], 26);
    EXPECT_EQ(link.LastSent, std::string(160, 'a'));

    ports[1].fromHost.clear();
    link.SendText(std::string(161, 'a'));
    EXPECT_EQ(link.ErrorText, "Сообщение д.б. <= 160 байт");
    EXPECT_TRUE(ports[1].fromHost.empty());
    EXPECT_EQ(link.LastSent, "");

    // The limit counts characters: 160 Cyrillic letters are 160 bytes on the line.
    std::string ru;
    for (int i = 0; i < 160; ++i) ru += "ю";
    link.SendText(ru);
    EXPECT_EQ(link.ErrorText, "");
    EXPECT_EQ(ports[1].fromHost.size(), 164u);
    EXPECT_EQ(ports[1].fromHost[2], 0xFE);

    link.OpenLink(false);
    link.SendText("x");
    EXPECT_EQ(link.ErrorText, "Не выбрана плата или COM-порт ");
}

TEST_F(ComLink, ReceiveText) {
    auto frame = [](std::string text, int starts) {
        std::vector<std::uint8_t> f(static_cast<std::size_t>(starts), 31);
        f.insert(f.end(), text.begin(), text.end());
        f.push_back('0');  // check character, not verified
        f.push_back(26);
        return f;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> line;
        std::string want;
    } cases[] = {
        {"plain", frame("get 745x 1", 2), "get 745x 1"},
        {"extra starts", frame("get 745x 1", 5), "get 745x 1"},
        {"fourth extra start is text", frame("x", 6),
         "\x1F"
         "x"},
        {"cyrillic", frame("\xC4\xE0", 2), "Да"},
        {"nothing waiting", {}, ""},
        {"not a text frame", {'g', 31, 31, 'x', '0', 26}, ""},
        {"torn", {31, 31, 'g', 'e'}, ""},
        {"longest", frame(std::string(300, 'z'), 2), std::string(255, 'z')},
    };
    for (const Case& c : cases) {
        ports[1].toHost.clear();
        ports[1].queue(c.line);
        EXPECT_EQ(link.ReceiveText(), c.want) << c.name;
        EXPECT_EQ(link.ErrorText, "") << c.name;
    }
    link.OpenLink(false);
    EXPECT_EQ(link.ReceiveText(), "");
    EXPECT_EQ(link.ErrorText, "Не выбрана плата или COM-порт ");
}

TEST_F(ComLink, SendStringAndReceiveString) {
    link.SetStringCmd(7);
    link.SetAddr(6);
    link.SendString(std::string("\x10\x05", 2));
    EXPECT_EQ(link.ErrorText, "");
    EXPECT_EQ(ports[1].fromHost, (std::vector<std::uint8_t>{170, 170, 85, '0', '3', '6', '7', '1',
                                                            '0', '0', '5', '7', '?', 10}));
    EXPECT_EQ(link.LastSent, std::string("\x10\x05", 2));

    struct Case {
        std::size_t size;
        std::string error;
    } limits[] = {
        {254, ""},
        // LEN would be 256, i.e. 0 on the line, which every receiver refuses.
        {255, "длина строки д.б. < 255 байт"},
        {256, "длина строки д.б. < 256 байт"},
    };
    for (const Case& c : limits) {
        ports[1].fromHost.clear();
        link.SendString(std::string(c.size, 'q'));
        EXPECT_EQ(link.ErrorText, c.error) << c.size;
        EXPECT_EQ(ports[1].fromHost.empty(), !c.error.empty()) << c.size;
    }

    ports[1].queue(ModuleFrame(0x18, {0xAB, 0x00, 0xFF}));
    EXPECT_EQ(link.ReceiveString(), std::string("\xAB\x00\xFF", 3));
    ports[1].queue(ModuleFrame(0x10, {0x42}));
    EXPECT_EQ(link.ReceiveString(), "\x42");
    EXPECT_EQ(link.ReceiveString(), "");

    link.OpenLink(false);
    link.SendString("x");
    EXPECT_EQ(link.ErrorText, "Канал не открыт ");
}

TEST(Ttp6606Settings, SettersKeepTheirLimits) {
    Ttp6606 link;
    EXPECT_EQ(link.BaseAddress(), 0x300);
    EXPECT_EQ(link.Crystal(), 10994000);
    EXPECT_EQ(link.BaudCode(), 2);
    EXPECT_EQ(link.ComIndex(), 4);
    EXPECT_EQ(link.ComNumber(), 0);
    EXPECT_STREQ(Ttp6606::Description(), "Cвязь PC с модулями ЮКТ (ЮКТ-6606)");

    link.SetLine(4);
    link.SetLine(17);
    link.SetLine(0);
    EXPECT_EQ(link.Line(), 4);
    link.SetAddr(255);
    link.SetAddr(256);
    EXPECT_EQ(link.Addr(), 255);
    link.SetStringCmd(7);
    link.SetStringCmd(8);
    EXPECT_EQ(link.StringCmd(), 7);
    link.SetBoardNumber(3);
    link.SetBoardNumber(5);
    EXPECT_EQ(link.BoardNumber(), 3);
    link.SetComIndex(2);
    link.SetComIndex(5);
    EXPECT_EQ(link.ComNumber(), 3);

    struct Baud {
        int rate, code;
    } bauds[] = {{1200, 0},  {2400, 1},  {4800, 2},  {4000, 2},   {9600, 3}, {9650, 3},
                 {19200, 4}, {38400, 5}, {57600, 6}, {115200, 7}, {0, 2}};
    for (const Baud& b : bauds) {
        link.SetSpeed(b.rate);
        EXPECT_EQ(link.BaudCode(), b.code) << b.rate;
    }

    struct Base {
        int address, code;
    } bases[] = {{0x100, 0}, {0x118, 3}, {0x300, 4}, {0x318, 7}, {0x280, 4}, {0x301, 4}};
    for (const Base& b : bases) {
        link.SetBaseAddr(b.address);
        EXPECT_EQ(link.BaseAddrCode(), b.code) << b.address;
    }

    link.SetCrystal(999999);
    EXPECT_EQ(link.ErrorText, "Резонатор д.б. в пределах 1000000..32000000 Гц");
    EXPECT_EQ(link.Crystal(), 10994000);
    link.SetCrystal(32000000);
    EXPECT_EQ(link.Crystal(), 32000000);
}

TEST(Ttp6606Com, BusyPortSaysSo) {
    FakeComPorts ports;
    ports[2].busy = true;
    Ttp6606 link;
    link.SetComIndex(1);
    link.SetSpeed(9600);
    link.OpenLink(true);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.ErrorText, "COM-порт занят");
    ports[2].busy = false;
    link.OpenLink(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(link.ComOpen());
    EXPECT_FALSE(link.BoardOpen());
    EXPECT_EQ(link.ErrorText, "");
    EXPECT_EQ(ports[2].openBaud, 9600);
}

}  // namespace
}  // namespace yukt
