#pragma once
// Driver of the ultrasonic flowmeter module 735r. Its component output works
// in three phases: a start poll, a pause, and a second poll whose counters,
// compared with the start, give the time of flight T1 and its change dT1;
// the relays are switched over after the second poll.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp735lines.h"
#include "modules/tp73rr.h"

namespace yukt {

// Time of flight carried from one evaluation to the next.
struct FlowmeterState {
    double PrevT1 = 0;   // µs
    double PrevDT1 = 0;  // ns
};

// The evaluation of a start line and a current poll line into
// "735r N T1=... dT1=... QZ=..."; empty when a line is not a 735r poll line
// or its tick period lies outside 0.5..0.6 µs. Updates `state` on success.
std::string EvaluateFlowmeter(const std::string& startLine, const std::string& currentLine,
                              FlowmeterState& state);

class Ttp735r : public Ttp73rr {
  public:
    explicit Ttp735r(ModuleContext& ctx);

    void Poll();
    void ReadMemoryLine(std::string_view bankName);
    const std::string& LineHead() const { return m_line.Head; }
    const std::string& LineTail() const { return m_line.Tail; }

    // One component-output call: advances the phase (1, 2, 3, 1 ...) and
    // returns the evaluated line in phase 3, empty otherwise.
    std::string FlowmeterStep();
    int Phase() const { return m_phase; }
    const FlowmeterState& Flow() const { return m_flow; }

    // The "set" form r1 r2 (each 0 or 1): relays sent with the outputs.
    bool ApplySetCommand(const std::vector<std::string>& words);

  private:
    LineHalves m_line;
    std::string m_startLine;
    int m_phase = 0;
    FlowmeterState m_flow;
};

struct Tp735rTraits {
    using Driver = Ttp735r;
    static constexpr std::string_view kCode = "735r";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-735r",
        ";Ультрозвуковой расходомер",
        ";Модуль Номер COM Link Адрес  Кварц,кГц",
        "; 735r    1    5   23    2   7374.7253",
    };
    static constexpr std::string_view kDatHeader = "";

    struct Columns {
        double Quartz = 0;
    };
    static bool ReadColumns(CfgReader& in, Columns& c) { return in.ReadReal(c.Quartz); }
    static void ApplyColumns(Driver& d, const Columns& c) { d.SetQuartz(c.Quartz); }
    static void StartUp(Driver& d) {
        d.WriteOutputs();
        d.WriteDividers(0, 0);
    }
    // Links 1..22: the poll line. Link 23: the flowmeter phases, a line only
    // every third call (empty otherwise).
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route) {
        return AbsentLine735(kCode, d.Number(), route);
    }
    static std::string MemoryReply(Driver& d, std::string_view bankName);
};

}  // namespace yukt
