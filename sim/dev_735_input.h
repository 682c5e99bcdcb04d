#pragma once
// The device side shared by the frequency, count and interval modules (735x,
// 735t, 735r, 735d, 735v): a timer running at a quarter of the module quartz,
// pulse counters on the calibrator's generator output, outputs and relays,
// and, for the two-channel models, dividers, ЭМС counters and two memory banks.
//
// Requests and replies (multi-byte values lowest byte first):
//   1  outputs: 4 bytes FF FF X Y (X bits 6/7: OUT1/OUT2 on; Y bits 6/7 set:
//      Rele1/Rele2 off)                                     -> no data
//   2  state                                                -> 4 bytes, byte 1
//      bit 6 K1 (a signal is present), bit 5 K2
//   3  channel 1 (735x: the input): pulse counter and the timer value at the
//      last counted rising edge                             -> 4 + 4 bytes
//   4  channel 2 (two-channel models)                       -> 4 + 4 bytes
//   5  735x: one byte, the event request 0..4 (see Dev735x);
//      two-channel: 8 bytes dividers, 17 bytes memory write (bank code 5 or 6
//      and 16 characters), 1 byte memory read (bank code)   -> the bank
//   6  ЭМС counters (two-channel models)                    -> 4 + 4 bytes
// Anything else is refused.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_module.h"

namespace yukt::sim {

class FrequencyInputDevice : public SimModule {
  public:
    // quartzKHz: the nominal quartz kept as FLASH parameter 1.
    FrequencyInputDevice(std::string model, double quartzKHz);

    int out1() const { return m_out1; }
    int out2() const { return m_out2; }
    int rele1() const { return m_rele1; }
    int rele2() const { return m_rele2; }
    // Outputs requests received since power-on.
    int outputWrites() const { return m_outputWrites; }
    // K2 of the state reply (K1 follows the generator).
    void setK2(bool on) { m_k2 = on; }

  protected:
    void onReset() override;
    Answer onCommand(int command, std::span<const std::uint8_t> data) override;
    // The model's own handling of commands 4..6.
    virtual Answer onModelCommand(int command, std::span<const std::uint8_t> data) = 0;
    // After an accepted outputs request.
    virtual void afterOutputs() {}

    // Ticks of the module timer per second.
    double tickHz() const;
    // The timer value at bench time t.
    std::uint32_t ticksAt(double t) const;
    // Pulse counter and timer value at the last edge, as channel replies carry them.
    std::vector<std::uint8_t> counterReply() const;

  private:
    Answer writeOutputs(std::span<const std::uint8_t> data);

    int m_out1 = 0, m_out2 = 0, m_rele1 = 0, m_rele2 = 0;
    int m_outputWrites = 0;
    bool m_k2 = false;
};

// The two-channel models: both channels count the generator output.
class TwoChannelDevice : public FrequencyInputDevice {
  public:
    // memoryLen: bytes a memory read returns (16, or 18 for the Q-factor
    // records); a write stores its 16 characters at the start of the bank.
    TwoChannelDevice(std::string model, std::size_t memoryLen);

    double divider1() const { return m_divider1; }
    double divider2() const { return m_divider2; }
    int dividerWrites() const { return m_dividerWrites; }
    // Bank 1 (code 5) or 2 (code 6).
    std::vector<std::uint8_t>& bank(int n) { return m_banks[n == 2 ? 1 : 0]; }

  protected:
    void onReset() override;
    Answer onModelCommand(int command, std::span<const std::uint8_t> data) override;
    void afterOutputs() override { feedBack(true); }

  private:
    Answer request5(std::span<const std::uint8_t> data);
    void feedBack(bool outputsFirst);

    std::size_t m_memoryLen;
    std::array<std::vector<std::uint8_t>, 2> m_banks;
    double m_resetTime = 0;
    double m_divider1 = 0, m_divider2 = 0;
    int m_dividerWrites = 0;
};

// A divider as the module receives it: half the value, a 16-bit integer part
// high byte first and four packed decimal digits.
double decodeDivider(std::span<const std::uint8_t> four);

}  // namespace yukt::sim
