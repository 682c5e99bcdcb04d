#pragma once
// 748t: sixteen 0..20 mA current inputs.

#include <array>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp748x.h"
#include "modules/tp74xx.h"

namespace yukt {

class Ttp748t : public Ttp74xx {
  public:
    static constexpr int kChannels = 16;

    explicit Ttp748t(ModuleContext& ctx);

    // Polls the module; the current of channel 1, mA (0 when not present).
    double MeasureAmps();

    // Channel 1..16, 5..5000 Ω, else Error 9.
    void SetShunt(int channel, double x);
    double Shunt(int channel) const { return valid(channel) ? m_shunt[channel - 1] : 0; }
    double ShuntAt10(int channel) const { return valid(channel) ? m_shuntAt10[channel - 1] : 0; }
    double Amps(int channel) const { return valid(channel) ? m_amps[channel - 1] : 0; }
    double URef() const { return m_uRef; }

  private:
    static bool valid(int channel) { return channel >= 1 && channel <= kChannels; }

    std::array<double, kChannels> m_shunt;
    std::array<double, kChannels> m_shuntAt10{};
    double m_uRef = 2500.0;
    std::array<double, kChannels> m_amps{};
};

struct Tp748tTraits {
    using Driver = Ttp748t;
    static constexpr std::string_view kCode = "748t";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-748t",
        ";Измерение тока 0..20 мА. по 16-каналам",
        ";Модуль  Номер  COM  Link  Адрес  R1..R8 ш.  R2..R16 ш.",
        "; 748t     1     5    23    11     99.854     99.854",
    };
    static constexpr std::string_view kDatHeader =
        ";Модуль номер    I1       I2       I3      R1 ш.    R2 ш.    R3 ш.";
    static constexpr std::string_view kConsoleHeader =
        ";Модуль номер        I1..I16       R1..R8 ш.      R9..R16 ш.      R3 ш.";

    // The shunt of channels 1..8 and the shunt of channels 9..16.
    struct Columns {
        double ShuntLow = 0;
        double ShuntHigh = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver&) {}
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
