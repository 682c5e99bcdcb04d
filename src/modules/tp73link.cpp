#include "modules/tp73link.h"

#include <algorithm>

#include "link/tp6606.h"

namespace yukt {

int ExchangeFrame(const Ttp7xxx& m, int cmd, std::span<const std::uint8_t> request,
                  std::vector<std::uint8_t>& answer, std::size_t minAnswer) {
    answer.clear();
    if (m.Port() == 0 || !m.CanExchange()) return -1;
    Ttp6606* link = m.LinkObject();
    const std::size_t sent = std::min(request.size(), sizeof(link->Buf));
    std::copy_n(request.begin(), sent, link->Buf);
    link->SendFrame(m.Line(), m.Addr(), static_cast<int>(sent), cmd);
    if (link->ReceiveFrame(m.Line()) < 0) return -1;
    // Whatever the module claims, never read past the frame buffer.
    const std::size_t got = std::min<std::size_t>(
        static_cast<std::size_t>(std::max(link->RecvLen, 0)), sizeof(link->Buf));
    if (got < minAnswer) return -1;
    answer.assign(link->Buf, link->Buf + got);
    return 0;
}

}  // namespace yukt
