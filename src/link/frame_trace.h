#pragma once
// The trace lines of one link's frames (trace_format.h, trace_log.h). Costs
// one flag test per frame while the trace is off.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/trace_format.h"

namespace yukt {

class Ttp6606;

// "COM1" for a COM link, "B1L3" for line 3 of board 1.
std::string TraceLineName(const Ttp6606& link, int line);

// Requests traced while `free` is set are marked free (kTraceFreeMark).
void TraceSent(const Ttp6606& link, int line, const std::uint8_t* bytes, std::size_t count);

// While one lives, the requests this thread sends are repeated wait-polls:
// how many of them the program makes depends on time, not on the replies
// (a page's poll while the operator is away, the instrument's own poll
// cycle). The trace marks them free, so that a replay may answer them any
// number of times.
class FreeRequests {
  public:
    explicit FreeRequests(bool on = true);
    ~FreeRequests();
    FreeRequests(const FreeRequests&) = delete;
    FreeRequests& operator=(const FreeRequests&) = delete;
    static bool Active();

  private:
    bool m_on;
};

// A note that `count` late bytes were dropped before a request (none: no line).
void TraceDropped(const Ttp6606& link, std::size_t count);

// Collects the bytes of one reception and writes its line when it goes out
// of scope. A reception ends in a stall unless told otherwise.
class ReceptionTrace {
  public:
    ReceptionTrace(const Ttp6606& link, int line);
    ~ReceptionTrace();
    ReceptionTrace(const ReceptionTrace&) = delete;
    ReceptionTrace& operator=(const ReceptionTrace&) = delete;

    // A byte as the byte layer returned it (negative: none).
    int add(int b) {
        if (m_on && b >= 0) m_bytes.push_back(static_cast<std::uint8_t>(b));
        return b;
    }
    void end(TraceEnd how) { m_end = how; }

  private:
    const Ttp6606& m_link;
    int m_line;
    bool m_on;
    TraceEnd m_end = TraceEnd::Stall;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace yukt
