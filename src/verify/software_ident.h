#pragma once
// The software identification of a module as a methodology checks it: the
// firmware version is characters 7-8 of each module's identification text,
// the digits after "v" in the designation shown to the operator.

#include <string>
#include <vector>

namespace yukt::verify {

struct SoftwareCheck {
    bool known = false;     // an identification text was read
    bool accepted = false;  // every module's version is one the methodology accepts
    std::string found;      // "ЮКТ - 748T.01A v10 (48T01A10)", for the protocol
};

// `second` is the text of a composite's second module, empty for one module.
// Accepted versions are compared as digits ("v10" and "10" are the same).
SoftwareCheck CheckSoftware(const std::string& first, const std::string& second,
                            const std::vector<std::string>& accepted);

}  // namespace yukt::verify
