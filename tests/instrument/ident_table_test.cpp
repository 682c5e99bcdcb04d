// Identification of a module from its identification text, composite devices
// of two modules, and the generator's real output frequency.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/module_ids.h"
#include "instrument/identify.h"

namespace yukt {
namespace {

std::string identOf(std::string_view type, char variant = 'A', const char* version = "10") {
    return std::string(type) + variant + version;
}

struct KindCase {
    std::string ident;
    int kind;
    const char* model;
};

TEST(IdentifyModule, EveryRowOfTheTableGivesItsKindAndModel) {
    const KindCase cases[] = {
        {identOf(ids::kType745t), 1, "745t"},
        {identOf(ids::kType748t), 3, "748t"},
        {identOf(ids::kType748x), 2, "748x"},
        {identOf(ids::kType765x), 4, "765x"},
        {identOf(ids::kType765x2), 4, "765x"},
        {identOf(ids::kType735x), 6, "735x"},
        {identOf(ids::kType735t), 5, "735t"},
        {identOf(ids::kType735d), 7, "735d"},
        {identOf(ids::kType787x), 8, "787x"},
        {identOf(ids::kType788t), 9, "788t"},
        // The generators are known by their first three characters only.
        {std::string(ids::kPrefix787x) + "77B42", 8, "787x"},
        {std::string(ids::kPrefix788t) + "99", 9, "788t"},
        // Models the workstation does not know, and no answer at all.
        {identOf(ids::kType745x), -1, "?"},
        {identOf(ids::kType787d), -1, "?"},
        {identOf(ids::kType788x), -1, "?"},
        {"?", -1, "?"},
        {"", -1, "?"},
        // Five characters must match, not a prefix of them.
        {std::string(ids::kType745t.substr(0, 4)), -1, "?"},
        {std::string(ids::kPrefix787x.substr(0, 2)), -1, "?"},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE("ident \"" + c.ident + "\"");
        ModuleIdentity id = IdentifyModule(c.ident, "?");
        EXPECT_EQ(id.FirstKind, c.kind);
        EXPECT_EQ(id.ModuleKind, c.kind);
        EXPECT_EQ(id.FirstModel, c.model);
        EXPECT_EQ(id.SecondKind, 0);
        EXPECT_EQ(id.DeviceModuleCount, 1);
        EXPECT_EQ(KindOfIdent(c.ident), c.kind);
    }
}

TEST(IdentifyModule, DesignationOfOneModule) {
    ModuleIdentity id = IdentifyModule("45T01B23", "?");
    EXPECT_EQ(id.ModuleDesignation, std::string(ids::kDesignationPrefix) + "45T.01B v23");
    EXPECT_EQ(id.ModuleDesignation, "ЮКТ - 745T.01B v23");
    // A short text gives what is there, never a crash.
    EXPECT_EQ(IdentifyModule(std::string(ids::kType735x), "?").ModuleDesignation,
              std::string(ids::kDesignationPrefix) + "35X.01 v");
    // Not recognised: the text itself.
    EXPECT_EQ(IdentifyModule("XYZ12Q07", "?").ModuleDesignation, "XYZ12Q07");
    EXPECT_EQ(IdentifyModule("?", "?").ModuleDesignation, "?");
}

struct PairCase {
    std::string first;
    std::string second;
    int moduleKind;
    int secondKind;
    int count;
    const char* secondModel;
    std::string designation;
};

TEST(IdentifyModule, DevicesOfTwoModules) {
    const std::string t745a = identOf(ids::kType745t, 'P', "11");
    const std::string t745b = identOf(ids::kType745t, 'Q', "12");
    const std::string t748a = identOf(ids::kType748x, 'R', "13");
    const std::string t748b = identOf(ids::kType748x, 'S', "14");
    const std::string t748t = identOf(ids::kType748t, 'T', "15");
    const std::string one745 = std::string(ids::kDesignationPrefix) + "45T.01P v11";
    const std::string one748 = std::string(ids::kDesignationPrefix) + "48X.01R v13";
    const PairCase cases[] = {
        // The variant character comes from the second module for two 745t...
        {t745a, t745b, 13, 1, 2, "745t", std::string(ids::kDesignation745t745t) + "Q v11:12"},
        // ...and from the first for the devices with a 748x.
        {t745a, t748b, 14, 2, 2, "748x", std::string(ids::kDesignation745t748x) + "P v11:14"},
        {t748a, t748b, 15, 2, 2, "748x", std::string(ids::kDesignation748x748x) + "R v13:14"},
        // Pairs that make no device: the first module alone.
        {t745a, "?", 1, 0, 1, "", one745},
        {t745a, t748t, 1, 0, 1, "", one745},
        {t748a, t745b, 2, 0, 1, "", one748},
        {t748a, "?", 2, 0, 1, "", one748},
        {t748t, t748b, 3, 0, 1, "", std::string(ids::kDesignationPrefix) + "48T.01T v15"},
    };
    for (const PairCase& c : cases) {
        SCOPED_TRACE(c.first + " + " + c.second);
        ModuleIdentity id = IdentifyModule(c.first, c.second);
        EXPECT_EQ(id.ModuleKind, c.moduleKind);
        EXPECT_EQ(id.SecondKind, c.secondKind);
        EXPECT_EQ(id.DeviceModuleCount, c.count);
        EXPECT_EQ(id.SecondModel, c.secondModel);
        EXPECT_EQ(id.ModuleDesignation, c.designation);
    }
}

TEST(IdentifyModule, CompositeDesignationsKeepTheirFixedForm) {
    // Brand, " - ", four digits, ".", two digits.
    for (std::string_view d :
         {ids::kDesignation745t745t, ids::kDesignation745t748x, ids::kDesignation748x748x}) {
        std::string tail(d.substr(d.find(" - ") + 3));
        ASSERT_EQ(tail.size(), 7u) << d;
        EXPECT_EQ(tail[4], '.') << d;
        for (int i : {0, 1, 2, 3, 5, 6}) EXPECT_TRUE(std::isdigit(tail[i])) << d;
    }
}

struct FrequencyCase {
    float f;
    float q;
    float expected;
};

TEST(GeneratorFrequency, ProducedFrequencyOfTheSixteenBitDivider) {
    const FrequencyCase cases[] = {
        {100, 7374, 100.0f},
        {3500, 7374, 3498.1025f},
        // One tick per microsecond: 1 Hz needs 1 000 000 ticks, the counter
        // keeps 1 000 000 mod 65536 = 16960 of them.
        {1, 4000, static_cast<float>(1e6 / 16960)},
        // 2.5 ticks round to the even 2.
        {400000, 4000, 500000.0f},
        // 0.5 ticks round to 0, which the counter takes as a full turn.
        {2000000, 4000, static_cast<float>(1e6 / 65536)},
        // No frequency: the tick count is capped at 2^31 - 1.
        {0, 4000, static_cast<float>(1e6 / 65535)},
    };
    for (const FrequencyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "f " << c.f << " Q " << c.q);
        EXPECT_EQ(GeneratorFrequency(c.f, c.q), c.expected);
    }
}

}  // namespace
}  // namespace yukt
