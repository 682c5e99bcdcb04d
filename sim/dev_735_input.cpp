#include "sim/dev_735_input.h"

#include <cmath>

namespace yukt::sim {

namespace {

constexpr int kOutputs = 1;
constexpr int kState = 2;
constexpr int kChannel1 = 3;
constexpr std::size_t kOutputsLength = 4;
constexpr std::uint8_t kK1Bit = 0x40;
constexpr std::uint8_t kK2Bit = 0x20;

constexpr int kChannel2 = 4;
constexpr int kRequest5 = 5;
constexpr int kEmc = 6;
constexpr std::size_t kDividersLength = 8;
constexpr std::size_t kMemText = 16;
constexpr std::uint8_t kBank1 = 5;
constexpr std::uint8_t kBank2 = 6;

int bcdDigit(std::uint8_t nibble) { return nibble <= 9 ? nibble : -1; }

}  // namespace

double decodeDivider(std::span<const std::uint8_t> four) {
    const int whole = four[0] * 256 + four[1];
    const int d[4] = {bcdDigit(four[2] >> 4), bcdDigit(four[2] & 15), bcdDigit(four[3] >> 4),
                      bcdDigit(four[3] & 15)};
    for (int digit : d)
        if (digit < 0) return -1;  // not a decimal fraction: the module refuses
    const int fraction = d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3];
    return 2.0 * (whole + fraction / 10000.0);
}

FrequencyInputDevice::FrequencyInputDevice(std::string model, double quartzKHz)
    : SimModule(std::move(model)) {
    flash().setParam(1, quartzKHz);
}

void FrequencyInputDevice::onReset() {
    m_out1 = m_out2 = m_rele1 = m_rele2 = 0;
    m_outputWrites = 0;
}

double FrequencyInputDevice::tickHz() const { return paramOr(1, 7374.2978) * 1000.0 / 4.0; }

std::uint32_t FrequencyInputDevice::ticksAt(double t) const {
    const double ticks = std::floor(t * tickHz());
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::fmod(ticks, 4294967296.0)));
}

std::vector<std::uint8_t> FrequencyInputDevice::counterReply() const {
    // The counter sees everything the generator ever put out, so it only goes forward.
    const double t = now();
    const auto count = static_cast<std::uint64_t>(physics().edgesUpTo(t));
    const std::optional<double> last = physics().lastEdgeAtOrBefore(t);
    std::vector<std::uint8_t> out;
    putLe(out, count & 0xFFFFFFFFu, 4);
    putLe(out, last ? ticksAt(*last) : 0u, 4);
    return out;
}

Answer FrequencyInputDevice::onCommand(int command, std::span<const std::uint8_t> data) {
    switch (command) {
        case kOutputs:
            return writeOutputs(data);
        case kState: {
            if (!data.empty()) return Reply::refused();
            const std::uint8_t flags =
                (physics().pulses.running() ? kK1Bit : 0) | (m_k2 ? kK2Bit : 0);
            return Reply::ok({0x00, flags, 0x00, 0x00});
        }
        case kChannel1:
            if (!data.empty()) return Reply::refused();
            return Reply::ok(counterReply());
        default:
            return onModelCommand(command, data);
    }
}

Answer FrequencyInputDevice::writeOutputs(std::span<const std::uint8_t> data) {
    if (data.size() != kOutputsLength || data[0] != 0xFF || data[1] != 0xFF)
        return Reply::refused();
    m_out1 = (data[2] & 0x40) ? 1 : 0;
    m_out2 = (data[2] & 0x80) ? 1 : 0;
    m_rele1 = (data[3] & 0x40) ? 0 : 1;
    m_rele2 = (data[3] & 0x80) ? 0 : 1;
    ++m_outputWrites;
    afterOutputs();
    return Reply::ok();
}

TwoChannelDevice::TwoChannelDevice(std::string model, std::size_t memoryLen)
    : FrequencyInputDevice(std::move(model), 7374.76925), m_memoryLen(memoryLen) {
    for (auto& b : m_banks) b.assign(m_memoryLen, ' ');
}

void TwoChannelDevice::onReset() {
    FrequencyInputDevice::onReset();
    m_divider1 = m_divider2 = 0;
    m_dividerWrites = 0;
    m_resetTime = now();
}

Answer TwoChannelDevice::onModelCommand(int command, std::span<const std::uint8_t> data) {
    switch (command) {
        case kChannel2:
            if (!data.empty()) return Reply::refused();
            return Reply::ok(counterReply());
        case kRequest5:
            return request5(data);
        case kEmc: {
            if (!data.empty()) return Reply::refused();
            // The divided outputs of both channels, counted since the last reset.
            const double pulses =
                static_cast<double>(physics().edgesBetween(m_resetTime, now()));
            std::vector<std::uint8_t> out;
            putLe(out, static_cast<std::uint32_t>(m_divider1 >= 1 ? pulses / m_divider1 : pulses),
                  4);
            putLe(out, static_cast<std::uint32_t>(m_divider2 >= 1 ? pulses / m_divider2 : pulses),
                  4);
            return Reply::ok(out);
        }
        default:
            return Reply::refused();
    }
}

Answer TwoChannelDevice::request5(std::span<const std::uint8_t> data) {
    if (data.size() == kDividersLength) {
        const double d1 = decodeDivider(data.subspan(0, 4));
        const double d2 = decodeDivider(data.subspan(4, 4));
        if (d1 < 0 || d2 < 0) return Reply::refused();
        m_divider1 = d1;
        m_divider2 = d2;
        ++m_dividerWrites;
        feedBack(false);
        return Reply::ok();
    }
    if (data.empty() || (data[0] != kBank1 && data[0] != kBank2)) return Reply::refused();
    std::vector<std::uint8_t>& b = bank(data[0] == kBank1 ? 1 : 2);
    if (data.size() == 1) return Reply::ok(b);
    if (data.size() != 1 + kMemText) return Reply::refused();
    std::copy(data.begin() + 1, data.end(), b.begin());
    return Reply::ok();
}

void TwoChannelDevice::feedBack(bool outputsFirst) {
    if (role() != Role::UnderTest) return;
    // What returns to the generator: the channel the latest request switched
    // on, translated (1) or divided.
    const bool translating = out1() == 1 || out2() == 1;
    double divider = 0;
    if (outputsFirst && translating)
        divider = 1;
    else if (m_divider1 >= 2)
        divider = m_divider1;
    else if (m_divider2 >= 2)
        divider = m_divider2;
    else if (translating)
        divider = 1;
    physics().feedbackDivider = divider;
}

}  // namespace yukt::sim
