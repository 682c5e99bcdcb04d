// Any file as a trace: the reader never crashes, names a line that exists,
// gives records in order; and a frame line the formatter makes from the
// same bytes reads back to those bytes.
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "link/trace_format.h"
#include "link/trace_reader.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    std::istringstream in(text);
    TraceReader reader(in, "f");
    TraceRecord r;
    std::size_t last = 0;
    while (reader.next(r)) {
        FUZZ_CHECK(r.lineNo > last && r.lineNo <= lines);
        last = r.lineNo;
        FUZZ_CHECK(r.kind != TraceRecord::Kind::Frame || r.bytes.size() <= text.size());
    }
    const std::string& error = reader.error();
    FUZZ_CHECK(reader.lineNumber() <= lines + 1);
    FUZZ_CHECK(error.empty() || error.rfind("f, строка ", 0) == 0 || error.rfind("f: ", 0) == 0);

    // Round trip of the formatter's own line.
    if (size > 0 && size <= 300) {
        const auto dir = data[0] & 1 ? TraceDir::Sent : TraceDir::Received;
        const std::span<const std::uint8_t> bytes(data, size);
        const std::string line = FormatTraceLine(42, "COM1", dir, bytes);
        TraceRecord back;
        bool comment = true;
        std::string why;
        FUZZ_CHECK(ParseTraceLine(line, back, comment, why));
        FUZZ_CHECK(!comment && back.kind == TraceRecord::Kind::Frame && back.dir == dir);
        FUZZ_CHECK(back.micros == 42 && back.line == "COM1" && back.omitted == 0);
        FUZZ_CHECK(back.bytes.size() == size && std::equal(back.bytes.begin(), back.bytes.end(), data));
        // A request marked free reads back free with the same decoding; the
        // mark is never taken from a reception.
        TraceRecord marked;
        FUZZ_CHECK(ParseTraceLine(line + std::string(kTraceFreeMark), marked, comment, why));
        FUZZ_CHECK(marked.free == (dir == TraceDir::Sent));
        FUZZ_CHECK(dir != TraceDir::Sent || marked.decoding == back.decoding);
        FUZZ_CHECK(!back.free);
    }
    return 0;
}
