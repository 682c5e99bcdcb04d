#pragma once
// Before a run begins: the module under test, and the generator and meter
// the plan needs, must have answered on their lines when the instrument
// opened. A run that starts without one of them could only judge the line.

#include <string>
#include <vector>

#include "instrument/module_set.h"
#include "verify/plan.h"

namespace yukt::verify {

// The first of them that did not answer ("модуль под поверкой не отвечает
// по адресу 6 (COM1)"); empty when all did. Call before the run starts.
std::string BenchNotReady(ModuleSet& set, const Plan& plan, int kind);

// Of `safe` commands, those for a generator that answered when the
// instrument opened: one never found was given nothing, and could confirm
// nothing.
std::vector<std::string> ForAnsweringGenerators(ModuleSet& set,
                                                const std::vector<std::string>& safe);

}  // namespace yukt::verify
