#include "sim/replay_script.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "common/system_error.h"
#include "common/text.h"
#include "common/text_file.h"

namespace yukt::sim {

namespace {

// The host stamps a reception that stalled when its byte time-out ran out;
// the bytes themselves came that much earlier.
constexpr std::uint64_t kByteTimeoutUs = 300000;
// A run longer than this is split, so that its delays stay bounded.
constexpr std::size_t kMaxRun = 10000;

bool openTrace(const std::string& path, std::unique_ptr<std::ifstream>& in, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + SystemErrorText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": " + FileKindReason(st.st_mode);
        return false;
    }
    in = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*in) {
        error = path + ": " + SystemErrorText(errno);
        return false;
    }
    return true;
}

std::string joined(const std::set<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

}  // namespace

bool ReplayExchange::sameAs(const ReplayExchange& o) const {
    if (lost != o.lost || free != o.free || request != o.request || replies.size() != o.replies.size()) return false;
    for (std::size_t i = 0; i < replies.size(); ++i)
        if (replies[i].bytes != o.replies[i].bytes) return false;
    return true;
}

bool ReplayScript::open(const std::string& path, const std::string& line, std::string& error) {
    m_path = path;
    // First pass: the whole file must read, and name the line.
    std::unique_ptr<std::ifstream> in;
    if (!openTrace(path, in, error)) return false;
    TraceReader reader(*in, path);
    std::set<std::string> sending;
    std::set<std::string> named;
    TraceRecord r;
    std::map<std::string, std::uint64_t> lastRequest;
    while (reader.next(r)) {
        if (r.kind == TraceRecord::Kind::Header) {
            for (const TraceLineSettings& s : r.header.lines) named.insert(s.line);
            continue;
        }
        if (r.kind == TraceRecord::Kind::Frame && r.dir == TraceDir::Sent && !r.bytes.empty()) {
            sending.insert(r.line);
            if (r.line == line || line.empty()) {
                auto [it, first] = lastRequest.emplace(r.line, r.micros);
                if (!first && r.micros > it->second)
                    m_longestGap = std::max(m_longestGap, r.micros - it->second);
                it->second = r.micros;
            }
        }
    }
    if (!reader.error().empty()) {
        error = reader.error();
        return false;
    }
    if (line.empty()) {
        if (sending.size() != 1) {
            error = path + (sending.empty()
                                ? ": в трассе нет ни одного запроса"
                                : ": в трассе запросы по нескольким линиям (" + joined(sending) +
                                      "): выберите одну (--line)");
            return false;
        }
        m_line = *sending.begin();
    } else {
        m_line = line;
    }
    if (m_line == "bench") {
        error = path + ": это журнал стенда (bench), проигрывается трасса программы";
        return false;
    }
    if (!sending.count(m_line)) {
        error = path + ": в трассе нет запросов по линии " + m_line +
                (sending.empty() ? "" : " (есть: " + joined(sending) + ")");
        return false;
    }
    m_lastLine = reader.lineNumber();

    // Second pass, as the replay goes.
    if (!openTrace(path, m_in, error)) return false;
    m_reader = std::make_unique<TraceReader>(*m_in, path);
    return true;
}

bool ReplayScript::readRecord(TraceRecord& r) {
    while (m_reader && m_reader->next(r)) {
        if (r.kind == TraceRecord::Kind::Header) {
            for (const TraceLineSettings& s : r.header.lines)
                if (s.line == m_line && s.baud > 0) m_baud = s.baud;
            continue;
        }
        if (r.line != m_line) continue;
        if (r.kind == TraceRecord::Kind::Note) {
            // "settings BAUD DEVICE": the line's speed from here on.
            if (r.note.rfind("settings ", 0) == 0) {
                int baud = 0;
                const std::string word = r.note.substr(9, r.note.find(' ', 9) - 9);
                if (StrToIntStrict(word, baud) && baud > 0) m_baud = baud;
            }
            continue;
        }
        return true;
    }
    return false;
}

bool ReplayScript::nextExchange(ReplayExchange& out) {
    TraceRecord r;
    while (readRecord(r)) {
        if (r.dir == TraceDir::Sent) {
            if (r.bytes.empty()) continue;  // nothing went out
            ReplayExchange started;
            started.lineNo = r.lineNo;
            started.micros = r.micros;
            started.baud = m_baud;
            started.request = std::move(r.bytes);
            started.free = r.free;
            if (m_havePending) {
                out = std::move(m_pending);
                settle(out);
                m_pending = std::move(started);
                return true;
            }
            m_pending = std::move(started);
            m_havePending = true;
            continue;
        }
        if (!m_havePending) continue;  // a reception before any request
        ReplayReply reply;
        reply.bytes = std::move(r.bytes);
        // The trace kept the head of a long reception; the rest is noise.
        reply.bytes.resize(reply.bytes.size() + r.omitted, 0);
        std::uint64_t delay = r.micros > m_pending.micros ? r.micros - m_pending.micros : 0;
        if (r.decoding == "rejected: stall") delay = delay > kByteTimeoutUs ? delay - kByteTimeoutUs : 0;
        reply.delayUs = delay;
        m_pending.replies.push_back(std::move(reply));
    }
    if (!m_havePending) return false;
    m_havePending = false;
    out = std::move(m_pending);
    settle(out);
    return true;
}

void ReplayScript::settle(ReplayExchange& e) {
    markLost(e);
    // A request byte for byte like a free one just before it cannot be told
    // from one more of them (a page's poll and the run's first poll of the
    // same module): it is free too. The first other request ends the stretch.
    const bool likeFree =
        std::find(m_freeRequests.begin(), m_freeRequests.end(), e.request) != m_freeRequests.end();
    if (e.free || likeFree) {
        e.free = true;
        if (!likeFree) m_freeRequests.push_back(e.request);
    } else {
        m_freeRequests.clear();
    }
}

void ReplayScript::markLost(ReplayExchange& e) {
    const double wireUs = static_cast<double>(e.request.size()) * 10.0 / std::max(e.baud, 1) * 1e6;
    e.lost = !e.replies.empty();
    for (const ReplayReply& r : e.replies)
        if (!r.bytes.empty() || static_cast<double>(r.delayUs) >= wireUs) e.lost = false;
}

bool ReplayScript::nextRun(ReplayRun& out) {
    out = ReplayRun{};
    if (m_haveAhead) {
        out.first = std::move(m_ahead);
        m_haveAhead = false;
    } else if (!nextExchange(out.first)) {
        return false;
    }
    auto delaysOf = [](const ReplayExchange& e) {
        std::vector<std::uint64_t> d;
        for (const ReplayReply& r : e.replies) d.push_back(r.delayUs);
        return d;
    };
    out.count = 1;
    out.delays.push_back(delaysOf(out.first));
    ReplayExchange e;
    while (out.count < kMaxRun && nextExchange(e)) {
        if (!e.sameAs(out.first)) {
            m_ahead = std::move(e);
            m_haveAhead = true;
            break;
        }
        ++out.count;
        out.delays.push_back(delaysOf(e));
    }
    return true;
}

}  // namespace yukt::sim
