#pragma once
// Driver of the two-channel frequency module 735t (dividers, two-bank memory).

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp735lines.h"
#include "modules/tp73tt.h"

namespace yukt {

class Ttp735t : public Ttp73tt {
  public:
    explicit Ttp735t(ModuleContext& ctx);

    // Reads state, both channels and the ЭМС counters and builds the result
    // line; nothing happens for an absent module.
    void Poll();
    // Reads bank "mem1" or "mem2" into the line: "735t 2 " and " " + text.
    void ReadMemoryLine(std::string_view bankName);
    const std::string& LineHead() const { return m_line.Head; }
    const std::string& LineTail() const { return m_line.Tail; }

    // The "set" form o1 o2 x y m (see ApplyOutputsOrDividers).
    bool ApplySetCommand(const std::vector<std::string>& words) {
        return ApplyOutputsOrDividers(*this, words);
    }

  private:
    LineHalves m_line;
};

struct Tp735tTraits {
    using Driver = Ttp735t;
    static constexpr std::string_view kCode = "735t";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-735t",
        ";Измерение частоты по двум каналам.     (    1-Вкл. 0-Выкл.   )(0.0-выкл. <2.0-вкл.)",
        ";Модуль Номер COM Link Адрес  Кварц,кГц  OUT1 OUT2 Rele1 Rele2 Делит.1 Делит.2",
        "; 735t    1    5   22    2   7374.7253     1    1     1     1  2.0000 65535.9999",
    };
    static constexpr std::string_view kDatHeader = "";
    static constexpr std::string_view kLegendHead =
        ";Модуль Номер  Расход1   Время1  Период,мкс. Дел.1 Дел.2  Расход2   Время2";
    static constexpr std::string_view kLegendTail =
        " K1 K2   F1,Гц  Резонатор1000,кГц  OUT1 OUT2 Rele1 Rele2  F2,Гц  ЭМС1  ЭМС2";

    // Кварц,кГц OUT1 OUT2 Rele1 Rele2 Делит.1 Делит.2 (also read by 735d, 735v).
    struct Columns {
        double Quartz = 0;
        int Out1 = 0, Out2 = 0, Rele1 = 0, Rele2 = 0;
        double Divider1 = 0, Divider2 = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    template <class D>
    static void ApplyColumns(D& d, const Columns& c) {
        d.SetQuartz(c.Quartz);
        d.SetOut1(c.Out1);
        d.SetOut2(c.Out2);
        d.SetRele1(c.Rele1);
        d.SetRele2(c.Rele2);
        d.SetDivider1(c.Divider1);
        d.SetDivider2(c.Divider2);
    }
    template <class D>
    static void StartUp(D& d) {
        d.WriteOutputs();
        d.WriteDividers(d.Divider1(), d.Divider2());
    }
    // Links 1..22: the poll line. Link 23: the poll line followed by the texts
    // of both memory banks.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route) {
        return AbsentLine735(kCode, d.Number(), route);
    }
    // "get 735t n mem1|mem2" for a module on Link 23: its memory line, or the
    // "Err 4" line when it is absent.
    static std::string MemoryReply(Driver& d, std::string_view bankName);
};

}  // namespace yukt
