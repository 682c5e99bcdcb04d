#pragma once
// The byte stream of a connected device server (raw TCP or Telnet with
// RFC 2217), and the socket helpers the connection needs. Internal to the
// link layer: the rest of the program reaches it through tcp_transport.h.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/byte_transport.h"
#include "link/rfc2217.h"

namespace yukt {

using NetClock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, 0 once it has passed.
int MsLeft(NetClock::time_point deadline);

// Polls one descriptor; the revents, 0 on time-out.
short PollOnce(int fd, short events, int ms);

// A socket errno as the operator reads it, in Russian.
std::string SocketText(int e);

class TcpPort final : public ByteTransport {
  public:
    // Takes over the connected socket `fd`; `traceLine` names the line in
    // the trace ("COM1").
    TcpPort(int fd, std::string name, std::optional<Rfc2217Codec> telnet, std::string traceLine);
    ~TcpPort() override;
    TcpPort(const TcpPort&) = delete;
    TcpPort& operator=(const TcpPort&) = delete;

    enum class Settle { Pending, Done, Failed };
    // The opening negotiation: started once, then moved on without waiting
    // whenever the socket has something. Failed leaves the reason in `why`.
    void startNegotiation();
    Settle negotiate(std::string& why);
    int fd() const { return m_fd; }

  private:
    bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) override;
    bool doWriteAll(const std::uint8_t* data, std::size_t n,
                    std::chrono::milliseconds limit) override;
    int doRead(std::chrono::milliseconds limit) override;
    std::size_t doDiscardInput() override;
    bool doLost() const override { return m_lost; }

    void markLost(const std::string& why);
    bool peerGone();
    int fill(NetClock::time_point deadline);
    bool flushTelnet(NetClock::time_point deadline);
    bool sendAll(const std::uint8_t* data, std::size_t n, NetClock::time_point deadline);
    void traceDroppedSubnegotiations();

    int m_fd;
    std::string m_name;
    std::optional<Rfc2217Codec> m_telnet;
    std::string m_traceLine;
    std::size_t m_dropsTraced = 0;
    std::vector<std::uint8_t> m_rx;
    std::size_t m_pos = 0;
    bool m_lost = false;
    std::string m_problem;
};

}  // namespace yukt
