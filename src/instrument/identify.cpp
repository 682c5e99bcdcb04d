#include "instrument/identify.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/module_ids.h"

namespace yukt {
namespace {

struct IdentRow {
    int kind;
    std::string_view model;
    std::string_view code;  // compared with as many leading characters
};

// Compared in this order; the first match decides.
constexpr IdentRow kIdentTable[] = {
    {kKind745t, "745t", ids::kType745t},   {kKind748t, "748t", ids::kType748t},
    {kKind748x, "748x", ids::kType748x},   {kKind765x, "765x", ids::kType765x},
    {kKind765x, "765x", ids::kType765x2},  {kKind735x, "735x", ids::kType735x},
    {kKind735t, "735t", ids::kType735t},   {kKind735d, "735d", ids::kType735d},
    {kKind787x, "787x", ids::kPrefix787x}, {kKind788t, "788t", ids::kPrefix788t},
};

// Characters from..from+count-1 (1-based) of s, as many as there are.
std::string chars(const std::string& s, std::size_t from, std::size_t count) {
    return from - 1 < s.size() ? s.substr(from - 1, count) : std::string();
}

bool hasCode(const std::string& ident, std::string_view code) {
    return chars(ident, 1, code.size()) == code;
}

// Two modules: the composite designation, the variant character of the
// module that names the device, and both firmware versions.
std::string compositeDesignation(std::string_view base, const std::string& variantOf,
                                 const std::string& first, const std::string& second) {
    return std::string(base) + chars(variantOf, 6, 1) + " v" + chars(first, 7, 2) + ":" +
           chars(second, 7, 2);
}

}  // namespace

int KindOfIdent(const std::string& ident) {
    for (const IdentRow& row : kIdentTable)
        if (hasCode(ident, row.code)) return row.kind;
    return kKindUnknown;
}

std::string ModelOfKind(int kind) {
    for (const IdentRow& row : kIdentTable)
        if (row.kind == kind) return std::string(row.model);
    return "?";
}

ModuleIdentity IdentifyModule(const std::string& first, const std::string& second) {
    ModuleIdentity id;
    id.ModuleDesignation = std::string(ids::kDesignationPrefix) + chars(first, 1, 3) + "." +
                           chars(first, 4, 3) + " v" + chars(first, 7, 2);
    id.FirstKind = KindOfIdent(first);
    id.ModuleKind = id.FirstKind;
    id.FirstModel = ModelOfKind(id.FirstKind);
    if (id.FirstKind == kKindUnknown) {
        id.ModuleDesignation = first;
        return id;
    }

    auto pairWith = [&](int kind, int secondKind, const char* secondModel,
                        std::string_view designation, const std::string& variantOf) {
        id.ModuleKind = kind;
        id.SecondKind = secondKind;
        id.SecondModel = secondModel;
        id.DeviceModuleCount = 2;
        id.ModuleDesignation = compositeDesignation(designation, variantOf, first, second);
    };
    if (id.FirstKind == kKind745t) {
        if (hasCode(second, ids::kType745t))
            pairWith(kKind745t745t, 1, "745t", ids::kDesignation745t745t, second);
        else if (hasCode(second, ids::kType748x))
            pairWith(kKind745t748x, 2, "748x", ids::kDesignation745t748x, first);
    } else if (id.FirstKind == kKind748x) {
        if (hasCode(second, ids::kType748x))
            pairWith(kKind748x748x, 2, "748x", ids::kDesignation748x748x, first);
    }
    return id;
}

float GeneratorFrequency(float f, float q) {
    const double ticksPerMicrosecond = static_cast<double>(q) / 4000;
    // Halves go to the even neighbour (the default rounding mode).
    double n = std::nearbyint(1e6 / f * ticksPerMicrosecond);
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    if (!(n <= kMax)) n = kMax;  // also a quotient that is not a number
    if (n < kMin) n = kMin;
    // The divider is a 16-bit counter, where 0 stands for a full turn.
    std::int64_t divider = static_cast<std::int64_t>(n) % 65536;
    if (divider == 0) divider = 65536;
    return static_cast<float>(1e6 / (divider / ticksPerMicrosecond));
}

}  // namespace yukt
