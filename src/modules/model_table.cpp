#include "modules/model_table.h"

namespace yukt {

bool ReadBaseColumns(CfgReader& in, BaseColumns& c) {
    return in.ReadInt(c.Number) && in.ReadInt(c.Com) && in.ReadInt(c.Link) && in.ReadInt(c.Addr);
}

void ApplyBaseColumns(Ttp7xxx& m, const BaseColumns& c) {
    int port = 1;
    int line = 1;
    Ttp7xxx::PortLineFromCom(m.Context().Links, c.Com, port, line);
    m.SetCom(c.Com);
    m.SetLink(c.Link);
    m.SetNumber(c.Number);
    m.SetConfigured(true);
    m.SetLine(line);
    m.SetAddr(c.Addr);
    m.SetPort(port);
}

bool PathIsSampleDir(const std::string& pathCfg) {
    return pathCfg == "./smplcfg/" || pathCfg == "smplcfg/" || pathCfg == ".\\smplcfg\\" ||
           pathCfg == "smplcfg\\";
}

}  // namespace yukt
