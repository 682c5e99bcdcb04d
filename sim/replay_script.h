#pragma once
// The device side of a recorded trace, one line of it, as a sequence of
// exchanges: a request the program sent and what came back (replies with
// their delays after the request, or nothing). Read from the file as the
// replay goes, so that a trace of any size plays in constant memory; the
// whole file is checked once before the first exchange is given.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "link/trace_reader.h"

namespace yukt::sim {

struct ReplayReply {
    std::vector<std::uint8_t> bytes;  // empty: silence ("no reply")
    std::uint64_t delayUs = 0;        // after the request went out
};

struct ReplayExchange {
    std::size_t lineNo = 0;  // the request's line in the trace
    std::uint64_t micros = 0;
    int baud = 9600;
    std::vector<std::uint8_t> request;
    std::vector<ReplayReply> replies;
    // The line was gone (a device server's connection dropped): every
    // reception came back empty sooner than the request takes on the wire.
    // The first such request is where the connection went down; the program
    // put the others on no line at all.
    bool lost = false;
    // The program marked the request free (a repeated wait-poll): it may be
    // matched any number of times, or not at all.
    bool free = false;

    // Same request, same replies (delays aside): a run of these may be
    // matched a different number of times (--slack).
    bool sameAs(const ReplayExchange& o) const;
};

// A run of identical exchanges as the trace has them.
struct ReplayRun {
    ReplayExchange first;
    std::size_t count = 0;
    // Each member's reply delays, in order.
    std::vector<std::vector<std::uint64_t>> delays;
};

class ReplayScript {
  public:
    // Checks the whole trace and picks its line: `line` when given, else the
    // only line the program sent on. False with the reason in `error`.
    bool open(const std::string& path, const std::string& line, std::string& error);

    const std::string& line() const { return m_line; }
    const std::string& path() const { return m_path; }
    std::size_t lastLine() const { return m_lastLine; }
    // The longest pause between two requests of the line, in µs.
    std::uint64_t longestGapUs() const { return m_longestGap; }

    // The next run of identical exchanges; false at the end of the trace.
    bool nextRun(ReplayRun& out);

  private:
    bool nextExchange(ReplayExchange& out);
    static void markLost(ReplayExchange& e);
    void settle(ReplayExchange& e);
    bool readRecord(TraceRecord& r);

    std::string m_path;
    std::string m_line;
    std::size_t m_lastLine = 0;
    std::uint64_t m_longestGap = 0;
    std::unique_ptr<std::ifstream> m_in;
    std::unique_ptr<TraceReader> m_reader;
    int m_baud = 9600;
    bool m_havePending = false;
    ReplayExchange m_pending;  // started by its request, replies still coming
    bool m_haveAhead = false;
    ReplayExchange m_ahead;  // read past the end of the last run
    // The requests of the free exchanges since the last one that is not.
    std::vector<std::vector<std::uint8_t>> m_freeRequests;
};

}  // namespace yukt::sim
