#pragma once
// Result lines and remote commands over Link lines: a model's modules with
// Link 1..20 send their lines as text frames (WriteLink), and remote consoles
// on board lines send command text back (ReadLink).
//
// Link 1..4 names the COM link with that COM number, Link 5..20 line
// (Link - 1) mod 4 + 1 of board (Link - 1) div 4.

#include <string>

#include "instrument/module_set.h"
#include "link/link_table.h"
#include "modules/model_table.h"

namespace yukt {

constexpr int kLastLinkLine = 20;

// Entry of the link table that carries Link column value `link` (1..20), or
// 0 when there is none.
int LinkIndexFor(const LinkTable& links, int link);

// The commands read from a remote console go here (ExecCommand, with errors
// of its conversions dropped: a remote typing error must not end the cycle).
void ExecRemoteCommand(ModuleSet& set, const std::string& text);

// Sends the Link form of every module on Link 1..20, in table order; stops
// for the rest of the model at the first module whose link does not exist.
template <class Table>
void WriteLink(Table& table, LinkTable& links) {
    if (!table.AnyConfiguredWithLink(1, kLastLinkLine)) return;
    int line = 1;
    for (int i = 1; i <= table.ModuleCount(); ++i) {
        auto& m = *table.Module(i);
        const int link = m.Link();
        if (link < 1 || link > kLastLinkLine) continue;
        const int index = LinkIndexFor(links, link);
        if (index == 0) return;
        if (link > 4) line = (link - 1) % 4 + 1;
        // Formatting the line measures the module over its own link, which
        // may be this one: the line is selected right before sending.
        const std::string text = table.LineFor(m, Route::Link);
        Ttp6606& out = *links.Entry(index);
        out.SetLine(line);
        out.SendText(text);
    }
}

// Three rounds over the model's modules on Link 1..20: each reads one text
// frame from the board its Link names, on that link's current line.
template <class Table>
void ReadLink(Table& table, ModuleSet& set) {
    LinkTable& links = set.Context().Links;
    for (int round = 0; round < 3; ++round) {
        for (int i = 1; i <= table.ModuleCount(); ++i) {
            const int link = table.Module(i)->Link();
            if (link < 1 || link > kLastLinkLine) continue;
            const int index = links.FindLink((link - 1) / 4);
            if (index == 0) continue;
            Ttp6606& in = *links.Entry(index);
            const std::string text = in.ReceiveText();
            if (!text.empty())
                ExecRemoteCommand(set, text);
            else if (!in.ErrorText.empty())
                set.Context().Console.ConsoleLine("??? " + in.ErrorText);
        }
    }
}

}  // namespace yukt
