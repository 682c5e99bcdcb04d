#include "link/link_table.h"

#include "link/link_hooks.h"

namespace yukt {

LinkTable::~LinkTable() {
    for (auto& link : Links) link.reset();
}

Ttp6606* LinkTable::Entry(int i) const { return (i >= 1 && i <= 4) ? Links[i].get() : nullptr; }

Ttp6606& LinkTable::Create(int i) {
    Links[i] = std::make_unique<Ttp6606>();
    Links[i]->SetLineUse(&LineUse);
    return *Links[i];
}

int LinkTable::FindLink(int boardNumber) const {
    for (int i = 1; i <= 4; ++i)
        if (Links[i] && Links[i]->BoardNumber() == boardNumber) return i;
    return 0;
}

int LinkTable::FindCom(int comNumber) const {
    for (int i = 1; i <= 4; ++i)
        if (Links[i] && Links[i]->ComNumber() == comNumber) return i;
    return 0;
}

bool LinkTable::ComPortInUse(int comNumber) const {
    for (int i = 1; i <= 4; ++i)
        if (Links[i] && Links[i]->ComOpen() && Links[i]->ComNumber() == comNumber) return true;
    return false;
}

bool LinkTable::BoardLineInUse(int baseAddress, int line) const {
    if (line < 1 || line > 4) return false;
    for (int i = 1; i <= 4; ++i) {
        const Ttp6606* link = Links[i].get();
        if (link && link->BoardOpen() && link->BaseAddress() == baseAddress &&
            LineUse[link->BoardNumber()][line])
            return true;
    }
    return false;
}

void LinkTable::CloseAll() {
    // Give the last frames on every line time to leave before closing.
    for (int i = 1; i <= LinkCount && i <= 4; ++i) {
        if (!Links[i]) continue;
        WaitPump(static_cast<int>(kBoardSettle.count()));
        if (Links[i]->IsOpen()) Links[i]->OpenLink(false);
    }
    for (auto& link : Links) link.reset();
    LinkCount = 0;
}

}  // namespace yukt
