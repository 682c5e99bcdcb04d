#pragma once
// The module base: what every module of the line has — its number, its place
// on a link, where its result lines go, whether it answered identification and
// the error code of its last exchange.

#include <string>

#include "modules/module_context.h"

namespace yukt {

class Ttp6606;

// Error codes of a module driver.
enum ModuleError : int {
    kErrOk = 0,
    kErrNotConfigured = 1,
    kErrNoLink = 2,
    kErrLinkClosed = 3,
    kErrNoAnswer = 4,       // "Err 4": did not answer identification
    kErrExchange = 5,       // "Err 5": a present module failed its last exchange
    kErrRangeHigh = 7,
    kErrRangeLow = 8,
    kErrParameter = 9,
};

class Ttp7xxx {
public:
    explicit Ttp7xxx(ModuleContext& ctx);

    int Number() const { return m_number; }
    const std::string& Name() const { return m_name; }
    int Port() const { return m_port; }
    int Com() const { return m_com; }
    int Link() const { return m_link; }
    bool Present() const { return m_present; }
    int Line() const { return m_line; }
    int Addr() const { return m_addr; }
    bool Configured() const { return m_configured; }
    const std::string& IdentText() const { return m_identText; }
    double RangeHigh() const { return m_rangeHigh; }
    double RangeLow() const { return m_rangeLow; }
    int Error() const { return m_error; }

    // Setters ignore values outside their limits, silently.
    void SetNumber(int v) { m_number = v; }
    void SetName(const std::string& v) { m_name = v; }
    void SetPort(int v);   // 1..4
    void SetCom(int v);    // 1..20
    void SetLink(int v);   // 1..23
    void SetLine(int v);   // 1..4
    void SetAddr(int v);   // 1..14
    void SetConfigured(bool v) { m_configured = v; }
    void SetError(int code) { m_error = code; }
    void SetRangeHigh(double x);
    void SetRangeLow(double x);

    // Presence check by the identification request. Check false only clears.
    void Identify(bool check);

    // The link this module is reached through (entry Port of Links), or null.
    Ttp6606* LinkObject() const;
    // Every exchange first checks this: present, Port set, link open.
    bool CanExchange() const;

    ModuleContext& Context() const { return *m_ctx; }

    // Port and Line for a COM column value (1..4: COM port; 5..20: board line).
    static void PortLineFromCom(const LinkTable& links, int com, int& port, int& line);

private:
    ModuleContext* m_ctx;
    int m_number = 1;
    std::string m_name = "Модуль ЮКТ";
    int m_port = 1;
    int m_com = 5;
    int m_link = 8;
    bool m_present = false;
    int m_line = 1;
    int m_addr = 1;
    bool m_configured = false;
    std::string m_identText;
    double m_rangeHigh = 0;
    double m_rangeLow = 0;
    int m_error = kErrNotConfigured;
};

}  // namespace yukt
