// What every simulated model has in common on the line, and the length of
// each model's read replies, checked with raw frames.

#include <gtest/gtest.h>

#include "common/module_ids.h"
#include "raw_line.h"
#include "sim/bench.h"
#include "sim/device_table.h"

namespace yukt::sim {
namespace {

using simtest::Bytes;
using simtest::exchange;

constexpr int kAt = 9;  // a free address on a line without the calibrator

std::unique_ptr<ByteTransport> lineWith(Bench& bench, std::string_view model) {
    bench.place(kAt, makeDevice(model));
    return bench.connect();
}

TEST(EveryModel, IdentifiesResetsAndKeepsItsFlash) {
    ASSERT_EQ(simulatedModels().size(), ids::kModelTypes.size());
    for (const ids::ModelType& t : ids::kModelTypes) {
        SCOPED_TRACE(std::string(t.model));
        Bench bench;
        auto host = lineWith(bench, t.model);

        const auto ident = exchange(*host, kAt, 7);
        ASSERT_TRUE(ident && ident->accepted());
        EXPECT_EQ(ident->status, kAt * 16 + 8);
        ASSERT_EQ(ident->data.size(), 8u);
        EXPECT_EQ(ident->text().substr(0, 5), t.type);

        const auto reset = exchange(*host, kAt, 0);
        ASSERT_TRUE(reset && reset->accepted());
        EXPECT_TRUE(reset->data.empty());

        // A cell written over the line reads back; the address moves at reset.
        for (int cell : {0, 16, 32})
            ASSERT_TRUE(exchange(*host, kAt, 7, {0, static_cast<std::uint8_t>(cell), 11}));
        const auto back = exchange(*host, kAt, 7, {0x10, 32});
        ASSERT_TRUE(back && back->accepted());
        EXPECT_EQ(back->data, Bytes{11});
        ASSERT_TRUE(exchange(*host, kAt, 0));
        EXPECT_FALSE(exchange(*host, kAt, 7));
        EXPECT_TRUE(exchange(*host, 11, 7));

        // A command no model has is not accepted.
        const auto odd = exchange(*host, 11, 15, {1, 2, 3});
        EXPECT_FALSE(odd && odd->accepted());
    }
}

TEST(EveryModel, ReadRepliesHaveTheirLayoutLengths) {
    const struct {
        const char* model;
        int command;
        Bytes data;
        std::size_t length;
    } cases[] = {
        {"745x", 2, {}, 9},  {"745t", 2, {}, 9},  {"745b", 2, {}, 19},  {"746x", 2, {}, 9},
        {"747x", 2, {}, 9},  {"748x", 2, {}, 9},  {"748t", 2, {}, 16},  {"748t", 3, {}, 16},
        {"765x", 2, {}, 4},  {"735x", 2, {}, 4},  {"735x", 3, {}, 8},   {"735x", 5, {2}, 8},
        {"735x", 5, {3}, 8}, {"735x", 5, {4}, 4}, {"735t", 2, {}, 4},   {"735t", 3, {}, 8},
        {"735t", 4, {}, 8},  {"735t", 6, {}, 8},  {"735t", 5, {5}, 16}, {"735d", 5, {6}, 18},
        {"788t", 3, {}, 7},  {"788t", 1, {5}, 5}, {"788x", 3, {}, 7},   {"788v", 3, {}, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " command " + std::to_string(c.command));
        Bench bench;
        auto host = lineWith(bench, c.model);
        const auto r = exchange(*host, kAt, c.command, c.data);
        ASSERT_TRUE(r);
        EXPECT_TRUE(r->accepted());
        EXPECT_GE(r->data.size(), c.length);
    }
}

}  // namespace
}  // namespace yukt::sim
