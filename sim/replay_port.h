#pragma once
// Where a replay plays the device side: the pseudo-terminal of a PtyLine, or
// a TCP port as a serial device server. A device server takes one client at
// a time, raw or Telnet with COM Port Control (told apart by the client's
// first byte: a Telnet client starts with IAC, a frame never does); a
// client that goes away may connect again, as the link does after a drop.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/rfc2217.h"
#include "sim/pty_line.h"

namespace yukt::sim {

class ReplayPort {
  public:
    using Clock = std::chrono::steady_clock;

    static std::unique_ptr<ReplayPort> onPty(const std::string& link, std::string& error);
    // "PORT" on 127.0.0.1, or "HOST:PORT"; port 0 takes a free one.
    static std::unique_ptr<ReplayPort> onTcp(const std::string& where, std::string& error);
    ~ReplayPort();
    ReplayPort(const ReplayPort&) = delete;
    ReplayPort& operator=(const ReplayPort&) = delete;

    // "COM link -> /dev/pts/3" or "tcp 127.0.0.1:40123".
    std::string where() const;

    // Waits until line data arrives or `until`; appends what came to `in`.
    // False when the port itself failed.
    bool wait(Clock::time_point until, std::vector<std::uint8_t>& in);
    // Line data to the program (dropped while no client is connected).
    void send(const std::vector<std::uint8_t>& bytes);

    // A device server drops its client's connection (the line is gone for
    // the program; it connects again). Nothing on a pseudo-terminal.
    void hangUp() { dropClient(); }

    // Client connections accepted so far (device server).
    int connections() const { return m_connections; }

  private:
    ReplayPort() = default;
    void dropClient();
    void feedClient(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& in);
    void writeRaw(const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<PtyLine> m_pty;
    int m_listen = -1;
    int m_client = -1;
    std::string m_address;
    int m_connections = 0;
    // The client's kind, known from its first byte; a Telnet client is
    // served by the link's own codec in its server role.
    enum class Mode { Unknown, Raw, Telnet } m_mode = Mode::Unknown;
    std::optional<Rfc2217Codec> m_telnet;
};

}  // namespace yukt::sim
