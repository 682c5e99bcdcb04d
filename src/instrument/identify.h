#pragma once
// Which module answers: the kind of a module from its identification text,
// devices made of two modules, the designation shown to the operator; and the
// frequency the calibrator's generator really produces for a requested one.

#include <string>

namespace yukt {

// Module kinds derived from an identification text.
enum ModuleKindCode : int {
    kKindUnknown = -1,
    kKind745t = 1,
    kKind748x = 2,
    kKind748t = 3,
    kKind765x = 4,
    kKind735t = 5,
    kKind735x = 6,
    kKind735d = 7,
    kKind787x = 8,
    kKind788t = 9,
    kKind745t745t = 13,
    kKind745t748x = 14,
    kKind748x748x = 15,
};

struct ModuleIdentity {
    // Kind of the module at address 0, -1 when not recognised.
    int FirstKind = kKindUnknown;
    // Kind of the whole device: FirstKind, or 13, 14, 15 for two modules.
    int ModuleKind = kKindUnknown;
    // 0 no second module; 1 the module at address 7 is a 745t; 2 a 748x.
    int SecondKind = 0;
    int DeviceModuleCount = 1;
    // Model codes, "?" when the first module is not recognised; the second
    // is empty without a second module.
    std::string FirstModel = "?";
    std::string SecondModel;
    std::string ModuleDesignation;
};

// Kind of one identification text by the identification table (the first
// matching row decides), -1 when no row matches.
int KindOfIdent(const std::string& ident);
// Model code of a single-module kind, "?" for any other kind.
std::string ModelOfKind(int kind);

// `first` is the text of the module at address 0, `second` that of the
// module at address 7 ("?" when none answers there).
ModuleIdentity IdentifyModule(const std::string& first, const std::string& second);

// Frequency in Hz that the generator produces when asked for `f` Hz with a
// quartz of `q` kHz: its 16-bit divider counts timer ticks at a quarter of
// the quartz frequency.
float GeneratorFrequency(float f, float q);

}  // namespace yukt
