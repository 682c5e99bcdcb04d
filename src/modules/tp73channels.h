#pragma once
// The common core of the two-channel frequency modules: two counter channels,
// dividers, the two ЭМС counters and a two-bank memory of short texts. The
// models differ only in which settings they offer and how memory reads back;
// each exposes its own set (see tp73tt.h, tp73rr.h, tp73dd.h, tp73vv.h).

#include <cstdint>
#include <string>

#include "modules/tp73base.h"
#include "modules/tp73calc.h"

namespace yukt {

// Request codes of the memory banks mem1 and mem2.
constexpr std::uint8_t kMemBankCode1 = 5;
constexpr std::uint8_t kMemBankCode2 = 6;
// Characters a memory bank holds when written.
constexpr std::size_t kMemTextLen = 16;
// Text of a failed memory read.
inline constexpr const char* kMemReadFailed = "Err7";

class Ttp73Channels : public Ttp73Base {
  public:
    double Frequency1() const { return m_ch1.Frequency; }
    double Frequency2() const { return m_ch2.Frequency; }
    std::int32_t FlowCount1() const { return m_ch1.FlowCount; }
    std::int32_t FlowCount2() const { return m_ch2.FlowCount; }
    std::int32_t TimeCount1() const { return m_ch1.TimeCount; }
    std::int32_t TimeCount2() const { return m_ch2.TimeCount; }
    double Divider1() const { return m_divider1; }
    double Divider2() const { return m_divider2; }
    std::int32_t Emc1() const { return m_emc1; }
    std::int32_t Emc2() const { return m_emc2; }

    // Counter reads of channel 1 (command 3) and 2 (command 4). The quartz
    // estimate is shared: the channel read last decides it.
    int ReadChannel1() { return readChannel(cmd73::kChannel1, m_ch1); }
    int ReadChannel2() { return readChannel(cmd73::kChannel2, m_ch2); }
    // The two ЭМС counters (command 6).
    int ReadEmc();
    // Both dividers in the module's encoding (command 5, eight bytes).
    int WriteDividers(double d1, double d2);

    // Bank 1 (mem1) or 2 (mem2). The text must have exactly 16 characters;
    // otherwise, or for another bank, nothing is sent and the result is -1.
    int WriteMemory(int bank, const std::string& text);
    // The text of a bank; "Err7" and -1 when the bank is unknown or the read
    // fails. How the bytes read back is the model's (see the constructor).
    int ReadMemory(int bank, std::string& text);
    // The bank's bytes as the module sent them (Windows-1251, unreplaced):
    // at most the full record, fewer when the answer was shorter, -1 when it
    // carried no data at all. ReadMemory counts the missing bytes as 0.
    int ReadMemoryBytes(int bank, std::string& bytes);

  protected:
    // memoryLen: characters a memory read returns; keepControls false shows
    // characters up to the blank as "?".
    Ttp73Channels(ModuleContext& ctx, int out1, int out2, std::size_t memoryLen, bool keepControls);

    void SetDivider1Unchecked(double x) { m_divider1 = x; }
    void SetDivider2Unchecked(double x) { m_divider2 = x; }

  private:
    int readChannel(int cmd, CounterChannel& ch);

    CounterChannel m_ch1;
    CounterChannel m_ch2;
    double m_divider1 = 0;
    double m_divider2 = 0;
    std::int32_t m_emc1 = 0;
    std::int32_t m_emc2 = 0;
    std::size_t m_memoryLen;
    bool m_keepControls;
};

}  // namespace yukt
