#pragma once
// Telnet with the COM Port Control option (RFC 2217), as a byte-fed state
// machine without I/O: what the device server sends goes in through feed(),
// line data comes out, and the answers the negotiation needs collect in
// takeOutput() together with escaped line data from encodeData().
//
// The client asks for binary transmission both ways (so CR travels as it
// is), suppressed go-ahead, and the COM port option; once the server agrees
// to the option it sends the line settings: baud, 8 data bits, no parity,
// one stop bit, no flow control, DTR on, RTS off.
//
// As a server (the replay's device server) it agrees to the same options
// and confirms every COM port setting as asked: it has no line to set.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace yukt {

class Rfc2217Codec {
  public:
    enum class Option : std::uint8_t { Binary = 0, SuppressGoAhead = 3, ComPort = 44 };

    enum class Role { Client, Server };

    explicit Rfc2217Codec(int baud, Role role = Role::Client);

    // The opening negotiation. Call once after connecting.
    void start();

    // Feeds bytes from the server; line data is appended to `data`.
    void feed(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& data);

    // Line data with every 0xFF doubled, appended to the pending output.
    void encodeData(const std::uint8_t* bytes, std::size_t n);

    // Bytes to send to the server (negotiation answers and encoded data).
    std::vector<std::uint8_t> takeOutput();
    bool hasOutput() const { return !m_out.empty(); }

    // The server agreed to the COM port option and confirmed the baud rate.
    bool settled() const { return m_baudConfirmed; }
    // The server refused the COM port option; settings cannot be made.
    bool refused() const { return m_comPortRefused; }
    // Baud rate the server reported back (0 until then); as a server, the
    // one the client asked for.
    std::uint32_t confirmedBaud() const { return m_confirmedBaud; }
    // Sub-negotiations that ran past their limit and were dropped.
    std::size_t droppedSubnegotiations() const { return m_droppedSubnegotiations; }
    // Bytes the codec itself holds (a sub-negotiation in progress, answers
    // not yet taken): bounded whatever the server sends.
    std::size_t heldBytes() const { return m_sub.size() + m_out.size(); }

  private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void onVerb(std::uint8_t verb, std::uint8_t option);
    void onSubnegotiation();
    // A byte inside a sub-negotiation; past the limit it is line data again.
    void addSubByte(std::uint8_t b, std::vector<std::uint8_t>& data);
    void sendVerb(std::uint8_t verb, std::uint8_t option);
    void sendSettings();
    void sendComPortCommand(std::uint8_t command, const std::vector<std::uint8_t>& value);
    static bool wanted(std::uint8_t option);

    int m_baud;
    Role m_role;
    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sub;
    std::vector<std::uint8_t> m_out;
    // Options we have asked for or agreed to, so that an answer is not
    // answered again (which would loop).
    bool m_willSent[256] = {};
    bool m_doSent[256] = {};
    bool m_settingsSent = false;
    bool m_baudConfirmed = false;
    bool m_comPortRefused = false;
    std::uint32_t m_confirmedBaud = 0;
    std::size_t m_droppedSubnegotiations = 0;
};

}  // namespace yukt
