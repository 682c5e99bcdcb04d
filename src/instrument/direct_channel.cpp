#include "instrument/direct_channel.h"

#include "instrument/module_set.h"
#include "link/tp6606.h"

namespace yukt {

Ttp6606* DirectChannel::Link() const {
    if (!Open) return nullptr;
    if (BorrowedLink != 0) return TheModuleSet().Context().Links.Entry(BorrowedLink);
    return Own.get();
}

DirectChannel& TheDirectChannel() {
    static DirectChannel channel;
    return channel;
}

void MarkDirectChannelClosed() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    ch.Open = false;
    ch.BorrowedLink = 0;
    if (ch.Own && ch.Own->IsOpen()) ch.Own->OpenLinkDirect(false);
}

}  // namespace yukt
