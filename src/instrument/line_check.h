#pragma once
// Whether the modules a run needs answer on their lines, and whether an
// "Err" reply line is the line's failure rather than the module's answer.
// Both look at the module set's drivers and links: call them where the
// module set is not in use by another thread (before the run, or on the
// worker thread inside OnGet).

#include <string>

#include "instrument/module_set.h"

namespace yukt {

// "по адресу 6 (COM1)": where the configured module `number` of `model`
// is reached; empty when no such module is configured.
std::string ModulePlace(ModuleSet& set, const std::string& model, int number);

// Why module `number` of `model` cannot serve as `role` ("модуль под
// поверкой", "генератор 787x" ...): "модуль под поверкой не отвечает по
// адресу 6 (COM1)"; empty when it answered its identification.
std::string NotAnswering(ModuleSet& set, const std::string& model, int number,
                         const std::string& role);

// A reply line "MODEL N Err C" of a module whose last exchange got no frame,
// a torn one or one with a bad sum, every attempt of it (the line failed,
// not the module), or that was never found on its line. Worker thread only,
// from OnGet, where the module's exchange has just ended.
bool ReplyIsLineFault(ModuleSet& set, const std::string& line);

// The link (1..4) of the configured module `number` of `model`; 0 when
// there is none. Reads only what opening the set fixed.
int LinkOfModule(ModuleSet& set, const std::string& model, int number);

}  // namespace yukt
