// main() of the GoogleTest programs. The process locale is taken from the
// environment, as the workstation's application object takes it, so that a
// run under LC_ALL=ru_RU.UTF-8 puts every number conversion in the code
// under test next to a decimal comma.
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
