#pragma once
// The safe value confirmed or reported: the generators a run used get their
// safe commands, then each is read back; a read-back that does not come, or
// comes as "Err", leaves the run saying "безопасное значение не
// подтверждено: генератор мог остаться на 8 мА" with the last value the run
// gave it. No clock and no thread of its own: yukt-verify's runner and the
// workstation's session feed it and say when time is up (kSafeWaitS).

#include <map>
#include <string>
#include <vector>

#include "verify/methodology.h"
#include "verify/plan.h"

namespace yukt::verify {

// How long the generators have to confirm their safe values.
constexpr double kSafeWaitS = 2;

class SafeCheck {
  public:
    // A command the run sent: the value it gives a generator is kept, for
    // the operator to know where the generator may have stayed.
    void Sent(const std::string& command);
    // The commands to send: `safe`, then a read-back of each generator they
    // set, whose replies the check then waits for.
    std::vector<std::string> Begin(const std::vector<std::string>& safe);
    // A reply line: a generator's read-back confirms it, its "Err" does not.
    void Reply(const std::string& line);
    bool Waiting() const { return !m_confirm.empty(); }
    // The time is up: every generator yet to answer is not confirmed.
    void Expire();
    bool Confirmed() const { return m_problem.empty(); }
    // "безопасное значение не подтверждено: ..." or empty.
    const std::string& Problem() const { return m_problem; }

  private:
    void NotConfirmed(const std::string& generator);

    bool m_begun = false;
    std::vector<std::string> m_confirm;            // "787x 1": yet to confirm
    std::map<std::string, std::string> m_lastSet;  // generator: "8 мА"
    std::string m_problem;
};

// The methodology's safe commands for a module of `kind` (when unknown, the
// kind of the methodology's first model): each generator its error
// operations use, once. For a program that ends before its plan exists.
std::vector<std::string> MethodologySafeCommands(const Methodology& m, int kind);

// The same of a plan: each generator its error items use, once.
std::vector<std::string> PlanSafeCommands(const Plan& plan);

// "787x 1" of "Set 787x 1 12 6"; empty for other commands.
std::string GeneratorOf(const std::string& command);

}  // namespace yukt::verify
