#pragma once
// The link table of a module set: at most four link objects (boards first,
// then COM ports), how many of them opened, and which board lines carry
// modules.

#include <array>
#include <memory>

#include "link/line_use.h"
#include "link/tp6606.h"

namespace yukt {

struct LinkTable {
    LinkTable() = default;
    LinkTable(const LinkTable&) = delete;
    LinkTable& operator=(const LinkTable&) = delete;
    ~LinkTable();

    // Entries 1..4; null = no object.
    std::array<std::unique_ptr<Ttp6606>, 5> Links;
    int LinkCount = 0;
    LineUseMap LineUse{};
    bool LinksReady = false;

    // Entry i (1..4) or null.
    Ttp6606* Entry(int i) const;
    // Puts a new link object into entry i (1..4), replacing any old one.
    Ttp6606& Create(int i);
    // Index of the first entry whose BoardNumber is `boardNumber`, else 0.
    int FindLink(int boardNumber) const;
    // Index of the first entry whose ComNumber is `comNumber`, else 0.
    int FindCom(int comNumber) const;
    // Some link has COM port n open.
    bool ComPortInUse(int comNumber) const;
    // Some open board at this base address has line n (1..4) marked in LineUse.
    bool BoardLineInUse(int baseAddress, int line) const;
    // For each of the first LinkCount entries: WaitPump(600), close if open;
    // then every object is destroyed and LinkCount is 0.
    void CloseAll();
};

}  // namespace yukt
