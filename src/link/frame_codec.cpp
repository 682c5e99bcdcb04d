#include "link/frame_codec.h"

namespace yukt {

namespace {

void putEncoded(std::vector<std::uint8_t>& out, std::uint8_t b) {
    out.push_back(static_cast<std::uint8_t>(48 + (b >> 4)));
    out.push_back(static_cast<std::uint8_t>(48 + (b & 15)));
}

// A receiver accepts at most this many AA after the first one.
constexpr int kMaxExtraPreamble = 3;

}  // namespace

std::vector<std::uint8_t> EncodeFrame(int addr, int cmd, const std::uint8_t* data,
                                      std::size_t count) {
    std::vector<std::uint8_t> out;
    out.reserve(3 + 6 + 2 * count + 1);
    out.push_back(kPreamble);
    out.push_back(kPreamble);
    out.push_back(kPreambleEnd);
    auto len = static_cast<std::uint8_t>((count + 1) % 256);
    auto hdr = static_cast<std::uint8_t>((addr * 16 + cmd) % 256);
    unsigned sum = len + hdr;
    putEncoded(out, len);
    putEncoded(out, hdr);
    for (std::size_t i = 0; i < count; ++i) {
        putEncoded(out, data[i]);
        sum += data[i];
    }
    putEncoded(out, static_cast<std::uint8_t>(sum % 256));
    out.push_back(kFrameEnd);
    return out;
}

std::uint8_t TextCheckChar(const std::string& cp1251) {
    unsigned sum = 0;
    for (char c : cp1251) sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>(48 + sum % 16);
}

std::vector<std::uint8_t> EncodeTextFrame(const std::string& cp1251) {
    std::vector<std::uint8_t> out;
    out.reserve(cp1251.size() + 4);
    out.push_back(kTextStart);
    out.push_back(kTextStart);
    for (char c : cp1251) out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(TextCheckChar(cp1251));
    out.push_back(kTextEnd);
    return out;
}

void FrameDecoder::reset() {
    m_state = State::Hunt;
    m_extraAA = 0;
    m_haveHigh = false;
    m_len = 0;
    m_status = 0;
    m_count = 0;
    m_filled = 0;
    m_sum = 0;
    m_fault = Fault::None;
}

FrameDecoder::Step FrameDecoder::fail(Fault why) {
    m_fault = why;
    m_state = State::Hunt;
    return Step::Error;
}

bool FrameDecoder::takeNibble(std::uint8_t c, std::uint8_t& out) {
    // Only the low four bits of each character count; the high bits are not
    // checked.
    if (!m_haveHigh) {
        m_high = c;
        m_haveHigh = true;
        return false;
    }
    m_haveHigh = false;
    out = static_cast<std::uint8_t>(((m_high << 4) & 0xF0) | (c & 0x0F));
    return true;
}

FrameDecoder::Step FrameDecoder::feed(std::uint8_t b) {
    std::uint8_t v = 0;
    switch (m_state) {
        case State::Hunt:
            if (b == kPreamble) {
                m_extraAA = 0;
                m_haveHigh = false;
                m_state = State::Preamble;
            }
            return Step::NeedMore;
        case State::Preamble:
            if (b == kPreamble) {
                if (++m_extraAA > kMaxExtraPreamble) return fail(Fault::Preamble);
                return Step::NeedMore;
            }
            if (b != kPreambleEnd) return fail(Fault::Preamble);
            m_state = State::Len;
            return Step::NeedMore;
        case State::Len:
            if (!takeNibble(b, v)) return Step::NeedMore;
            if (v == 0) return fail(Fault::Length);
            m_len = v;
            m_count = v - 1;
            m_filled = 0;
            m_sum = v;
            m_state = State::Status;
            return Step::NeedMore;
        case State::Status:
            if (!takeNibble(b, v)) return Step::NeedMore;
            m_status = v;
            m_sum += v;
            m_state = m_count > 0 ? State::Data : State::Sum;
            return Step::NeedMore;
        case State::Data:
            if (!takeNibble(b, v)) return Step::NeedMore;
            m_buf[m_filled++] = v;
            m_sum += v;
            if (m_filled >= m_count) m_state = State::Sum;
            return Step::NeedMore;
        case State::Sum:
            if (!takeNibble(b, v)) return Step::NeedMore;
            if (v != m_sum % 256) return fail(Fault::Sum);
            m_state = State::End;
            return Step::NeedMore;
        case State::End:
            if (b != kFrameEnd) return fail(Fault::End);
            m_state = State::Hunt;
            return Step::Frame;
    }
    return fail(Fault::None);
}

}  // namespace yukt
