#pragma once
// What a run needs to know of the bench, read from a configuration directory
// as the workstation writes it: the kind of the module under test (from the
// module lines numbered 2 and 3) and the quartz of the calibrator's 788t.

#include <optional>
#include <string>

#include "verify/verification_run.h"

namespace yukt::verify {

// Nothing, with `error` set, when no module under test is configured.
std::optional<RunSetup> SetupFromCfg(const std::string& dir, std::string& error);

}  // namespace yukt::verify
