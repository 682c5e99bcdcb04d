#include "sim/device_codec.h"

#include <algorithm>

namespace yukt::sim {

namespace {

// A module, like the host, takes one to four sync bytes before the 85.
constexpr int kMaxSyncBytes = 4;
// The longest text a host may send, check character included.
constexpr std::size_t kMaxText = 256;

void putEncoded(std::vector<std::uint8_t>& out, std::uint8_t b) {
    out.push_back(static_cast<std::uint8_t>(48 + (b >> 4)));
    out.push_back(static_cast<std::uint8_t>(48 + (b & 15)));
}

}  // namespace

RequestDecoder::Step RequestDecoder::fail() {
    m_state = State::Idle;
    return Step::Broken;
}

bool RequestDecoder::nibble(std::uint8_t c, std::uint8_t& out) {
    if (!m_highDone) {
        m_high = c;
        m_highDone = true;
        return false;
    }
    m_highDone = false;
    // Only the low four bits of each character count, as on the host side.
    out = static_cast<std::uint8_t>(((m_high << 4) & 0xF0) | (c & 0x0F));
    return true;
}

RequestDecoder::Step RequestDecoder::push(std::uint8_t b) {
    // A frame starts from the idle state; what came before is gone.
    if (m_state == State::Idle) m_raw.clear();
    m_raw.push_back(b);
    return step(b);
}

RequestDecoder::Step RequestDecoder::step(std::uint8_t b) {
    std::uint8_t v = 0;
    switch (m_state) {
        case State::Idle:
            if (b == kSync) {
                m_state = State::Sync;
                m_syncCount = 1;
            } else if (b == kTextStart) {
                m_state = State::TextSync;
            }
            return Step::NeedMore;
        case State::Sync:
            if (b == kSync) {
                if (++m_syncCount > kMaxSyncBytes) return fail();
                return Step::NeedMore;
            }
            if (b != kSyncEnd) return fail();
            m_state = State::Len;
            m_highDone = false;
            m_data.clear();
            return Step::NeedMore;
        case State::Len:
            if (!nibble(b, v)) return Step::NeedMore;
            if (v == 0) return fail();
            m_len = v;
            m_sum = v;
            m_state = State::Header;
            return Step::NeedMore;
        case State::Header:
            if (!nibble(b, v)) return Step::NeedMore;
            m_header = v;
            m_sum = static_cast<std::uint8_t>(m_sum + v);
            m_state = m_len == 1 ? State::Sum : State::Data;
            return Step::NeedMore;
        case State::Data:
            if (!nibble(b, v)) return Step::NeedMore;
            m_data.push_back(v);
            m_sum = static_cast<std::uint8_t>(m_sum + v);
            if (m_data.size() + 1 == m_len) m_state = State::Sum;
            return Step::NeedMore;
        case State::Sum:
            if (!nibble(b, v)) return Step::NeedMore;
            if (v != m_sum) return fail();
            m_state = State::End;
            return Step::NeedMore;
        case State::End:
            m_state = State::Idle;
            return b == kFrameEnd ? Step::Frame : Step::Broken;
        case State::TextSync:
            if (b != kTextStart) {
                m_state = State::Idle;
                return Step::NeedMore;  // a lone 31 is line noise, not a frame
            }
            m_state = State::Text;
            m_text.clear();
            return Step::NeedMore;
        case State::Text:
            if (b == kTextEnd) {
                m_state = State::Idle;
                if (m_text.empty()) return Step::Broken;
                m_text.pop_back();  // the check character
                return Step::Text;
            }
            // Further sync bytes right after the two of the preamble belong to it.
            if (b == kTextStart && m_text.empty()) return Step::NeedMore;
            if (m_text.size() >= kMaxText) return fail();
            m_text.push_back(static_cast<char>(b));
            return Step::NeedMore;
    }
    return fail();
}

std::vector<std::uint8_t> encodeFrame(std::uint8_t header, std::span<const std::uint8_t> data) {
    // LEN counts the header too: 255 data bytes would make it 0, which every
    // receiver refuses, so a frame carries at most 254.
    data = data.first(std::min<std::size_t>(data.size(), kMaxFrameData));
    std::vector<std::uint8_t> out = {kSync, kSync, kSyncEnd};
    const auto len = static_cast<std::uint8_t>(data.size() + 1);
    std::uint8_t sum = static_cast<std::uint8_t>(len + header);
    putEncoded(out, len);
    putEncoded(out, header);
    for (std::uint8_t b : data) {
        putEncoded(out, b);
        sum = static_cast<std::uint8_t>(sum + b);
    }
    putEncoded(out, sum);
    out.push_back(kFrameEnd);
    return out;
}

std::uint8_t statusByte(int address, bool accepted) {
    return static_cast<std::uint8_t>(((address & 15) << 4) | (accepted ? kAcceptBit : 0));
}

std::vector<std::uint8_t> encodeText(std::string_view text) {
    std::vector<std::uint8_t> out = {kTextStart, kTextStart};
    unsigned sum = 0;
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    out.push_back(static_cast<std::uint8_t>(48 + sum % 16));
    out.push_back(kTextEnd);
    return out;
}

}  // namespace yukt::sim
