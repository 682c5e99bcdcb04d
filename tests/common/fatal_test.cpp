#include "common/fatal.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace yukt {
namespace {

TEST(FatalDeathTest, DefaultPrintsTheReasonAndExitsOne) {
    SetFatalHandler({});
    EXPECT_EXIT(Fatal("tp6606.cfg, строка 2: Не верный номер платы\""),
                ::testing::ExitedWithCode(1), "Не верный номер платы");
}

TEST(FatalDeathTest, InstalledHandlerRunsThenExitOne) {
    EXPECT_EXIT(
        {
            SetFatalHandler(
                [](const std::string& r) { std::fprintf(stderr, "handled: %s\n", r.c_str()); });
            Fatal("boom");
        },
        ::testing::ExitedWithCode(1), "handled: boom");
}

TEST(Fatal, AThrowingHandlerLeavesTheProcessAlive) {
    SetFatalHandler([](const std::string& r) { throw std::runtime_error(r); });
    EXPECT_THROW(Fatal("reason"), std::runtime_error);
    SetFatalHandler({});
}

}  // namespace
}  // namespace yukt
