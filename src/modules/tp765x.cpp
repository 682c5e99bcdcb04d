#include "modules/tp765x.h"

#include "common/text.h"

namespace yukt {

Ttp765x::Ttp765x(ModuleContext& ctx) : Ttp76x1(ctx) {
    SetName("Модуль дискретных сигналов для ТПУ (ЮКТ-765x)");
}

std::uint8_t PortFromCfgText(std::string_view text) {
    unsigned value = 0;
    for (std::size_t i = 0; i < text.size() && i < 4; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t') break;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else
            digit = (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) - 'A' + 10;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint8_t>(value & 0xFF);
}

bool Tp765xTraits::ReadColumns(CfgReader& in, Columns& c) {
    for (std::uint8_t& port : c.Ports) {
        // Words without "$" are passed over, but only on the module's own line:
        // a missing port must not take its value from the next module's line.
        for (;;) {
            if (in.AtLineEnd()) {
                in.Fail("нет значения порта (\"$\" и шестнадцатеричное число)");
                return false;
            }
            std::string word = in.ReadToken();
            std::size_t dollar = word.find('$');
            if (dollar == std::string::npos) continue;
            port = PortFromCfgText(std::string_view(word).substr(dollar + 1));
            break;
        }
    }
    return true;
}

void Tp765xTraits::ApplyColumns(Driver& d, const Columns& c) {
    d.SetP0(c.Ports[0]);
    d.SetP1(c.Ports[1]);
    d.SetP2(c.Ports[2]);
    d.SetP3(c.Ports[3]);
}

std::string Tp765xTraits::ResultLine(Driver& d, Route route) {
    d.ReadPorts();
    const std::string n = std::to_string(d.Number());
    const bool failed = d.Error() == kErrExchange;
    switch (route) {
        case Route::Reply:
            if (failed) return "765x " + n + " Err 5";
            return "765x " + n + " " + PortText(d.P0()) + " " + PortText(d.P1()) + " " +
                   PortText(d.P2()) + " " + PortText(d.P3());
        case Route::Link:
            if (failed) return " 765x     " + n + "    Err 5";
            return " 765x     " + n + "   " + PortText(d.P0()) + "  " + PortText(d.P1()) + "  " +
                   PortText(d.P2()) + "  " + PortText(d.P3());
        case Route::Dat:
        case Route::Console:
            break;
    }
    if (failed) return " 765x     " + n + "   Err 5";
    return " 765x     " + n + "    " + PortText(d.P0()) + "  " + PortText(d.P1()) + "  " +
           PortText(d.P2()) + "  " + PortText(d.P3());
}

std::string Tp765xTraits::AbsentLine(const Driver& d, Route route) {
    const std::string n = std::to_string(d.Number());
    switch (route) {
        case Route::Reply:
            return "765x " + n + " Err 4";
        case Route::Link:
            return " 765x     " + n + "    Err 4";
        case Route::Dat:
        case Route::Console:
            break;
    }
    return " 765x     " + n + "   Err 4";
}

int SetModule(ModelTable<Tp765xTraits>& table, int number,
              const std::array<std::uint8_t, 4>& ports) {
    Ttp765x* m = table.FirstPresent(number);
    if (m == nullptr) return -1;
    m->SetP0(ports[0]);
    m->SetP1(ports[1]);
    m->SetP2(ports[2]);
    m->SetP3(ports[3]);
    return m->WritePorts();
}

}  // namespace yukt
