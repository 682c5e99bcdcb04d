#pragma once
// Driver of the virtual FLASH module 735v: polled like 735t (its counters
// printed without "$"), memory read back unchanged, FLASH requests refused.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp735lines.h"
#include "modules/tp735t.h"
#include "modules/tp73vv.h"

namespace yukt {

class Ttp735v : public Ttp73vv {
  public:
    explicit Ttp735v(ModuleContext& ctx);

    void Poll();
    void ReadMemoryLine(std::string_view bankName);
    const std::string& LineHead() const { return m_line.Head; }
    const std::string& LineTail() const { return m_line.Tail; }

    // "get 735v n flash ...": the FLASH read fails (nothing is sent), so the
    // line is always the failure line " 735v    n   Err 5".
    std::string FlashLine(const std::string& request);

    bool ApplySetCommand(const std::vector<std::string>& words) {
        return ApplyOutputsOrDividers(*this, words);
    }

  private:
    LineHalves m_line;
};

struct Tp735vTraits {
    using Driver = Ttp735v;
    static constexpr std::string_view kCode = "735v";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-735v",
        ";Виртуальный модуль для работы с FLASH-памятью (ЮКТ-735v)",
        ";Модуль Номер COM Link Адрес  Кварц,кГц  OUT1 OUT2 Rele1 Rele2 Делит.1 Делит.2",
        "; 735v    1    5   22    2   7374.7253     1    1     1     1  2.0000 65535.9999",
    };
    static constexpr std::string_view kDatHeader = "";

    using Columns = Tp735tTraits::Columns;
    static bool ReadColumns(CfgReader& in, Columns& c) { return Tp735tTraits::ReadColumns(in, c); }
    static void ApplyColumns(Driver& d, const Columns& c) { Tp735tTraits::ApplyColumns(d, c); }
    static void StartUp(Driver& d) { Tp735tTraits::StartUp(d); }
    // Every destination, Link 23 included, gets the plain poll line.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route) {
        return AbsentLine735(kCode, d.Number(), route);
    }
    static std::string MemoryReply(Driver& d, std::string_view bankName);
};

}  // namespace yukt
