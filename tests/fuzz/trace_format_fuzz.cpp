// Any bytes on a line, any note text: a trace line stays one line, with its
// fields where a reader (sort, cut, paste) expects them.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "link/trace_format.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto dir = data[0] & 1 ? TraceDir::Sent : TraceDir::Received;
    const auto end = static_cast<TraceEnd>(data[0] % 3);
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const std::string line = FormatTraceLine(1234567, "COM1", dir, bytes, end);
    FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
    FUZZ_CHECK(line.rfind(dir == TraceDir::Sent ? "1234567 COM1 -> " : "1234567 COM1 <- ", 0) == 0);
    FUZZ_CHECK(line.find(" | ") != std::string::npos);
    // 300 bytes in hex at most, then a count of the rest.
    FUZZ_CHECK(line.size() < 300 * 3 + 2 * 1024 + size * 4);

    const std::string note =
        FormatTraceNote(1, "B1L2", std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(note.rfind("1 B1L2 == ", 0) == 0);
    return 0;
}
