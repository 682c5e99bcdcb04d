#pragma once
// Reads a traffic trace back (trace_format.h, docs/trace.md), one line at a
// time from a stream, so that a trace of any size is read in constant
// memory. Traces without a first line (written before the format named its
// version) read as well. A line that is not a trace line, a last line
// without its end (a cut file) or a version this reader does not know
// stops the reading with the line's number in the error.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "link/trace_format.h"

namespace yukt {

struct TraceHeader {
    int version = 1;  // 1: a trace without a first line
    std::string program;
    std::string programVersion;
    std::vector<TraceLineSettings> lines;
};

struct TraceRecord {
    enum class Kind { Header, Frame, Note };
    Kind kind = Kind::Frame;
    std::size_t lineNo = 0;
    std::uint64_t micros = 0;
    std::string line;  // "COM1", "B1L3", "bench"
    TraceDir dir = TraceDir::Sent;
    std::vector<std::uint8_t> bytes;
    std::size_t omitted = 0;  // "... +N": bytes the trace left out
    std::string decoding;     // after " | " (without the free mark)
    bool free = false;        // a request marked free (kTraceFreeMark)
    std::string note;         // after "== "
    TraceHeader header;       // Kind::Header
};

// Parses one line (without its end). False with the reason in `why`.
// Comment lines (starting with '#', other than a header) and empty lines
// are not records: `comment` is set and the result is true.
bool ParseTraceLine(std::string_view text, TraceRecord& out, bool& comment, std::string& why);

class TraceReader {
  public:
    // `name` names the file in errors.
    TraceReader(std::istream& in, std::string name);

    // The next record; false at the end or on an error (error() says which).
    bool next(TraceRecord& out);

    // "FILE, строка N: reason", empty when the trace read cleanly.
    const std::string& error() const { return m_error; }
    std::size_t lineNumber() const { return m_lineNo; }
    // Records read so far.
    std::size_t records() const { return m_records; }

  private:
    bool fail(const std::string& why);

    std::istream& m_in;
    std::string m_name;
    std::string m_error;
    std::string m_text;
    std::size_t m_lineNo = 0;
    std::size_t m_records = 0;
};

}  // namespace yukt
