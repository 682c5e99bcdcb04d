#pragma once
// The private channel of direct access: one per process, whichever component
// opened it. It talks to one module address without the module set, either
// on a link object of its own (created on first use and kept for reuse) or on
// a link of the open module set that already serves the wanted COM number.

#include <memory>
#include <mutex>
#include <vector>

namespace yukt {

class Ttp6606;

struct DirectChannel {
    // Serialises direct-access calls from different threads; the callers
    // still run one job at a time.
    std::mutex Mutex;
    bool Open = false;
    // Entry 1..4 of the module set's link table that is borrowed, 0 when the
    // own link object is used.
    int BorrowedLink = 0;
    std::unique_ptr<Ttp6606> Own;
    int BaseAddr = 0x300;
    int Resonator = 0;
    int Baud = 0;
    int ComNumber = 0;
    int ModuleAddr = 0;
    // Cells the last FLASH write left unconfirmed after its rewrites.
    std::vector<int> UnconfirmedCells;

    // The link object the open channel talks through; null when the channel
    // is closed or a borrowed link has gone with its module set.
    Ttp6606* Link() const;
};

DirectChannel& TheDirectChannel();

// Marks the private channel closed without destroying the own link object;
// every new instrument component does this. A port still held by the own
// object is let go, so that the next job finds it free.
void MarkDirectChannelClosed();

}  // namespace yukt
