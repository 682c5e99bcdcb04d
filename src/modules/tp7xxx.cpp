#include "modules/tp7xxx.h"

#include "link/tp6606.h"

namespace yukt {

Ttp7xxx::Ttp7xxx(ModuleContext& ctx) : m_ctx(&ctx) {}

void Ttp7xxx::SetPort(int v) {
    if (v >= 1 && v <= 4) m_port = v;
}

void Ttp7xxx::SetCom(int v) {
    if (v >= 1 && v <= 20) m_com = v;
}

void Ttp7xxx::SetLink(int v) {
    if (v >= 1 && v <= 23) m_link = v;
}

void Ttp7xxx::SetLine(int v) {
    if (v >= 1 && v <= 4) m_line = v;
}

void Ttp7xxx::SetAddr(int v) {
    if (v >= 1 && v <= 14) m_addr = v;
}

void Ttp7xxx::SetRangeHigh(double x) {
    m_error = kErrOk;
    if (x <= 2500.1)
        m_rangeHigh = x;
    else
        m_error = kErrRangeHigh;
}

void Ttp7xxx::SetRangeLow(double x) {
    m_error = kErrOk;
    if (x >= -200)
        m_rangeLow = x;
    else
        m_error = kErrRangeLow;
}

Ttp6606* Ttp7xxx::LinkObject() const {
    if (m_port < 1 || m_port > 4) return nullptr;
    return m_ctx->Links.Entry(m_port);
}

bool Ttp7xxx::CanExchange() const {
    const Ttp6606* link = LinkObject();
    return m_present && link != nullptr && link->IsOpen();
}

void Ttp7xxx::Identify(bool check) {
    m_identText.clear();
    m_present = false;
    if (!check) return;
    if (m_port == 0) {
        m_error = kErrNoLink;
        return;
    }
    if (!m_configured) {
        m_error = kErrNotConfigured;
        return;
    }
    Ttp6606* link = LinkObject();
    if (link == nullptr || !link->IsOpen()) {
        m_error = kErrLinkClosed;
        return;
    }
    link->SetLine(m_line);
    link->SetAddr(m_addr);
    m_identText = link->ReadIdent();
    if (m_identText == "?")
        m_error = kErrNoAnswer;
    else if (m_identText.empty())
        m_error = kErrExchange;
    else
        m_present = true;
}

void Ttp7xxx::PortLineFromCom(const LinkTable& links, int com, int& port, int& line) {
    if (com >= 5 && com <= 20) {
        port = (com - 1) / 4;
        line = (com - 1) % 4 + 1;
        return;
    }
    // A COM port: the first entry of Links with that COM number, searching up
    // to the first empty entry; entry 1 when none matches.
    port = 1;
    line = 1;
    for (int i = 1; i <= 4; ++i) {
        const Ttp6606* link = links.Entry(i);
        if (link == nullptr) break;
        if (link->ComNumber() == com) {
            port = i;
            break;
        }
    }
}

}  // namespace yukt
