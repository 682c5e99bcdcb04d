#pragma once
// The host side of the line for the bench tests, written from the frame
// layout on its own (not with the bench's codec), so that a mistake in one
// does not hide in the other.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/byte_transport.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// 170 170 85, LEN, HDR, data, SUM as two characters each, 10.
inline Bytes requestFrame(int address, int command, const Bytes& data = {}) {
    Bytes out = {170, 170, 85};
    auto put = [&](unsigned b) {
        out.push_back(static_cast<std::uint8_t>(48 + ((b >> 4) & 15)));
        out.push_back(static_cast<std::uint8_t>(48 + (b & 15)));
    };
    const unsigned len = (data.size() + 1) % 256;
    const unsigned hdr = (address * 16 + command) % 256;
    unsigned sum = len + hdr;
    put(len);
    put(hdr);
    for (std::uint8_t b : data) {
        put(b);
        sum += b;
    }
    put(sum % 256);
    out.push_back(10);
    return out;
}

struct ReplyFrame {
    std::uint8_t status = 0;
    Bytes data;
    bool accepted() const { return (status & 8) != 0; }
    int address() const { return status >> 4; }
    std::string text() const { return std::string(data.begin(), data.end()); }
};

// Parses one reply from raw bytes: nothing when the frame is not whole and sound.
inline std::optional<ReplyFrame> parseReply(const Bytes& raw) {
    std::size_t i = 0;
    while (i < raw.size() && raw[i] != 170) ++i;
    int syncs = 0;
    while (i < raw.size() && raw[i] == 170) ++i, ++syncs;
    if (syncs < 1 || syncs > 4 || i >= raw.size() || raw[i] != 85) return std::nullopt;
    ++i;
    auto get = [&](unsigned& b) {
        if (i + 1 >= raw.size()) return false;
        b = ((raw[i] & 15u) << 4) | (raw[i + 1] & 15u);
        i += 2;
        return true;
    };
    unsigned len = 0, status = 0, sum = 0;
    if (!get(len) || len == 0 || !get(status)) return std::nullopt;
    ReplyFrame r;
    r.status = static_cast<std::uint8_t>(status);
    unsigned total = len + status;
    for (unsigned k = 0; k + 1 < len; ++k) {
        unsigned b = 0;
        if (!get(b)) return std::nullopt;
        r.data.push_back(static_cast<std::uint8_t>(b));
        total += b;
    }
    if (!get(sum) || sum != total % 256) return std::nullopt;
    if (i >= raw.size() || raw[i] != 10) return std::nullopt;
    return r;
}

inline void writeAll(yukt::ByteTransport& t, const Bytes& bytes) {
    for (std::uint8_t b : bytes) t.writeByte(b, std::chrono::milliseconds(300));
}

// Every byte that is waiting (the in-process bench answers at once).
inline Bytes readAll(yukt::ByteTransport& t) {
    Bytes out;
    for (int b = t.readByte(std::chrono::milliseconds(300)); b >= 0;
         b = t.readByte(std::chrono::milliseconds(300)))
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

// One request and its reply.
inline std::optional<ReplyFrame> exchange(yukt::ByteTransport& t, int address, int command,
                                          const Bytes& data = {}) {
    writeAll(t, requestFrame(address, command, data));
    return parseReply(readAll(t));
}

inline std::uint32_t le(const Bytes& d, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k) v = (v << 8) | d.at(at + static_cast<std::size_t>(k));
    return v;
}

}  // namespace simtest
