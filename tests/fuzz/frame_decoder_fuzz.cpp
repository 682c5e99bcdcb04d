// Binary frames: arbitrary line bytes through the decoder, and every frame
// the encoder builds from the input decodes back to what was encoded.
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "link/frame_codec.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t buf[256];
    FrameDecoder decoder(buf);
    for (std::size_t i = 0; i < size; ++i) {
        const FrameDecoder::Step step = decoder.feed(data[i]);
        if (step == FrameDecoder::Step::Frame) {
            FUZZ_CHECK(decoder.count() >= 0 && decoder.count() <= int(kMaxFrameData));
            FUZZ_CHECK(decoder.status() >= 0 && decoder.status() <= 255);
        }
        if (step != FrameDecoder::Step::NeedMore) decoder.reset();
    }

    if (size < 2) return 0;
    const int addr = data[0] & 15;
    const int cmd = data[1] & 15;
    const std::size_t count = size - 2 > kMaxFrameData ? kMaxFrameData : size - 2;
    const auto frame = EncodeFrame(addr, cmd, data + 2, count);
    decoder.reset();
    FrameDecoder::Step step = FrameDecoder::Step::NeedMore;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        step = decoder.feed(frame[i]);
        FUZZ_CHECK(step == FrameDecoder::Step::NeedMore || i + 1 == frame.size());
    }
    FUZZ_CHECK(step == FrameDecoder::Step::Frame);
    FUZZ_CHECK(decoder.status() == addr * 16 + cmd);
    FUZZ_CHECK(decoder.count() == int(count));
    FUZZ_CHECK(std::memcmp(buf, data + 2, count) == 0);
    return 0;
}
