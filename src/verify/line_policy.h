#pragma once
// How a run treats the line, the same in yukt-verify and the workstation:
// each exchange that fails for a line reason is tried kLineAttempts times,
// the line re-synchronised in between, and during the run the attempts are
// spread over the plan's settling timeout (at most kMaxLineSpreadS), so that
// a fault of a few seconds is outlasted rather than judged. A stop, or the
// end of the run, cuts the waits: the safe commands are not held up.

#include <string>

#include "instrument/module_set.h"
#include "verify/plan.h"

namespace yukt::verify {

constexpr int kLineAttempts = 3;
// Short enough that an exchange with all its attempts ends well within the
// functional check's 5 s; long enough to outlast a 3 s fault.
constexpr double kMaxLineSpreadS = 3;

// Every link of the process, those made later included, tries each exchange
// kLineAttempts times. Call before the instrument opens.
void UseLineAttempts();
// The spread of the attempts for a run of `plan`: its shortest settling
// timeout, at most kMaxLineSpreadS.
double LineSpreadOf(const Plan& plan);
// The run begins: attempts spread as LineSpreadOf(plan) says.
void SpreadLineAttempts(const Plan& plan);
// A stop or the run's end: every wait between attempts ends at once and
// later attempts go back to back.
void CutLineWaits();

// Why the run must end when `line` is the reply of an exchange the line
// failed every attempt of (ReplyIsLineFault): "связь потеряна: модуль под
// поверкой не отвечает по адресу 6 (COM1)"; empty when the module answered.
// Worker thread only, from OnGet, where the module's exchange has just ended.
std::string LineLostReason(ModuleSet& set, const std::string& line);

}  // namespace yukt::verify
