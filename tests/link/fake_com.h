#pragma once
// COM ports in memory for link tests: the test plays the module side of the
// line. Bytes the module side queued are read at once; an empty line answers
// "nothing came" at once instead of after the real time-out.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/byte_transport.h"
#include "link/com_port.h"

namespace yukt::test {

struct FakeLine {
    std::deque<std::uint8_t> toHost;     // queued by the module side
    std::vector<std::uint8_t> fromHost;  // everything the host wrote
    // Called for every byte the host writes (a device reacting to requests).
    std::function<void(FakeLine&, std::uint8_t)> onByte;
    bool busy = false;        // the port cannot be opened
    bool writeFails = false;  // writes time out
    int opens = 0;
    int openBaud = 0;
    int readTimeouts = 0;
    int errorClears = 0;

    void queue(const std::vector<std::uint8_t>& bytes) {
        toHost.insert(toHost.end(), bytes.begin(), bytes.end());
    }
};

class FakeTransport final : public ByteTransport {
  public:
    explicit FakeTransport(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}

  private:
    bool doWrite(std::uint8_t b, std::chrono::milliseconds) override {
        if (m_line->writeFails) return false;
        m_line->fromHost.push_back(b);
        if (m_line->onByte) m_line->onByte(*m_line, b);
        return true;
    }
    int doRead(std::chrono::milliseconds) override {
        if (m_line->toHost.empty()) {
            ++m_line->readTimeouts;
            return -1;
        }
        int b = m_line->toHost.front();
        m_line->toHost.pop_front();
        return b;
    }
    void doClearError() override { ++m_line->errorClears; }

    std::shared_ptr<FakeLine> m_line;
};

// Installs COM ports 1..4 as fake lines for the lifetime of the object.
class FakeComPorts {
  public:
    FakeComPorts() {
        for (int n = 1; n <= 4; ++n) lines[n] = std::make_shared<FakeLine>();
        SetComPortOpener(
            [this](int n, int baud, std::string& error) -> std::unique_ptr<ByteTransport> {
                auto it = lines.find(n);
                if (it == lines.end() || it->second->busy) {
                    error = "busy";
                    return nullptr;
                }
                ++it->second->opens;
                it->second->openBaud = baud;
                return std::make_unique<FakeTransport>(it->second);
            });
    }
    ~FakeComPorts() { SetComPortOpener({}); }
    FakeComPorts(const FakeComPorts&) = delete;
    FakeComPorts& operator=(const FakeComPorts&) = delete;

    FakeLine& operator[](int n) { return *lines[n]; }
    std::map<int, std::shared_ptr<FakeLine>> lines;
};

// A binary frame as a module puts it on the line, built from the layout:
// AA AA 55, LEN, status, data, SUM as two characters 48 + nibble each, LF.
inline std::vector<std::uint8_t> ModuleFrame(int status, const std::vector<std::uint8_t>& data,
                                             int preambleAA = 2) {
    std::vector<std::uint8_t> f(static_cast<std::size_t>(preambleAA), 0xAA);
    f.push_back(0x55);
    auto put = [&f](int b) {
        f.push_back(static_cast<std::uint8_t>('0' + ((b >> 4) & 15)));
        f.push_back(static_cast<std::uint8_t>('0' + (b & 15)));
    };
    int len = static_cast<int>(data.size()) + 1;
    int sum = len + status;
    put(len);
    put(status);
    for (std::uint8_t b : data) {
        put(b);
        sum += b;
    }
    put(sum & 255);
    f.push_back(10);
    return f;
}

inline std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace yukt::test
