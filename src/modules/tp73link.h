#pragma once
// One request/answer exchange of the frequency modules over their link, with
// the answer copied out of the link's shared frame buffer.

#include <cstdint>
#include <span>
#include <vector>

#include "modules/tp7xxx.h"

namespace yukt {

// Sends command `cmd` with `request` to module `m` and waits for its answer.
// Refuses (-1, nothing sent) unless the module can exchange (port, open link,
// present). Returns the frame result: 0 with the answer data in `answer`, or
// -1 (no answer, bad frame, refusal, or fewer than `minAnswer` data bytes).
int ExchangeFrame(const Ttp7xxx& m, int cmd, std::span<const std::uint8_t> request,
                  std::vector<std::uint8_t>& answer, std::size_t minAnswer = 0);

// Little-endian fields of an answer; the caller has checked the length.
inline std::int32_t Le32(const std::vector<std::uint8_t>& a, std::size_t at) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(a[at]) | static_cast<std::uint32_t>(a[at + 1]) << 8 |
        static_cast<std::uint32_t>(a[at + 2]) << 16 | static_cast<std::uint32_t>(a[at + 3]) << 24);
}
inline std::uint16_t Le16(const std::vector<std::uint8_t>& a, std::size_t at) {
    return static_cast<std::uint16_t>(a[at] | a[at + 1] << 8);
}

}  // namespace yukt
