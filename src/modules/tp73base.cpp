#include "modules/tp73base.h"

#include <array>
#include <vector>

#include "modules/tp73calc.h"
#include "modules/tp73link.h"

namespace yukt {

Ttp73Base::Ttp73Base(ModuleContext& ctx, double quartzKHz, int out1, int out2)
    : Ttp7xxx(ctx),
      m_quartzKHz(quartzKHz),
      m_tickUs(TickFromQuartz(quartzKHz)),
      m_out1(out1),
      m_out2(out2) {}

void Ttp73Base::SetQuartz(double kHz) {
    SetError(kErrOk);
    if (kHz >= 1000 && kHz <= 32000) {
        m_quartzKHz = kHz;
        m_tickUs = TickFromQuartz(kHz);
    } else {
        SetError(kErrParameter);
    }
}

void Ttp73Base::setSwitch(int& field, int v) {
    SetError(kErrOk);
    if (v == 0 || v == 1)
        field = v;
    else
        SetError(kErrParameter);
}

int Ttp73Base::WriteOutputs() {
    const std::array<std::uint8_t, 4> request = {0xFF, 0xFF, OutputsByteX(m_out1, m_out2),
                                                 OutputsByteY(m_rele1, m_rele2)};
    std::vector<std::uint8_t> answer;
    return ExchangeFrame(*this, cmd73::kOutputs, request, answer);
}

int Ttp73Base::ReadState() {
    std::vector<std::uint8_t> answer;
    // Only byte 1 carries the flags; a shorter answer tells nothing.
    const int rc = ExchangeFrame(*this, cmd73::kState, {}, answer, 2);
    if (rc < 0) return rc;
    m_k1 = (answer[1] >> 6) & 1;
    m_k2 = (answer[1] >> 5) & 1;
    return rc;
}

}  // namespace yukt
