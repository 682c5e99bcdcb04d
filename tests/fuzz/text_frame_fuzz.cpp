// Text frames and binary replies as the link object receives them from a COM
// line that carries the fuzzer's bytes; and every text frame the encoder
// builds is received as the text that was sent.
#include <cstdint>
#include <memory>
#include <string>

#include "common/cp1251.h"
#include "fuzz_check.h"
#include "link/byte_transport.h"
#include "link/com_port.h"
#include "link/frame_codec.h"
#include "link/tp6606.h"

using namespace yukt;

namespace {

// The line: the input's bytes, then silence (answered at once).
struct Line {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};
Line g_line;

class InputTransport final : public ByteTransport {
    bool doWrite(std::uint8_t, std::chrono::milliseconds) override { return true; }
    int doRead(std::chrono::milliseconds) override {
        return g_line.pos < g_line.size ? g_line.data[g_line.pos++] : -1;
    }
};

Ttp6606& link() {
    static Ttp6606* link = [] {
        SetComPortOpener([](int, int, std::string&) -> std::unique_ptr<ByteTransport> {
            return std::make_unique<InputTransport>();
        });
        auto* l = new Ttp6606;
        l->SetComIndex(0);
        l->SetSpeed(9600);
        l->OpenLink(true);
        return l;
    }();
    return *link;
}

void feed(const std::uint8_t* data, std::size_t size) { g_line = Line{data, size, 0}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Ttp6606& l = link();
    FUZZ_CHECK(l.IsOpen());

    feed(data, size);
    for (int guard = 0; guard < 8 && g_line.pos < g_line.size; ++guard) {
        const std::size_t before = g_line.pos;
        l.ReceiveText();
        l.ReceiveString();
        if (g_line.pos == before) break;
    }

    // Round trip: a text without the frame's own control bytes.
    std::string text;
    for (std::size_t i = 0; i < size && text.size() < kMaxTextChars; ++i)
        if (data[i] != kTextStart && data[i] != kTextEnd) text += static_cast<char>(data[i]);
    if (text.empty()) return 0;
    const auto frame = EncodeTextFrame(text);
    feed(frame.data(), frame.size());
    const std::string received = l.ReceiveText();
    FUZZ_CHECK(received == Cp1251ToUtf8(text));
    return 0;
}
