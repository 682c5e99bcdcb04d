#pragma once
// 745b: 32 RTD channels in four groups of eight, one reference resistor per
// group, and per-channel resistance corrections from two site files.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp74x1.h"

namespace yukt {

class Ttp745b : public Ttp74x1 {
  public:
    explicit Ttp745b(ModuleContext& ctx);

    // Loads the sensor point numbers of this module's channels from g1.cfg and
    // the corrections of those points from corr1.cfg (both in the context's
    // SiteDir). A missing file is skipped; one that cannot be read (not a
    // regular file, a line too long) is kept in SiteFailure.
    void LoadChannelCorrections();
    const CfgError* SiteFailure() const { return m_siteFailure ? &*m_siteFailure : nullptr; }

  private:
    std::optional<CfgError> m_siteFailure;
};

struct Tp745bTraits {
    using Driver = Ttp745b;
    static constexpr std::string_view kCode = "745b";
    // Settings change only when the whole file is read again.
    static constexpr bool kHasReload = false;
    static constexpr std::array<std::string_view, 5> kDefaultCfg = {
        ";                                   1-Платина(W=1,3910) 2-Mедь(W=1,4280)",
        ";Настройка модулей типа ЮКТ-745b    3-Платина(ЕВРО)",
        ";Изм. темп. по RTD (4*8 каналов)    4-Платина(W=1,3850) 5-Mедь(W=1,4260)",
        ";Модуль Номер COM Link Адрес R1этал. R2этал. R3этал. R4этал. ГОСТ ",
        "; 745b    1    5    8   12   99.998  99.998  99.998  99.998   1",
    };
    static constexpr std::string_view kDatHeader =
        ";Модуль Номер Группа  Tx1   Tx2   Tx3   Tx4    Tx5  Tx6    Tx7   Tx8  Rx1   Rx2    Rx3    "
        "Rx4    Rx5    Rx6  Rx7    Rx8   Ret100";
    static constexpr std::string_view kConsoleHeader = ";Модуль Номер    Tx     Rx       Ret100";

    struct Columns {
        std::array<double, 4> RRefGroup{};
        int Gost = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    static void StartUp(Driver& d) { d.LoadChannelCorrections(); }
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

}  // namespace yukt
