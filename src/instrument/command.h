#pragma once
// The text command language: "get" and "set" lines against the module set.
//
//   get M N [mem1|mem2|flash W]   report model M (every module; N must be a
//                                 number) or read a memory bank of entry N
//   set M N addr A                re-address module N of model M
//   set M N ...                   the model's own setting forms
//
// Lines that do not parse or match are ignored without a reply. Only the
// re-addressing numbers and the indication module's values are converted
// with conversions that throw (CommandConvertError) out of ExecCommand.

#include <string>

#include "instrument/command_words.h"
#include "instrument/module_set.h"

namespace yukt {

void ExecGet(ModuleSet& set, const CommandWords& w);
void ExecSet(ModuleSet& set, const CommandWords& w);

}  // namespace yukt
