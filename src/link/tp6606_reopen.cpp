// Reopening a COM link whose transport reports the far end gone.

#include "link/com_port.h"
#include "link/tp6606.h"

namespace yukt {

namespace {
constexpr std::chrono::seconds kReopenInterval{1};
}

void Ttp6606::reopenLostCom() {
    if (!m_com || !m_com->lost()) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_lastReopen != std::chrono::steady_clock::time_point{} &&
        now - m_lastReopen < kReopenInterval)
        return;
    m_lastReopen = now;
    std::string why;
    // The old transport stays until a new one opens: the link remains open
    // and every exchange fails fast until the device server is back.
    if (auto fresh = OpenComPort(ComNumber(), Speed(), why)) {
        m_com = std::move(fresh);
        ErrorText.clear();
    } else {
        ErrorText = "COM-порт занят" + NetworkOpenProblem(ComNumber());
    }
}

}  // namespace yukt
