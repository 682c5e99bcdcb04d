#pragma once
// 765x: dry-contact inputs and outputs in four 8-bit ports P0..P3.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp76x1.h"

namespace yukt {

class Ttp765x : public Ttp76x1 {
  public:
    explicit Ttp765x(ModuleContext& ctx);
};

struct Tp765xTraits {
    using Driver = Ttp765x;
    static constexpr std::string_view kCode = "765x";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-765x",
        ";Ввод/вывод типа \"сухой контакт\"",
        ";Модуль  Номер  COM  Link  Адрес    P0   P1   P2   P3",
        "; 765x     1     5     8     6     $FF  $FF  $FF  $FF",
    };
    static constexpr std::string_view kDatHeader = ";Модуль номер   P0   P1   P2   P3";
    static constexpr std::string_view kConsoleHeader = ";Модуль Номер   P0   P1   P2   P3";

    struct Columns {
        std::array<std::uint8_t, 4> Ports{0xFF, 0xFF, 0xFF, 0xFF};
    };
    // P0..P3 written as "$" and hexadecimal digits.
    static bool ReadColumns(CfgReader& in, Columns& c);
    static void ApplyColumns(Driver& d, const Columns& c);
    // The configured outputs are driven at once.
    static void StartUp(Driver& d) { d.WritePorts(); }
    // Reads the ports, then formats them for the route.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route);
};

// The value of a cfg port word: up to four characters after "$", taken as
// hexadecimal digits (a character other than 0..9 counts as a letter digit),
// low eight bits.
std::uint8_t PortFromCfgText(std::string_view textAfterDollar);

// "Set 765x N h0 h1 h2 h3": the first present module numbered `number` gets
// the four port bytes and drives them. WritePorts' result, or -1 when no
// such module is present.
int SetModule(ModelTable<Tp765xTraits>& table, int number,
              const std::array<std::uint8_t, 4>& ports);

}  // namespace yukt
