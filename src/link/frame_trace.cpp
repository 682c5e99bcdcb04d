#include "link/frame_trace.h"

#include "link/com_port.h"
#include "link/tp6606.h"
#include "link/trace_log.h"

namespace yukt {

std::string TraceLineName(const Ttp6606& link, int line) {
    if (link.ComNumber() != 0) return "COM" + std::to_string(link.ComNumber());
    return "B" + std::to_string(link.BoardNumber()) + "L" + std::to_string(line);
}

namespace {

// The line's speed and device, for the trace's first line (or a note when
// they are first met later).
void nameLine(const Ttp6606& link, const std::string& name) {
    TraceLineSettings s;
    s.line = name;
    s.baud = link.Speed();
    s.device = link.ComNumber() != 0 ? ComDevicePath(link.ComNumber()) : "board";
    TraceNameLine(s);
}

}  // namespace

void TraceSent(const Ttp6606& link, int line, const std::uint8_t* bytes, std::size_t count) {
    if (!TraceOn()) return;
    nameLine(link, TraceLineName(link, line));
    std::string text = FormatTraceLine(TraceMicros(), TraceLineName(link, line), TraceDir::Sent,
                                       std::span<const std::uint8_t>(bytes, count));
    if (count > 0 && FreeRequests::Active()) text += kTraceFreeMark;
    TraceWrite(std::move(text));
}

namespace {
thread_local int freeDepth = 0;
}  // namespace

FreeRequests::FreeRequests(bool on) : m_on(on) {
    if (m_on) ++freeDepth;
}

FreeRequests::~FreeRequests() {
    if (m_on) --freeDepth;
}

bool FreeRequests::Active() { return freeDepth > 0; }

void TraceDropped(const Ttp6606& link, std::size_t count) {
    if (count == 0 || !TraceOn()) return;
    TraceWrite(FormatTraceNote(
        TraceMicros(), TraceLineName(link, link.Line()),
        "dropped " + std::to_string(count) + (count == 1 ? " late byte" : " late bytes")));
}

ReceptionTrace::ReceptionTrace(const Ttp6606& link, int line)
    : m_link(link), m_line(line), m_on(TraceOn()) {}

ReceptionTrace::~ReceptionTrace() {
    if (!m_on) return;
    // Stamped when the reception ended: the last byte, or the time-out.
    TraceWrite(FormatTraceLine(TraceMicros(), TraceLineName(m_link, m_line), TraceDir::Received,
                               m_bytes, m_end));
}

}  // namespace yukt
