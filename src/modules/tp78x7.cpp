#include "modules/tp78x7.h"

#include <algorithm>
#include <cmath>

#include "common/fatal.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

// Correction table of the corrected mode: X in mA, Y in µA.
constexpr float kCorrX[41] = {0,  0.5f,  1,  1.5f,  2,  2.5f,  3,  3.5f,  4,  4.5f,  5,  5.5f,
                              6,  6.5f,  7,  7.5f,  8,  8.5f,  9,  9.5f,  10, 10.5f, 11, 11.5f,
                              12, 12.5f, 13, 13.5f, 14, 14.5f, 15, 15.5f, 16, 16.5f, 17, 17.5f,
                              18, 18.5f, 19, 19.5f, 20};
constexpr float kCorrY[41] = {0.16f, -0.7f,  -0.3f,  0.4f,   0.6f,  0.7f,  1.1f,  1.6f,  1.9f,
                              2.2f,  2.4f,   2.6f,   2.2f,   2.6f,  2.2f,  1.7f,  1.4f,  2.0f,
                              1.6f,  -0.5f,  -1.2f,  -0.5f,  -2.0f, -2.4f, -2.6f, -2.7f, -2.4f,
                              -2.5f, -3.6f,  -3.6f,  -3.8f,  -4.6f, -5.5f, -5.5f, -6.5f, -7.5f,
                              -8.0f, -10.0f, -12.0f, -14.0f, -17.0f};

constexpr std::uint8_t kModeVoltage = 0;
constexpr std::uint8_t kModeCurrent4to20 = 1;
constexpr std::uint8_t kModeCurrent0to20 = 2;
constexpr std::uint8_t kModeCorrected = 8;
constexpr double kFullCode = 65535;

}  // namespace

float Ttp78x7::Correction(double x) {
    const float xf = static_cast<float>(x);
    if (xf <= 0.00016f || xf > 20) return 0;
    int i = 1;
    while (i < 40 && xf > kCorrX[i]) ++i;
    return kCorrY[i - 1] +
           (kCorrY[i] - kCorrY[i - 1]) * (xf - kCorrX[i - 1]) / (kCorrX[i] - kCorrX[i - 1]);
}

std::uint16_t Ttp78x7::DacCode(std::uint8_t mode, double x) {
    // Below the range the code would not fit 16 bits: such set-points are
    // held at the bottom of the range, like the top is held at full scale.
    x = std::max(x, 0.0);
    double c = 24;
    switch (mode) {
        case kModeVoltage:
            c = 5000;
            x = std::min(x, 5000.0);
            break;
        case kModeCurrent4to20:
            x = std::clamp(x, 4.0, 20.0) - 4;
            c = 16;
            break;
        case kModeCurrent0to20:
            c = 20;
            x = std::min(x, 20.0);
            break;
        default:
            if (x > 24)
                x = 24;
            else if (mode == kModeCorrected)
                x = x - Correction(x) * 0.001;
            break;
    }
    const double code = std::trunc(kFullCode / c * x);
    return static_cast<std::uint16_t>(std::clamp(code, 0.0, kFullCode));
}

std::uint8_t Ttp78x7::ModeByte(std::uint8_t mode) {
    switch (mode) {
        case 5:
            return 0x13;
        case 6:
            return 0x23;
        case 7:
            return 0x43;
        case 8:
            return 0x03;
        default:
            return mode;
    }
}

std::array<std::uint8_t, 7> Ttp78x7::SetPointRequest(std::uint8_t modeByte, std::uint16_t codeStart,
                                                     std::uint16_t codeEnd,
                                                     std::uint16_t thirdWord) {
    const std::uint16_t low = std::min(codeStart, codeEnd);
    const int diff = std::abs(static_cast<int>(codeEnd) - static_cast<int>(codeStart));
    const auto steps = static_cast<std::uint16_t>((diff >> 8) + 1);
    return {modeByte,
            static_cast<std::uint8_t>(low & 0xFF),
            static_cast<std::uint8_t>(low >> 8),
            static_cast<std::uint8_t>(steps & 0xFF),
            static_cast<std::uint8_t>(steps >> 8),
            static_cast<std::uint8_t>(thirdWord & 0xFF),
            static_cast<std::uint8_t>(thirdWord >> 8)};
}

void Ttp78x7::DispatchMode(double x) {
    if (m_mode == kModeVoltage)
        SetVoltage(x);
    else if (m_mode <= 8 && m_mode != kModeClear)
        SetCurrent(x);
    else
        Clear();
}

void Ttp78x7::SetVoltage(double x) {
    if (m_mode != kModeVoltage) {
        Context().Console.ConsoleLine("Не верный файл конфигурации");
        Fatal("Не верный файл конфигурации");
    }
    SetValue(x);
}

void Ttp78x7::SetCurrent(double x) {
    if (m_mode == kModeVoltage || m_mode == kModeClear) {
        Context().Console.ConsoleLine("Не верный файл конфигурации");
        Fatal("Не верный файл конфигурации");
    }
    SetValue(x);
}

void Ttp78x7::SetValue(double x) {
    if (!CanExchange()) return;
    m_setPoint = x;
    m_codeStart = m_codeEnd = DacCode(m_mode, x);
    SendSetPoint();
}

void Ttp78x7::Clear() {
    const std::uint8_t kept = m_mode;
    m_mode = kModeClear;
    SendSetPoint();
    m_mode = kept;
}

int Ttp78x7::SendSetPoint() {
    if (!CanExchange()) return 0;
    Ttp6606* link = LinkObject();
    const auto data = SetPointRequest(ModeByte(m_mode), m_codeStart, m_codeEnd, m_thirdWord);
    std::copy(data.begin(), data.end(), link->Buf);
    link->SendFrame(Line(), Addr(), static_cast<int>(data.size()), kCmdSetPoint);
    const int result = link->ReceiveFrame(Line());
    if (result == -1) {
        SetError(kErrExchange);
        return -2;
    }
    if (result == -3) {
        SetError(kErrExchange);
        return -3;
    }
    SetError(kErrOk);
    return 0;
}

}  // namespace yukt
