#include "verify/software_ident.h"

#include <algorithm>

#include "instrument/identify.h"

namespace yukt::verify {

namespace {

std::string versionOf(const std::string& ident) { return ident.size() >= 8 ? ident.substr(6, 2) : ""; }

std::string digitsOf(const std::string& v) {
    std::string out;
    for (char c : v)
        if (c != 'v' && c != 'V' && c != ' ') out += c;
    return out;
}

}  // namespace

SoftwareCheck CheckSoftware(const std::string& first, const std::string& second,
                            const std::vector<std::string>& accepted) {
    SoftwareCheck c;
    if (first.empty() || first == "?") return c;
    c.known = true;
    const ModuleIdentity id = IdentifyModule(first, second.empty() ? "?" : second);
    c.found = id.ModuleDesignation + " (" + first + (second.empty() ? "" : ", " + second) + ")";
    auto ok = [&](const std::string& ident) {
        const std::string v = versionOf(ident);
        return !v.empty() && std::any_of(accepted.begin(), accepted.end(), [&](const std::string& a) {
            return digitsOf(a) == v;
        });
    };
    c.accepted = ok(first) && (second.empty() || ok(second));
    return c;
}

}  // namespace yukt::verify
