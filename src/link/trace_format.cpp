#include "link/trace_format.h"

#include <time.h>

#include <cstdio>

#include "common/cp1251.h"
#include "link/frame_codec.h"

namespace yukt {

namespace {

// Longer receptions (babble) keep their head and say how much was left out.
constexpr std::size_t kMaxHexBytes = 300;
constexpr int kMaxExtraTextStart = 3;

std::string hex2(unsigned v) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", v & 0xFFu);
    return s;
}

std::string hexList(std::span<const std::uint8_t> bytes, std::size_t limit) {
    if (bytes.empty()) return "-";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        if (i) out += ' ';
        out += hex2(bytes[i]);
    }
    if (bytes.size() > limit) out += " ... +" + std::to_string(bytes.size() - limit);
    return out;
}

// The text between quotes, with quote, backslash and control characters
// escaped so that the line stays one line.
std::string quoted(const std::string& cp1251) {
    std::string out = "\"";
    for (char c : Cp1251ToUtf8(cp1251)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 32 || u == 127) {
            out += "\\x" + hex2(u);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string endReason(TraceEnd end) {
    switch (end) {
        case TraceEnd::Stall:
            return "rejected: stall";
        case TraceEnd::Babble:
            return "rejected: babble";
        case TraceEnd::Complete:
            break;
    }
    return "rejected: incomplete";
}

std::string decodeText(std::span<const std::uint8_t> bytes, std::size_t start, TraceEnd end) {
    std::size_t i = start + 1;
    if (i >= bytes.size() || bytes[i] != kTextStart) return endReason(end);
    ++i;
    for (int extra = 0; i < bytes.size() && bytes[i] == kTextStart && extra < kMaxExtraTextStart;
         ++extra)
        ++i;
    std::string text;
    for (; i < bytes.size() && bytes[i] != kTextEnd; ++i) text += static_cast<char>(bytes[i]);
    if (i >= bytes.size()) return endReason(end);
    if (text.empty()) return "text \"\"";
    const auto check = static_cast<std::uint8_t>(text.back());
    text.pop_back();
    std::string out = "text " + quoted(text) + " check " + hex2(check);
    if (check != TextCheckChar(text)) out += " (expected " + hex2(TextCheckChar(text)) + ")";
    return out;
}

std::string faultReason(FrameDecoder::Fault fault) {
    switch (fault) {
        case FrameDecoder::Fault::Preamble:
            return "rejected: bad preamble";
        case FrameDecoder::Fault::Length:
            return "rejected: bad length";
        case FrameDecoder::Fault::Sum:
            return "rejected: bad checksum";
        case FrameDecoder::Fault::End:
            return "rejected: no end byte";
        case FrameDecoder::Fault::None:
            break;
    }
    return "rejected";
}

std::string decodeBinary(std::span<const std::uint8_t> bytes, std::size_t start, TraceDir dir,
                         TraceEnd end) {
    std::uint8_t data[256];
    FrameDecoder decoder(data);
    for (std::size_t i = start; i < bytes.size(); ++i) {
        const FrameDecoder::Step step = decoder.feed(bytes[i]);
        if (step == FrameDecoder::Step::Error) return faultReason(decoder.fault());
        if (step != FrameDecoder::Step::Frame) continue;
        const int len = decoder.count() + 1;
        const int hdr = decoder.status();
        unsigned sum = static_cast<unsigned>(len + hdr);
        std::string out =
            "LEN " + hex2(static_cast<unsigned>(len)) + " HDR " + hex2(static_cast<unsigned>(hdr));
        if (dir == TraceDir::Sent)
            out += " (addr " + std::to_string(hdr >> 4) + " cmd " + std::to_string(hdr & 15) + ")";
        else
            out += " (addr " + std::to_string(hdr >> 4) +
                   (decoder.accepted() ? " accepted)" : " refused)");
        out += " data ";
        for (int k = 0; k < decoder.count(); ++k) sum += data[k];
        out += hexList(
            std::span<const std::uint8_t>(data, static_cast<std::size_t>(decoder.count())), 256);
        out += " SUM " + hex2(sum);
        if (i + 1 < bytes.size()) out += " (+" + std::to_string(bytes.size() - i - 1) + " bytes)";
        return out;
    }
    return endReason(end);
}

std::string decode(std::span<const std::uint8_t> bytes, TraceDir dir, TraceEnd end) {
    if (bytes.empty()) return dir == TraceDir::Received ? "no reply" : "nothing sent";
    // Whatever comes before the first frame start is noise on the line.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == kPreamble) return decodeBinary(bytes, i, dir, end);
        if (bytes[i] == kTextStart) return decodeText(bytes, i, end);
    }
    return end == TraceEnd::Complete ? "rejected: noise" : endReason(end);
}

}  // namespace

std::uint64_t TraceMicros() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(t.tv_nsec) / 1000u;
}

std::string FormatTraceLine(std::uint64_t micros, std::string_view line, TraceDir dir,
                            std::span<const std::uint8_t> bytes, TraceEnd end) {
    std::string out = std::to_string(micros);
    out += ' ';
    out += line;
    out += dir == TraceDir::Sent ? " -> " : " <- ";
    out += hexList(bytes, kMaxHexBytes);
    out += " | ";
    out += decode(bytes, dir, end);
    return out;
}

std::string DecodeTraceBytes(std::span<const std::uint8_t> bytes, TraceDir dir, TraceEnd end) {
    return decode(bytes, dir, end);
}

std::string EscapeTraceField(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u == 127 || c == '%' || c == ',' || c == '=')
            out += "%" + hex2(u);
        else
            out += c;
    }
    return out.empty() ? "-" : out;
}

bool UnescapeTraceField(std::string_view text, std::string& out) {
    out.clear();
    if (text == "-") return true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        unsigned v = 0;
        for (int k = 1; k <= 2; ++k) {
            const char h = text[i + static_cast<std::size_t>(k)];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= static_cast<unsigned>(h - '0');
            else if (h >= 'A' && h <= 'F')
                v |= static_cast<unsigned>(h - 'A' + 10);
            else
                return false;
        }
        out += static_cast<char>(v);
        i += 2;
    }
    return true;
}

std::string FormatTraceHeader(std::string_view program, std::string_view version,
                              std::span<const TraceLineSettings> lines) {
    std::string out = "# yukt-trace " + std::to_string(kTraceVersion) + ' ' +
                      EscapeTraceField(program) + ' ' + EscapeTraceField(version);
    for (const TraceLineSettings& l : lines)
        out += ' ' + EscapeTraceField(l.line) + '=' + std::to_string(l.baud) + ',' +
               EscapeTraceField(l.device);
    return out;
}

std::string FormatTraceSettingsNote(std::uint64_t micros, const TraceLineSettings& settings) {
    return FormatTraceNote(micros, settings.line,
                           "settings " + std::to_string(settings.baud) + ' ' +
                               EscapeTraceField(settings.device));
}

std::string FormatTraceNote(std::uint64_t micros, std::string_view line, std::string_view text) {
    std::string out = std::to_string(micros);
    out += ' ';
    out += line;
    out += " == ";
    out += text;
    return out;
}

}  // namespace yukt
