#pragma once
// The two message forms of a Link line, without any I/O.
//
// Binary frame: AA AA 55, then LEN, HDR, data, SUM as nibble characters
// (48 + nibble), then LF. LEN = data count + 1, HDR = address * 16 + command
// (in a reply: the module's status byte), SUM = LEN + HDR + data, all mod 256.
// Text frame: 1F 1F, the text bytes, one check character, 1A.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace yukt {

constexpr std::uint8_t kPreamble = 170;     // AA
constexpr std::uint8_t kPreambleEnd = 85;   // 55
constexpr std::uint8_t kFrameEnd = 10;      // LF
constexpr std::uint8_t kTextStart = 31;     // 1F
constexpr std::uint8_t kTextEnd = 26;       // 1A
constexpr std::size_t kMaxFrameData = 254;  // LEN is one byte and never 0
constexpr std::size_t kMaxTextChars = 160;
// The status bit of a reply that says the module accepted the request.
constexpr std::uint8_t kAcceptedBit = 8;

// The binary frame as it goes on the line. `count` must be at most
// kMaxFrameData.
std::vector<std::uint8_t> EncodeFrame(int addr, int cmd, const std::uint8_t* data,
                                      std::size_t count);

// Text frame bytes for a Windows-1251 text.
std::vector<std::uint8_t> EncodeTextFrame(const std::string& cp1251);
// 48 + (sum of the bytes mod 16).
std::uint8_t TextCheckChar(const std::string& cp1251);

// Decodes one binary frame a byte at a time:
//   hunt for AA, then one to four AA and 55, LEN, status, data, SUM, LF.
// Data goes straight into the caller's buffer of 256 bytes.
class FrameDecoder {
  public:
    enum class Step { NeedMore, Frame, Error };
    // Why the last Step::Error came.
    enum class Fault { None, Preamble, Length, Sum, End };

    explicit FrameDecoder(std::uint8_t* buf) : m_buf(buf) {}

    void reset();
    Step feed(std::uint8_t b);

    // Valid after Step::Frame; status and data are kept after a refused frame.
    int status() const { return m_status; }
    int count() const { return m_count; }
    // LEN has been read (count() is then the data count it announced).
    bool lengthKnown() const { return m_len != 0; }
    bool accepted() const { return (m_status & kAcceptedBit) != 0; }
    Fault fault() const { return m_fault; }

  private:
    enum class State { Hunt, Preamble, Len, Status, Data, Sum, End };
    Step fail(Fault why);
    // Combines two nibble characters; true when the byte is complete.
    bool takeNibble(std::uint8_t c, std::uint8_t& out);

    std::uint8_t* m_buf;
    State m_state = State::Hunt;
    int m_extraAA = 0;
    bool m_haveHigh = false;
    std::uint8_t m_high = 0;
    int m_len = 0;
    int m_status = 0;
    int m_count = 0;
    int m_filled = 0;
    unsigned m_sum = 0;
    Fault m_fault = Fault::None;
};

}  // namespace yukt
