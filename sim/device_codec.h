#pragma once
// The line protocol seen from the module side: a byte-fed decoder of the
// host's frames (binary request frames and text frames) and the encoders of
// what a module puts on the line. No I/O and no clock.
//
// Binary frame: 170 170 85, then LEN, HDR, data, SUM as two characters per
// byte (48 + high nibble, 48 + low nibble), then 10. LEN = data count + 1,
// HDR = address * 16 + command (a reply carries the status byte there), SUM =
// LEN + HDR + data, all mod 256. Text frame: 31 31, text, one check
// character, 26.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace yukt::sim {

inline constexpr std::uint8_t kSync = 170;
inline constexpr std::uint8_t kSyncEnd = 85;
inline constexpr std::uint8_t kFrameEnd = 10;
inline constexpr std::uint8_t kTextStart = 31;
inline constexpr std::uint8_t kTextEnd = 26;
inline constexpr std::uint8_t kAcceptBit = 8;
inline constexpr std::size_t kMaxFrameData = 254;

class RequestDecoder {
  public:
    enum class Step { NeedMore, Frame, Text, Broken };

    // Feeds one byte. Frame: address(), command(), data() hold the request.
    // Text: text() holds it. Broken: a frame began but failed its checks.
    Step push(std::uint8_t b);

    int address() const { return m_header >> 4; }
    int command() const { return m_header & 15; }
    std::uint8_t header() const { return m_header; }
    const std::vector<std::uint8_t>& data() const { return m_data; }
    const std::string& text() const { return m_text; }
    // The bytes of the frame (or broken frame) just decoded, as they came.
    const std::vector<std::uint8_t>& raw() const { return m_raw; }

  private:
    Step step(std::uint8_t b);
    enum class State { Idle, Sync, Len, Header, Data, Sum, End, TextSync, Text };
    Step fail();
    // Collects one byte from two characters; true when complete.
    bool nibble(std::uint8_t c, std::uint8_t& out);

    State m_state = State::Idle;
    int m_syncCount = 0;
    bool m_highDone = false;
    std::uint8_t m_high = 0;
    std::uint8_t m_len = 0;
    std::uint8_t m_header = 0;
    std::uint8_t m_sum = 0;
    std::vector<std::uint8_t> m_data;
    std::string m_text;
    std::vector<std::uint8_t> m_raw;
};

// A whole binary frame with this header byte and data (cut to 254 bytes).
std::vector<std::uint8_t> encodeFrame(std::uint8_t header, std::span<const std::uint8_t> data);
// The status byte of a reply: address in the high nibble, acceptance bit.
std::uint8_t statusByte(int address, bool accepted);
// A whole text frame (the text is sent as it is).
std::vector<std::uint8_t> encodeText(std::string_view text);

}  // namespace yukt::sim
