#pragma once
// Driver of the two-channel Q-factor module 735d. Each memory bank holds an
// 18-byte record of five timer captures of a decaying resonator; the PC turns
// a new record into the decay times and the Q-factor.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "modules/model_table.h"
#include "modules/tp735lines.h"
#include "modules/tp735t.h"
#include "modules/tp73dd.h"

namespace yukt {

struct QRecord {
    double TA = 0, TB = 0;      // µs
    double TauA = 0, TauB = 0;  // µs
    double Q = 0;
};

// Evaluates one record (Windows-1251 bytes as read): after leading blanks it
// must be exactly 18 bytes starting with "\"; bytes 4..18 are five 24-bit
// captures, lowest byte first. Anything else gives all zeros.
QRecord EvaluateQRecord(const std::string& bytes, double tickUs);

class Ttp735d : public Ttp73dd {
  public:
    explicit Ttp735d(ModuleContext& ctx);

    void Poll();
    // Reads a bank: "735d 2 " and " " + the 18 characters, or the failure line.
    void ReadMemoryLine(std::string_view bankName);
    const std::string& LineHead() const { return m_line.Head; }
    const std::string& LineTail() const { return m_line.Tail; }
    // The bytes of the last successful ReadMemoryLine ("" after a failure).
    const std::string& MemoryBytes() const { return m_memBytes; }

    // The component output: both banks, each new record evaluated once, with
    // the quartz estimate where the record allows one; "Err 6" when neither
    // bank holds a new record.
    std::string QFactorLine();
    // "get 735d n mem1|mem2": the bank read and evaluated.
    std::string QMemoryLine(std::string_view bankName);

    bool ApplySetCommand(const std::vector<std::string>& words) {
        return ApplyOutputsOrDividers(*this, words);
    }

  private:
    LineHalves m_line;
    std::string m_memBytes;
    std::array<std::string, 2> m_evaluated;  // last evaluated record per bank
};

struct Tp735dTraits {
    using Driver = Ttp735d;
    static constexpr std::string_view kCode = "735d";
    static constexpr std::array<std::string_view, 4> kDefaultCfg = {
        ";Настройка модулей типа ЮКТ-735d",
        ";Измерение Q-фактора по двум каналам",
        ";Модуль Номер COM Link Адрес  Кварц,кГц ",
        "; 735d    1    5   22    2   7374.7253  ",
    };
    static constexpr std::string_view kDatHeader = "";

    // A data line carries all the columns of 735t although the caption names
    // only the quartz.
    using Columns = Tp735tTraits::Columns;
    static bool ReadColumns(CfgReader& in, Columns& c) { return Tp735tTraits::ReadColumns(in, c); }
    static void ApplyColumns(Driver& d, const Columns& c) { Tp735tTraits::ApplyColumns(d, c); }
    static void StartUp(Driver& d) { Tp735tTraits::StartUp(d); }
    // Links 1..22: the poll line. Link 23: the Q-factor line.
    static std::string ResultLine(Driver& d, Route route);
    static std::string AbsentLine(const Driver& d, Route route) {
        return AbsentLine735(kCode, d.Number(), route);
    }
    static std::string MemoryReply(Driver& d, std::string_view bankName);
};

}  // namespace yukt
