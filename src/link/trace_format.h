#pragma once
// One line of the traffic trace per frame sent or received:
//
//   <µs> <line> <-> or <-> <raw bytes in hex> | <decoded frame or reason>
//
// The workstation's links and the simulated bench format their lines here,
// so that two traces of one exchange read side by side. docs/trace.md
// describes the format.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace yukt {

enum class TraceDir { Sent, Received };

// How a reception ended that the bytes alone cannot tell: complete (a
// frame, a broken frame, or nothing at all), a stall (a byte time-out part
// way) or babble (the receiver gave up on bytes that never made a frame).
enum class TraceEnd { Complete, Stall, Babble };

// Microseconds of the monotonic clock: the same time base in every process
// of the machine.
std::uint64_t TraceMicros();

std::string FormatTraceLine(std::uint64_t micros, std::string_view line, TraceDir dir,
                            std::span<const std::uint8_t> bytes, TraceEnd end = TraceEnd::Complete);

// The decoding part of a frame line (after " | ") for these bytes.
std::string DecodeTraceBytes(std::span<const std::uint8_t> bytes, TraceDir dir,
                             TraceEnd end = TraceEnd::Complete);

// The format version of the first line of a trace (see FormatTraceHeader).
constexpr int kTraceVersion = 2;

// One line's settings as the first line of a trace names them.
struct TraceLineSettings {
    std::string line;    // "COM1", "B1L3"
    int baud = 0;        // 0: not known
    std::string device;  // "/dev/ttyS0", "rfc2217://host:2001", "board"
};

// The first line of a trace file:
//   "# yukt-trace 2 PROGRAM VERSION [LINE=BAUD,DEVICE]..."
// the device with spaces, commas and '%' as %XX.
std::string FormatTraceHeader(std::string_view program, std::string_view version,
                              std::span<const TraceLineSettings> lines);

// A line named after the header: "<µs> <line> == settings BAUD DEVICE".
std::string FormatTraceSettingsNote(std::uint64_t micros, const TraceLineSettings& settings);

// %XX escaping of a header field (and its reverse; false on a bad escape).
std::string EscapeTraceField(std::string_view text);
bool UnescapeTraceField(std::string_view text, std::string& out);

// The end of a request's decoding when the program sent it as a repeated
// wait-poll (a poll it makes while it waits, as often as time allows): a
// replay may answer it any number of times, or never.
constexpr std::string_view kTraceFreeMark = " [free]";

// A line for an event that is not a frame (the bench's switch, a silent
// module): "<µs> <line> == <text>".
std::string FormatTraceNote(std::uint64_t micros, std::string_view line, std::string_view text);

}  // namespace yukt
