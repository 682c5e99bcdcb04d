// The module side of the frame layout: what the bench takes as a request.

#include "sim/device_codec.h"

#include <gtest/gtest.h>

#include "raw_line.h"

namespace yukt::sim {
namespace {

using simtest::Bytes;

struct DecodeCase {
    const char* name;
    Bytes bytes;
    RequestDecoder::Step last;
    int address;
    int command;
    Bytes data;
};

TEST(RequestDecoder, TakesOrRefusesFrames) {
    // The identification request to address 3, byte for byte.
    const Bytes ident3 = {170, 170, 85, '0', '1', '3', '7', '3', '8', 10};
    Bytes oneSync = ident3;
    oneSync.erase(oneSync.begin());
    Bytes fourSyncs = ident3;
    fourSyncs.insert(fourSyncs.begin(), {170, 170});
    Bytes fiveSyncs = fourSyncs;
    fiveSyncs.insert(fiveSyncs.begin(), 170);
    Bytes badSum = ident3;
    badSum[8] = '9';
    Bytes noEnd = ident3;
    noEnd.back() = 13;
    Bytes noiseFirst = ident3;
    noiseFirst.insert(noiseFirst.begin(), {'x', 0, 85, 13});
    const Bytes zeroLength = {170, 170, 85, '0', '0'};

    const DecodeCase cases[] = {
        {"identification to 3", ident3, RequestDecoder::Step::Frame, 3, 7, {}},
        {"one sync byte", oneSync, RequestDecoder::Step::Frame, 3, 7, {}},
        {"four sync bytes", fourSyncs, RequestDecoder::Step::Frame, 3, 7, {}},
        {"five sync bytes", fiveSyncs, RequestDecoder::Step::Broken, 0, 0, {}},
        {"bad sum", badSum, RequestDecoder::Step::Broken, 0, 0, {}},
        {"no line feed", noEnd, RequestDecoder::Step::Broken, 0, 0, {}},
        {"noise before", noiseFirst, RequestDecoder::Step::Frame, 3, 7, {}},
        {"zero length", zeroLength, RequestDecoder::Step::Broken, 0, 0, {}},
        {"with data",
         simtest::requestFrame(14, 7, {0x1F, 0xFF}),
         RequestDecoder::Step::Frame,
         14,
         7,
         {0x1F, 0xFF}},
        {"set point",
         simtest::requestFrame(1, 1, {3, 0xFF, 0x7F, 1, 0, 0, 0x7D}),
         RequestDecoder::Step::Frame,
         1,
         1,
         {3, 0xFF, 0x7F, 1, 0, 0, 0x7D}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        RequestDecoder d;
        RequestDecoder::Step step = RequestDecoder::Step::NeedMore;
        bool brokenEarly = false;
        for (std::size_t i = 0; i < c.bytes.size(); ++i) {
            step = d.push(c.bytes[i]);
            if (step == RequestDecoder::Step::Broken) brokenEarly = true;
            if (step == RequestDecoder::Step::Frame) {
                ASSERT_EQ(i + 1, c.bytes.size());
            }
        }
        if (c.last == RequestDecoder::Step::Broken) {
            EXPECT_TRUE(brokenEarly || step == RequestDecoder::Step::Broken);
            continue;
        }
        ASSERT_EQ(step, c.last);
        EXPECT_EQ(d.address(), c.address);
        EXPECT_EQ(d.command(), c.command);
        EXPECT_EQ(d.data(), c.data);
    }
}

TEST(RequestDecoder, RecoversAfterABrokenFrame) {
    RequestDecoder d;
    Bytes bytes = {170, 170, 85, '0', '1', '3', '7', '3', '9', 10};  // bad sum
    const Bytes good = simtest::requestFrame(2, 7);
    bytes.insert(bytes.end(), good.begin(), good.end());
    RequestDecoder::Step step{};
    for (std::uint8_t b : bytes) step = d.push(b);
    EXPECT_EQ(step, RequestDecoder::Step::Frame);
    EXPECT_EQ(d.address(), 2);
}

TEST(RequestDecoder, TakesTextFrames) {
    // 31 31, text, check character 48 + (sum mod 16), 26; extra 31s belong to the preamble.
    const struct {
        Bytes bytes;
        std::string text;
    } cases[] = {
        {{31, 31, 'A', 'B', 48 + (65 + 66) % 16, 26}, "AB"},
        {{31, 31, 31, 31, 'x', '0', 26}, "x"},
        {{'z', 31, 31, '7', '4', '5', 't', '?', 26}, "745t"},
    };
    for (const auto& c : cases) {
        RequestDecoder d;
        RequestDecoder::Step step{};
        for (std::uint8_t b : c.bytes) step = d.push(b);
        ASSERT_EQ(step, RequestDecoder::Step::Text);
        EXPECT_EQ(d.text(), c.text);
    }
}

TEST(DeviceEncoders, ReplyFramesFollowTheLayout) {
    EXPECT_EQ(statusByte(3, true), 56);
    EXPECT_EQ(statusByte(3, false), 48);
    EXPECT_EQ(statusByte(0, true), 8);

    const Bytes data = {'4', '5', 0x00, 0xFF};
    const Bytes frame = encodeFrame(statusByte(6, true), data);
    // LEN 5, HDR 0x68, then the data, SUM = 5 + 0x68 + 0x34 + 0x35 + 0 + 0xFF mod 256.
    const Bytes expected = {170, 170, 85,  '0', '5', '6', '8', '3', '4',
                            '3', '5', '0', '0', '?', '?', '=', '5', 10};
    EXPECT_EQ(frame, expected);
    const auto parsed = simtest::parseReply(frame);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->data, data);

    // LEN would wrap to 0 past 254 data bytes: longer replies are cut.
    const auto longest = simtest::parseReply(encodeFrame(8, Bytes(300, 0x41)));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->data.size(), 254u);

    EXPECT_EQ(encodeText("AB"), (Bytes{31, 31, 'A', 'B', 48 + 131 % 16, 26}));
}

}  // namespace
}  // namespace yukt::sim
