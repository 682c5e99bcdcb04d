#include "modules/tp73channels.h"

#include <algorithm>
#include <array>
#include <vector>

#include "common/cp1251.h"
#include "modules/tp73link.h"

namespace yukt {

namespace {

constexpr double kTwoChannelQuartzKHz = 7374.76925;

// 0 for a bank other than mem1 (1) and mem2 (2).
std::uint8_t bankCode(int bank) {
    if (bank == 1) return kMemBankCode1;
    if (bank == 2) return kMemBankCode2;
    return 0;
}

}  // namespace

Ttp73Channels::Ttp73Channels(ModuleContext& ctx, int out1, int out2, std::size_t memoryLen,
                             bool keepControls)
    : Ttp73Base(ctx, kTwoChannelQuartzKHz, out1, out2),
      m_memoryLen(memoryLen),
      m_keepControls(keepControls) {}

int Ttp73Channels::readChannel(int cmd, CounterChannel& ch) {
    std::vector<std::uint8_t> answer;
    const int rc = ExchangeFrame(*this, cmd, {}, answer, 8);
    if (rc < 0) return rc;
    const CounterStep step = UpdateCounters(ch, Le32(answer, 0), Le32(answer, 4), TickUs());
    SetMeasuredQuartz(step.MeasuredQuartzKHz);
    return rc;
}

int Ttp73Channels::ReadEmc() {
    std::vector<std::uint8_t> answer;
    const int rc = ExchangeFrame(*this, cmd73::kEmc, {}, answer, 8);
    if (rc < 0) return rc;
    m_emc1 = Le32(answer, 0);
    m_emc2 = Le32(answer, 4);
    return rc;
}

int Ttp73Channels::WriteDividers(double d1, double d2) {
    std::array<std::uint8_t, 8> request{};
    const auto b1 = EncodeDivider(d1);
    const auto b2 = EncodeDivider(d2);
    std::copy(b1.begin(), b1.end(), request.begin());
    std::copy(b2.begin(), b2.end(), request.begin() + 4);
    std::vector<std::uint8_t> answer;
    return ExchangeFrame(*this, cmd73::kEvents, request, answer);
}

int Ttp73Channels::WriteMemory(int bank, const std::string& text) {
    const std::uint8_t code = bankCode(bank);
    const std::string bytes = Utf8ToCp1251(text);
    if (code == 0 || CharCount(text) != kMemTextLen || bytes.size() != kMemTextLen) return -1;
    std::array<std::uint8_t, 1 + kMemTextLen> request{};
    request[0] = code;
    std::copy(bytes.begin(), bytes.end(), request.begin() + 1);
    std::vector<std::uint8_t> answer;
    return ExchangeFrame(*this, cmd73::kEvents, request, answer);
}

int Ttp73Channels::ReadMemoryBytes(int bank, std::string& bytes) {
    bytes.clear();
    const std::uint8_t code = bankCode(bank);
    if (code == 0) return -1;
    const std::array<std::uint8_t, 1> request = {code};
    std::vector<std::uint8_t> answer;
    // A short answer is taken as far as it goes; only one without any data
    // fails the read.
    const int rc = ExchangeFrame(*this, cmd73::kEvents, request, answer, 1);
    if (rc < 0) return rc;
    bytes.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(answer.size(), m_memoryLen)));
    return rc;
}

int Ttp73Channels::ReadMemory(int bank, std::string& text) {
    text = kMemReadFailed;
    std::string bytes;
    const int rc = ReadMemoryBytes(bank, bytes);
    if (rc < 0) return rc;
    bytes.resize(m_memoryLen, '\0');  // the bytes a short answer lacks count as 0
    text = Cp1251ToUtf8(m_keepControls ? bytes : ReplaceControlChars(bytes));
    return rc;
}

}  // namespace yukt
