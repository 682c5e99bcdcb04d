#include "sim/trace_replay.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "link/trace_format.h"
#include "sim/replay_port.h"
#include "sim/replay_script.h"

namespace yukt::sim {

namespace {

using Clock = ReplayPort::Clock;
using namespace std::chrono_literals;

// The program may pause between requests as long as it did in the
// recording, and this much more, before the replay calls it gone.
constexpr auto kQuietMargin = 10s;
// After a differing byte, the rest of the request is waited for this long
// so that the report can decode it.
constexpr auto kRestOfRequest = 100ms;

const char* const kUsage =
    "usage: yukt-bench --replay TRACE [--speed X | --as-fast-as-possible] [--slack N]\n"
    "       [--line COM1] [--linger SECONDS] (LINK | --tcp [ADDRESS:]PORT)\n";

struct Options {
    std::string trace, line, link, tcp;
    double speed = 1;
    bool asap = false;
    int slack = 0;
    double linger = 1;
};

bool parse(int argc, char** argv, Options& o, std::string& why) {
    bool speedGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--as-fast-as-possible") {
            o.asap = true;
        } else if (a.rfind("--", 0) != 0) {
            if (!o.link.empty()) {
                why = "лишний аргумент: " + a;
                return false;
            }
            o.link = a;
        } else if (!value(v)) {
            why = "неизвестный аргумент или нет значения: " + a;
            return false;
        } else if (a == "--replay") {
            o.trace = v;
        } else if (a == "--line") {
            o.line = v;
        } else if (a == "--tcp") {
            o.tcp = v;
        } else if (a == "--speed") {
            speedGiven = true;
            if (!StrToFloatStrict(v, o.speed) || !(o.speed > 0) || o.speed > 1e6) {
                why = "--speed " + v + ": нужно положительное число";
                return false;
            }
        } else if (a == "--slack") {
            if (!StrToIntStrict(v, o.slack) || o.slack < 0) {
                why = "--slack " + v + ": нужно целое число не меньше 0";
                return false;
            }
        } else if (a == "--linger") {
            if (!StrToFloatStrict(v, o.linger) || !(o.linger >= 0) || o.linger > 3600) {
                why = "--linger " + v + ": нужно число секунд";
                return false;
            }
        } else {
            why = "неизвестный аргумент: " + a;
            return false;
        }
    }
    if (speedGiven && o.asap) {
        why = "--speed и --as-fast-as-possible не задаются вместе";
        return false;
    }
    if (o.trace.empty() || o.link.empty() == o.tcp.empty()) {
        why = "нужны трасса и одно из: LINK или --tcp PORT";
        return false;
    }
    return true;
}

bool startsWith(const std::vector<std::uint8_t>& whole, const std::vector<std::uint8_t>& head) {
    return head.size() <= whole.size() && std::equal(head.begin(), head.end(), whole.begin());
}

// Bytes as a trace line shows them: hex, then their decoding.
std::string shown(const std::vector<std::uint8_t>& bytes) {
    const std::string line = FormatTraceLine(0, "x", TraceDir::Sent, bytes);
    return line.substr(std::strlen("0 x -> "));
}

// How far the replay reads ahead for the next request that is not free:
// free runs further on than this cannot be passed over.
constexpr std::size_t kMaxAhead = 4096;

class Replayer {
  public:
    Replayer(ReplayScript& script, ReplayPort& port, const Options& o)
        : m_script(script), m_port(port), m_o(o) {}

    int run(const std::atomic<bool>& stop) {
        if (!m_script.nextRun(m_cur)) return quiet("в трассе нет запросов");
        const auto quietLimit =
            std::chrono::microseconds(m_script.longestGapUs()) + kQuietMargin;
        Clock::time_point lastByte = Clock::now();
        Clock::time_point endAt{};
        bool ended = false;
        std::vector<std::uint8_t> in;
        while (true) {
            if (stop) return quiet("остановлено до конца записи");
            const Clock::time_point now = sendDue();
            if (!ended && atEnd()) {
                ended = true;
                endAt = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(m_o.linger));
            }
            Clock::time_point until = now + 1s;
            if (!m_due.empty()) until = std::min(until, m_due.front().at);
            if (ended) until = std::min(until, endAt);
            if (m_started && !ended && m_due.empty()) until = std::min(until, lastByte + quietLimit);
            in.clear();
            if (!m_port.wait(until, in)) return quiet("линия закрылась");
            const Clock::time_point after = Clock::now();
            if (in.empty()) {
                if (ended && after >= endAt) {
                    std::cout << "yukt-bench: запись проиграна до конца: " << m_requests
                              << " запросов по " << m_script.line() << std::endl;
                    return 0;
                }
                // Also part way through a request: its rest is not coming.
                if (m_started && !ended && m_due.empty() && after >= lastByte + quietLimit)
                    return quiet("программа замолчала, запись не доиграна");
                continue;
            }
            m_started = true;
            lastByte = after;
            for (std::size_t i = 0; i < in.size(); ++i) {
                const int verdict = take(in[i], after);
                if (verdict < 0) continue;
                std::vector<std::uint8_t> rest(in.begin() + static_cast<long>(i) + 1, in.end());
                return report(verdict, rest);
            }
            // A request after the end keeps the replay going only while it
            // is one more of the last run.
            if (ended && !atEnd()) ended = false;
        }
    }

  private:
    struct Due {
        Clock::time_point at;
        std::vector<std::uint8_t> bytes;
    };

    // How often a run may be matched: a free one any number of times, the
    // others as recorded, within --slack (at least once).
    std::size_t minOf(const ReplayRun& r) const {
        if (r.first.free) return 0;
        const auto slack = static_cast<std::size_t>(m_o.slack);
        return r.count > slack ? std::max<std::size_t>(1, r.count - slack) : 1;
    }
    std::size_t maxOf(const ReplayRun& r) const {
        if (r.first.free) return std::numeric_limits<std::size_t>::max();
        return r.count + static_cast<std::size_t>(m_o.slack);
    }

    // The run `k` places ahead of the current one, read from the trace as
    // needed; null past the end.
    const ReplayRun* ahead(std::size_t k) {
        while (m_ahead.size() <= k && !m_scriptDone && m_ahead.size() < kMaxAhead) {
            ReplayRun r;
            if (!m_script.nextRun(r)) {
                m_scriptDone = true;
                break;
            }
            m_ahead.push_back(std::move(r));
        }
        return k < m_ahead.size() ? &m_ahead[k] : nullptr;
    }

    // The runs the next request may be: ahead(0), and past every free run
    // the one after it.
    std::size_t reachable() {
        if (m_count < minOf(m_cur)) return 0;
        std::size_t k = 0;
        while (const ReplayRun* r = ahead(k)) {
            ++k;
            if (!r->first.free) break;
        }
        return k;
    }

    // The recording may end here: what is left is free.
    bool recordingDone() {
        if (m_count < minOf(m_cur)) return false;
        for (std::size_t k = 0; const ReplayRun* r = ahead(k); ++k)
            if (!r->first.free) return false;
        return true;
    }

    bool atEnd() { return m_due.empty() && m_buf.empty() && recordingDone(); }

    Clock::time_point sendDue() {
        Clock::time_point now = Clock::now();
        while (!m_due.empty() && m_due.front().at <= now) {
            m_port.send(m_due.front().bytes);
            m_due.pop_front();
            now = Clock::now();
        }
        return now;
    }

    // One byte of a request: -1 while all is well, else the exit code.
    int take(std::uint8_t b, Clock::time_point now) {
        if (m_buf.empty()) m_requestAt = now;
        m_buf.push_back(b);
        const bool okRepeat = m_count < maxOf(m_cur) && startsWith(m_cur.first.request, m_buf);
        const std::size_t reach = reachable();
        bool okAdvance = false;
        std::optional<std::size_t> fullAdvance;  // the nearest run matched whole
        for (std::size_t k = 0; k < reach; ++k) {
            const std::vector<std::uint8_t>& request = ahead(k)->first.request;
            if (!startsWith(request, m_buf)) continue;
            okAdvance = true;
            if (!fullAdvance && m_buf.size() == request.size()) fullAdvance = k;
        }
        // One more of the free requests already passed (free polls of
        // several modules come round in turn).
        const ReplayRun* pooled = nullptr;
        bool okPool = false;
        for (const ReplayRun& r : m_pool) {
            if (!startsWith(r.first.request, m_buf)) continue;
            okPool = true;
            if (m_buf.size() == r.first.request.size()) pooled = &r;
        }
        if (!okRepeat && !okAdvance && !okPool) return reach == 0 && m_count >= minOf(m_cur) ? 4 : 3;
        const bool fullRepeat = okRepeat && m_buf.size() == m_cur.first.request.size();
        if (!fullRepeat && !fullAdvance && !pooled) return -1;
        m_buf.clear();
        ++m_requests;
        if (!fullRepeat && !fullAdvance) {
            schedule(*pooled, pooled->count);
            return -1;
        }
        // The same request either way: the recording's own count decides.
        if (fullRepeat && (!fullAdvance || m_count < m_cur.count)) {
            ++m_count;
        } else {
            advance(*fullAdvance);
            m_count = 1;
        }
        if (m_cur.first.lost) {
            // The connection went down at this request: the program's next
            // requests went nowhere until it connected again.
            m_port.hangUp();
            skipLost();
            return -1;
        }
        schedule(m_cur, m_count);
        return -1;
    }

    // Makes the run `k` places ahead the current one, passing over the free
    // runs before it. The free runs passed stay at hand (the last of each
    // request) until a run that is not free is reached.
    void advance(std::size_t k) {
        auto keep = [this](ReplayRun& r) {
            if (!r.first.free) return;
            std::erase_if(m_pool, [&](const ReplayRun& p) { return p.first.request == r.first.request; });
            m_pool.push_back(std::move(r));
        };
        keep(m_cur);
        for (std::size_t i = 0; i < k; ++i) keep(m_ahead[i]);
        m_cur = std::move(m_ahead[k]);
        m_ahead.erase(m_ahead.begin(), m_ahead.begin() + static_cast<long>(k) + 1);
        if (!m_cur.first.free) m_pool.clear();
    }

    // Passes over the requests the recording shows sent on a lost line.
    void skipLost() {
        m_count = m_cur.count;
        while (const ReplayRun* r = ahead(0)) {
            if (!r->first.lost) break;
            advance(0);
            m_count = m_cur.count;
        }
    }

    // The replies of the `count`th exchange of `run`.
    void schedule(const ReplayRun& run, std::size_t count) {
        const ReplayExchange& e = run.first;
        const std::vector<std::uint64_t>& delays =
            run.delays[std::min(count - 1, run.delays.size() - 1)];
        for (std::size_t i = 0; i < e.replies.size(); ++i) {
            const std::vector<std::uint8_t>& bytes = e.replies[i].bytes;
            if (bytes.empty()) continue;  // silence
            Clock::time_point at = m_requestAt;
            if (!m_o.asap) {
                const double recorded = static_cast<double>(delays[i]) / 1e6 / m_o.speed;
                // Both frames take their 10 bits a byte on the recorded line.
                const double wire = static_cast<double>(e.request.size() + bytes.size()) * 10.0 /
                                    std::max(e.baud, 1);
                at += std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(std::max(recorded, wire)));
            }
            m_due.push_back({at, bytes});
        }
        std::stable_sort(m_due.begin(), m_due.end(),
                         [](const Due& a, const Due& b) { return a.at < b.at; });
    }

    // The request the recording wanted next: the current run's while it
    // is owed, else the first one ahead that is not free.
    const ReplayExchange& expected() {
        if (m_count < minOf(m_cur)) return m_cur.first;
        const ReplayRun* first = ahead(0);
        for (std::size_t k = 0; const ReplayRun* r = ahead(k); ++k)
            if (!r->first.free) return r->first;
        return first ? first->first : m_cur.first;
    }

    int report(int code, std::vector<std::uint8_t> rest) {
        // The rest of the request, so that it decodes as a whole.
        std::vector<std::uint8_t> received = m_buf;
        received.insert(received.end(), rest.begin(), rest.end());
        const Clock::time_point until = Clock::now() + kRestOfRequest;
        while (Clock::now() < until && received.size() < 4096)
            if (!m_port.wait(until, received)) break;
        if (code == 4) {
            std::cerr << "yukt-bench: " << m_script.path()
                      << ": запрос после конца записи (последняя строка трассы "
                      << m_script.lastLine() << ")\n  получен: " << shown(received) << std::endl;
            return 4;
        }
        const ReplayExchange& want = expected();
        std::size_t at = 0;
        while (at < received.size() && at < want.request.size() && received[at] == want.request[at])
            ++at;
        std::cerr << "yukt-bench: " << m_script.path() << ", строка " << want.lineNo
                  << ": запрос отличается от записанного с байта " << at + 1
                  << "\n  записан: " << shown(want.request)
                  << "\n  получен: " << shown(received) << std::endl;
        return 3;
    }

    int quiet(const std::string& why) {
        std::cerr << "yukt-bench: " << m_script.path() << ", строка " << expected().lineNo << ": "
                  << why << std::endl;
        return 5;
    }

    ReplayScript& m_script;
    ReplayPort& m_port;
    const Options& m_o;
    ReplayRun m_cur;
    std::deque<ReplayRun> m_ahead;  // read from the trace, not yet reached
    std::vector<ReplayRun> m_pool;  // free runs passed since the last that is not
    bool m_scriptDone = false;
    std::size_t m_count = 0;  // times m_cur was matched
    std::size_t m_requests = 0;
    bool m_started = false;
    std::vector<std::uint8_t> m_buf;  // the request being received
    Clock::time_point m_requestAt{};
    std::deque<Due> m_due;
};

}  // namespace

bool ReplayAsked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--replay") == 0) return true;
    return false;
}

int ReplayMain(int argc, char** argv, const std::atomic<bool>& stop) {
    Options o;
    std::string why;
    if (!parse(argc, argv, o, why)) {
        std::cerr << "yukt-bench: " << why << '\n' << kUsage;
        return 2;
    }
    ReplayScript script;
    if (!script.open(o.trace, o.line, why)) {
        std::cerr << "yukt-bench: " << why << std::endl;
        return 2;
    }
    std::unique_ptr<ReplayPort> port =
        o.tcp.empty() ? ReplayPort::onPty(o.link, why) : ReplayPort::onTcp(o.tcp, why);
    if (!port) {
        std::cerr << "yukt-bench: " << why << std::endl;
        return 1;
    }
    std::cout << "yukt-bench: replay " << o.trace << " (" << script.line() << "): " << port->where()
              << std::endl;
    Replayer replayer(script, *port, o);
    return replayer.run(stop);
}

}  // namespace yukt::sim
