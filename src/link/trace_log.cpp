#include "link/trace_log.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "common/system_error.h"
#include "common/text_file.h"

namespace yukt {

// The programs link their version (it changes with every commit); test
// programs do not, and their traces name no version.
const char* ProgramVersion() __attribute__((weak));

namespace {

constexpr std::chrono::milliseconds kFlushEvery{500};
// A burst larger than this wakes the writer early.
constexpr std::size_t kWakeAt = 64 * 1024;

class TraceFile {
  public:
    ~TraceFile() { stop(); }

    bool start(const std::string& path) {
        stop();
        std::string why;
        std::FILE* f = openRegular(path, why);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_envRead = true;
        m_error.clear();  // each file named gets its one report
        if (f == nullptr) {
            fail(path, why);
            return false;
        }
        m_file = f;
        m_path = path;
        m_error.clear();
        m_quit = false;
        m_headerDone = false;
        m_on = true;
        m_writer = std::thread([this] { run(); });
        return true;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_on = false;
            m_quit = true;
        }
        m_wake.notify_all();
        if (m_writer.joinable()) m_writer.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_file) {
            writeOut(m_pending);
            std::fclose(m_file);
            m_file = nullptr;
        }
    }

    bool on() {
        if (!m_envChecked.load(std::memory_order_acquire)) readEnvironment();
        return m_on.load(std::memory_order_relaxed);
    }

    void write(std::string line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_on) return;
        writeHeader();
        m_pending += line;
        m_pending += '\n';
        if (m_pending.size() >= kWakeAt) m_wake.notify_all();
    }

    void nameLine(const TraceLineSettings& settings) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto known = std::find_if(m_lines.begin(), m_lines.end(),
                                  [&](const TraceLineSettings& l) { return l.line == settings.line; });
        if (known == m_lines.end())
            m_lines.push_back(settings);
        else if (known->baud != settings.baud || known->device != settings.device)
            *known = settings;
        else
            return;
        // The first line, once written, cannot name it any more.
        if (m_on && m_headerDone) m_pending += FormatTraceSettingsNote(TraceMicros(), settings) + '\n';
    }

    std::string error() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

  private:
    void readEnvironment() {
        std::string path;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_envRead) {
                m_envRead = true;
                if (const char* env = std::getenv("YUKT_TRACE"); env && *env) path = env;
            }
        }
        if (!path.empty()) start(path);
        m_envChecked.store(true, std::memory_order_release);
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            m_wake.wait_for(lock, kFlushEvery,
                            [this] { return m_quit || m_pending.size() >= kWakeAt; });
            std::string batch;
            batch.swap(m_pending);
            std::FILE* f = m_file;
            lock.unlock();
            const bool ok =
                batch.empty() || (std::fwrite(batch.data(), 1, batch.size(), f) == batch.size() &&
                                  std::fflush(f) == 0);
            const int e = errno;
            lock.lock();
            if (!ok) {
                fail(m_path, SystemErrorText(e));
                m_on = false;
                m_pending.clear();
                return;
            }
        }
    }

    // Under the lock: the first line of what this program writes to the
    // file, so that the trace says who wrote it and on which lines.
    void writeHeader() {
        if (m_headerDone) return;
        m_headerDone = true;
        m_pending += FormatTraceHeader(program_invocation_short_name,
                                       ProgramVersion ? ProgramVersion() : "-", m_lines);
        m_pending += '\n';
    }

    // Under the lock.
    void writeOut(const std::string& text) {
        if (!text.empty() && (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() ||
                              std::fflush(m_file) != 0))
            fail(m_path, SystemErrorText(errno));
        m_pending.clear();
    }

    // A regular file, appended to, or a new one. A FIFO with no reader
    // would hold the program at its start and kill it (SIGPIPE) when the
    // reader goes; a device or socket is no place for a trace either.
    static std::FILE* openRegular(const std::string& path, std::string& why) {
        FileFailure failure;
        if (!WritableTextPath(path, failure)) {
            why = failure.reason;
            return nullptr;
        }
        // O_NONBLOCK: should the path have become a FIFO since, the open
        // returns at once and fstat refuses it.
        const int fd = ::open(
            path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            why = SystemErrorText(errno);
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            why = FileKindReason(st.st_mode);
            ::close(fd);
            return nullptr;
        }
        std::FILE* f = ::fdopen(fd, "a");
        if (f == nullptr) {
            why = SystemErrorText(errno);
            ::close(fd);
        }
        return f;
    }

    // Under the lock: the one report of a trace that cannot be written.
    void fail(const std::string& path, const std::string& reason) {
        if (!m_error.empty()) return;
        m_error = "Трасса обмена не пишется: " + path + ": " + reason;
        std::cerr << m_error << std::endl;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_writer;
    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_pending;
    std::string m_error;
    std::vector<TraceLineSettings> m_lines;
    bool m_headerDone = false;
    bool m_quit = false;
    bool m_envRead = false;
    std::atomic<bool> m_envChecked{false};
    std::atomic<bool> m_on{false};
};

TraceFile& traceFile() {
    static TraceFile file;
    return file;
}

}  // namespace

bool StartTrace(const std::string& path) { return traceFile().start(path); }
void StopTrace() { traceFile().stop(); }
bool TraceOn() { return traceFile().on(); }
void TraceWrite(std::string line) { traceFile().write(std::move(line)); }
void TraceNameLine(const TraceLineSettings& settings) { traceFile().nameLine(settings); }
std::string TraceError() { return traceFile().error(); }

}  // namespace yukt
