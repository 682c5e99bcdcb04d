#include "instrument/link_route.h"

#include "instrument/command_words.h"
#include "instrument/module_set.h"

namespace yukt {

int LinkIndexFor(const LinkTable& links, int link) {
    if (link >= 1 && link <= 4) {
        // A COM link's board number is its own table index.
        const int com = links.FindCom(link);
        return com == 0 ? 0 : links.FindLink(com);
    }
    if (link >= 5 && link <= kLastLinkLine) return links.FindLink((link - 1) / 4);
    return 0;
}

void ExecRemoteCommand(ModuleSet& set, const std::string& text) {
    try {
        ExecCommand(set, text);
    } catch (const CommandConvertError&) {
    }
}

}  // namespace yukt
