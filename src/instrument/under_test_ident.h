#pragma once
// The identification texts of the module under test as the module set read
// them when it opened: on the bench, in "Режим поверки", the module answers
// only at its configured address, where its driver identified it.

#include <string>

#include "instrument/module_set.h"

namespace yukt {

// The text of the present module numbered `number` (2 the module under test,
// 3 the second module of a composite) among the models that can be under
// test; empty when none answered.
std::string UnderTestIdent(ModuleSet& set, int number);

}  // namespace yukt
