#include "link/trace_reader.h"

#include <charconv>

namespace yukt {

namespace {

// A trace line is at most a few kilobytes (300 bytes in hex and their
// decoding); anything far longer is not a trace.
constexpr std::size_t kMaxLine = 65536;
constexpr std::string_view kHeaderStart = "# yukt-trace ";

bool isDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

template <typename T>
bool toNumber(std::string_view s, T& out) {
    if (!isDigits(s)) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits at single spaces.
std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start <= s.size()) {
        const std::size_t sp = s.find(' ', start);
        const std::size_t end = sp == std::string_view::npos ? s.size() : sp;
        out.push_back(s.substr(start, end - start));
        if (sp == std::string_view::npos) break;
        start = sp + 1;
    }
    return out;
}

bool validLineName(std::string_view s) {
    if (s.empty() || s.size() > 16) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

std::string shown(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 32 || u == 127) ? '?' : c;
    }
    if (s.size() > 40) out += "...";
    return out;
}

bool parseHeader(std::string_view text, TraceHeader& h, std::string& why) {
    const std::vector<std::string_view> w = words(text.substr(kHeaderStart.size()));
    if (w.empty() || !toNumber(w[0], h.version)) {
        why = "нет версии формата в первой строке трассы";
        return false;
    }
    if (h.version < 2 || h.version > kTraceVersion) {
        why = "трасса формата версии " + std::string(w[0]) + ", читаются версии 1.." +
              std::to_string(kTraceVersion);
        return false;
    }
    if (w.size() < 3 || !UnescapeTraceField(w[1], h.program) ||
        !UnescapeTraceField(w[2], h.programVersion)) {
        why = "в первой строке трассы нет программы и её версии";
        return false;
    }
    for (std::size_t i = 3; i < w.size(); ++i) {
        const std::size_t eq = w[i].find('=');
        const std::size_t comma = w[i].find(',');
        TraceLineSettings s;
        if (eq == std::string_view::npos || comma == std::string_view::npos || comma < eq ||
            !UnescapeTraceField(w[i].substr(0, eq), s.line) || !validLineName(s.line) ||
            !toNumber(w[i].substr(eq + 1, comma - eq - 1), s.baud) ||
            !UnescapeTraceField(w[i].substr(comma + 1), s.device)) {
            why = "не настройки линии: " + shown(w[i]);
            return false;
        }
        h.lines.push_back(std::move(s));
    }
    return true;
}

bool parseBytes(std::string_view s, TraceRecord& r, std::string& why) {
    r.bytes.clear();
    r.omitted = 0;
    if (s == "-") return true;
    const std::size_t more = s.find(" ... +");
    if (more != std::string_view::npos) {
        if (!toNumber(s.substr(more + 6), r.omitted) || r.omitted == 0) {
            why = "не число пропущенных байтов: " + shown(s.substr(more));
            return false;
        }
        s = s.substr(0, more);
    }
    for (std::string_view b : words(s)) {
        const int hi = b.size() == 2 ? hexDigit(b[0]) : -1;
        const int lo = b.size() == 2 ? hexDigit(b[1]) : -1;
        if (hi < 0 || lo < 0) {
            why = "не байт в шестнадцатеричном виде: " + shown(b);
            return false;
        }
        r.bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return true;
}

}  // namespace

bool ParseTraceLine(std::string_view text, TraceRecord& r, bool& comment, std::string& why) {
    comment = false;
    if (text.rfind(kHeaderStart, 0) == 0) {
        r.kind = TraceRecord::Kind::Header;
        r.header = TraceHeader{};
        return parseHeader(text, r.header, why);
    }
    if (text.empty() || text[0] == '#') {
        comment = true;
        return true;
    }
    const std::size_t sp1 = text.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : text.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || !toNumber(text.substr(0, sp1), r.micros)) {
        why = "не строка трассы: " + shown(text);
        return false;
    }
    r.line = std::string(text.substr(sp1 + 1, sp2 - sp1 - 1));
    if (!validLineName(r.line)) {
        why = "не имя линии: " + shown(r.line);
        return false;
    }
    const std::string_view rest = text.substr(sp2 + 1);
    if (rest.rfind("== ", 0) == 0) {
        r.kind = TraceRecord::Kind::Note;
        r.note = std::string(rest.substr(3));
        return true;
    }
    if (rest.rfind("-> ", 0) != 0 && rest.rfind("<- ", 0) != 0) {
        why = "нет направления (->, <- или ==): " + shown(rest);
        return false;
    }
    r.kind = TraceRecord::Kind::Frame;
    r.dir = rest[0] == '-' ? TraceDir::Sent : TraceDir::Received;
    const std::size_t bar = rest.find(" | ", 3);
    if (bar == std::string_view::npos) {
        why = "нет расшифровки после \" | \"";
        return false;
    }
    if (!parseBytes(rest.substr(3, bar - 3), r, why)) return false;
    std::string_view decoding = rest.substr(bar + 3);
    // Written after the decoding, so that a reader that knows no marks
    // reads the line as before.
    if (r.dir == TraceDir::Sent && decoding.size() >= kTraceFreeMark.size() &&
        decoding.substr(decoding.size() - kTraceFreeMark.size()) == kTraceFreeMark) {
        r.free = true;
        decoding.remove_suffix(kTraceFreeMark.size());
    }
    r.decoding = std::string(decoding);
    return true;
}

TraceReader::TraceReader(std::istream& in, std::string name) : m_in(in), m_name(std::move(name)) {}

bool TraceReader::fail(const std::string& why) {
    m_error = m_name + ", строка " + std::to_string(m_lineNo) + ": " + why;
    return false;
}

bool TraceReader::next(TraceRecord& out) {
    if (!m_error.empty()) return false;
    std::streambuf* sb = m_in.rdbuf();
    while (true) {
        m_text.clear();
        bool ended = false;
        bool any = false;
        for (int c = sb->sbumpc(); c != std::char_traits<char>::eof(); c = sb->sbumpc()) {
            any = true;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (m_text.size() >= kMaxLine) {
                ++m_lineNo;
                return fail("строка длиннее " + std::to_string(kMaxLine) + " байт");
            }
            m_text.push_back(static_cast<char>(c));
        }
        if (!any) {
            if (m_records == 0) {
                m_error = m_name + ": не трасса обмена: в файле нет ни одной строки трассы";
                return false;
            }
            return false;
        }
        ++m_lineNo;
        if (!ended) return fail("строка оборвана (файл обрезан?)");
        if (!m_text.empty() && m_text.back() == '\r') m_text.pop_back();
        bool comment = false;
        std::string why;
        out = TraceRecord{};
        if (!ParseTraceLine(m_text, out, comment, why))
            return fail(m_records == 0 && out.kind != TraceRecord::Kind::Header
                            ? "не трасса обмена: " + why
                            : why);
        if (comment) continue;
        out.lineNo = m_lineNo;
        ++m_records;
        return true;
    }
}

}  // namespace yukt
