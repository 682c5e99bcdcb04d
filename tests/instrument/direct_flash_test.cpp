// The module's FLASH through the direct-access channel on the simulated
// bench: the address in three copies, the masked parameter texts, the packed
// coefficients, and writes that the module does not confirm.

#include <unistd.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "direct_bench.h"

namespace yukt::testing_direct {
namespace {

class DirectFlashTest : public DirectBench {
  protected:
    void SetUp() override {
        DirectBench::SetUp();
        ASSERT_TRUE(openAt(0));
    }

    void setParamCopy(int copy, int n, const std::string& tenChars) {
        auto lk = bench.lock();
        for (int i = 0; i < ids::kParamLength; ++i)
            module->flash().write(ids::paramCell(copy, n) + i,
                                  static_cast<std::uint8_t>(tenChars[i]) ^ ids::kMaskM[copy - 1]);
    }

    // The coefficient's four bytes in copy `copy`, unmasked with `masks`.
    std::array<std::uint8_t, 4> coefCopy(int copy, int n,
                                         const std::array<std::uint8_t, 3>& masks) {
        std::array<std::uint8_t, 4> out{};
        for (int i = 0; i < 4; ++i) out[i] = stored(ids::coefCell(copy, n) + i, masks[copy - 1]);
        return out;
    }

    std::optional<double> benchCoef(int n) {
        auto lk = bench.lock();
        return module->flash().coef(n);
    }
};

TEST_F(DirectFlashTest, AddressNeedsThreeAgreeingCopies) {
    EXPECT_EQ(prbr->ReadModuleAddress(), 1);
    {
        auto lk = bench.lock();
        module->flash().write(ids::kAddressCells[1], 5);
    }
    EXPECT_EQ(prbr->ReadModuleAddress(), -1);
    {
        auto lk = bench.lock();
        module->flash().setAddress(9);
    }
    EXPECT_EQ(prbr->ReadModuleAddress(), 9);
    bench.injectFault({.kind = sim::FaultKind::Silence, .after = 2});
    EXPECT_EQ(prbr->ReadModuleAddress(), -1);
}

TEST_F(DirectFlashTest, AddressWriteIsConfirmedByReadingBack) {
    EXPECT_TRUE(prbr->WriteModuleAddress(6));
    EXPECT_EQ(prbr->ReadModuleAddress(), 6);
    {
        auto lk = bench.lock();
        for (int cell : ids::kAddressCells) EXPECT_EQ(module->flash().read(cell), 6);
    }

    // A failed address read must not end up in FLASH as 255.
    EXPECT_FALSE(prbr->WriteModuleAddress(-1));
    EXPECT_FALSE(prbr->WriteModuleAddress(256));
    EXPECT_EQ(prbr->ReadModuleAddress(), 6);

    // The write is answered, the reading back is not.
    bench.injectFault({.kind = sim::FaultKind::Silence, .after = 1, .times = sim::kForever});
    EXPECT_FALSE(prbr->WriteModuleAddress(3));
    bench.clearFaults();
    // The module answers with a broken frame: no confirmation either.
    bench.injectFault({.kind = sim::FaultKind::BadSum, .times = sim::kForever});
    EXPECT_FALSE(prbr->WriteFlashByte(100, 0x42));
    bench.clearFaults();
    EXPECT_TRUE(prbr->WriteFlashByte(100, 0x42));
    EXPECT_EQ(prbr->ReadFlashByte(100), 0x42);
}

TEST_F(DirectFlashTest, EveryCopyIsWrittenBeforeAnyIsReadBack) {
    std::vector<std::string> requests;
    bench.setFrameLog([&](const std::string& line) {
        if (line.starts_with("-> ")) requests.push_back(line);
    });
    // A module whose FLASH reads back the old value once after a write.
    module->setFlashLag(true);
    EXPECT_TRUE(prbr->WriteModuleAddress(6));
    EXPECT_TRUE(prbr->UnconfirmedFlashCells().empty());
    bench.setFrameLog(nullptr);
    ASSERT_GE(requests.size(), 4u);
    // Three writes (3 data bytes: cell high, cell low, value), then the reads.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(requests[i].size(), requests[0].size()) << requests[i];
    EXPECT_LT(requests[3].size(), requests[0].size()) << requests[3];
    module->setFlashLag(false);
    EXPECT_EQ(prbr->ReadModuleAddress(), 6);

    module->setFlashLag(true);
    EXPECT_TRUE(prbr->WriteCoef(2, 246.9134));
    module->setFlashLag(false);
    EXPECT_DOUBLE_EQ(prbr->ReadCoef(2), 246.9134);
}

TEST_F(DirectFlashTest, CellsThatNeverConfirmAreNamed) {
    // The power fails as the second copy is stored: the first two copies
    // hold the address, nothing reads back.
    module->cutPowerAfterWrites(2);
    EXPECT_FALSE(prbr->WriteModuleAddress(6));
    EXPECT_EQ(prbr->UnconfirmedFlashCells(), (std::vector<int>{0, 16, 32}));
    EXPECT_EQ(prbr->UnconfirmedFlashText(), "FLASH cells not confirmed: 0, 16, 32");
    {
        auto lk = bench.lock();
        EXPECT_EQ(module->flash().read(0), 6);
        EXPECT_EQ(module->flash().read(16), 6);
        module->setPower(true);
    }
    // After power returns the write completes the copies.
    EXPECT_TRUE(prbr->WriteModuleAddress(6));
    EXPECT_EQ(prbr->UnconfirmedFlashText(), "");
    EXPECT_EQ(prbr->ReadModuleAddress(), 6);
}

TEST_F(DirectFlashTest, FlashCellsOutsideTheMemoryAreNotRequested) {
    std::uint64_t before = bench.requestCount();
    EXPECT_FALSE(prbr->ReadFlashByte(-1).has_value());
    EXPECT_FALSE(prbr->ReadFlashByte(ids::kFlashSize).has_value());
    EXPECT_FALSE(prbr->WriteFlashByte(ids::kFlashSize, 1));
    EXPECT_EQ(bench.requestCount(), before);
    EXPECT_TRUE(prbr->ReadFlashByte(ids::kFlashSize - 1).has_value());
}

TEST_F(DirectFlashTest, ParameterTexts) {
    struct Case {
        const char* text;  // all three copies
        double value;
    };
    const Case cases[] = {
        {"   1234,56", 1234.56}, {"   1234.56", 1234.56}, {"7374      ", 7374},
        {"  -12,5   ", -12.5},   {"    100,00", 100},     {"  12a4,56 ", -1},
        {"          ", -1},      {"   1,2,3  ", -1},      {"   inf    ", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        for (int copy = 1; copy <= 3; ++copy) setParamCopy(copy, 2, c.text);
        EXPECT_DOUBLE_EQ(prbr->ReadParam(2), c.value);
    }
}

TEST_F(DirectFlashTest, ParameterNeedsThreeAgreeingCopies) {
    for (int n = 1; n <= 5; ++n)
        for (int copy = 1; copy <= 3; ++copy) setParamCopy(copy, n, "   1234,56");
    EXPECT_DOUBLE_EQ(prbr->ReadParam(5), 1234.56);
    setParamCopy(2, 5, "   1234,57");
    EXPECT_EQ(prbr->ReadParam(5), -1);
    // Its neighbours are untouched.
    EXPECT_DOUBLE_EQ(prbr->ReadParam(4), 1234.56);
    EXPECT_DOUBLE_EQ(prbr->ReadParam(1), 1234.56);
    for (int n : {0, 6}) EXPECT_EQ(prbr->ReadParam(n), -1);
    bench.injectFault({.kind = sim::FaultKind::Silence, .after = 15});
    EXPECT_EQ(prbr->ReadParam(1), -1);
}

TEST_F(DirectFlashTest, ErasedFlashHoldsNoValues) {
    {
        auto lk = bench.lock();
        for (int cell = 0; cell < ids::kFlashSize; ++cell) module->flash().write(cell, 0xFF);
    }
    EXPECT_EQ(prbr->ReadModuleAddress(), 255);
    EXPECT_EQ(prbr->ReadParam(1), -1);
    EXPECT_EQ(prbr->ReadCoef(1), -0.5);
}

TEST_F(DirectFlashTest, CoefficientOfTwoIsStoredAsHalfWithTheCoefficientMasks) {
    ASSERT_TRUE(prbr->WriteCoef(1, 2.0));
    const std::array<std::uint8_t, 4> one = {0, 1, 0, 0};
    for (int copy = 1; copy <= 3; ++copy) EXPECT_EQ(coefCopy(copy, 1, ids::kMaskN), one);
    EXPECT_EQ(prbr->ReadCoef(1), 2.0);
    EXPECT_EQ(benchCoef(1), 2.0);
}

TEST_F(DirectFlashTest, CoefficientWithoutIntegerPartReadsAsNotSet) {
    ASSERT_TRUE(prbr->WriteCoef(2, -0.5));
    // -0.25: integer part 0, digits 2500, written with the parameter masks.
    const std::array<std::uint8_t, 4> quarter = {0, 0, 0x25, 0x00};
    for (int copy = 1; copy <= 3; ++copy) EXPECT_EQ(coefCopy(copy, 2, ids::kMaskM), quarter);
    EXPECT_EQ(prbr->ReadCoef(2), -0.5);
    ASSERT_TRUE(prbr->WriteCoef(2, 1.5));
    EXPECT_EQ(prbr->ReadCoef(2), -0.5);
}

TEST_F(DirectFlashTest, CoefficientValuesRoundTrip) {
    struct Case {
        double written;
        double read;
    };
    const Case cases[] = {
        {2.0, 2.0},       {3.0, 3.0},     {2.5, 2.5},       {1000, 1000},      {246.9134, 246.9134},
        {2.0006, 2.0006}, {2.00006, 2.0}, {131070, 131070}, {7.99999, 7.9998},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        ASSERT_TRUE(prbr->WriteCoef(1, c.written));
        EXPECT_DOUBLE_EQ(prbr->ReadCoef(1), c.read);
        EXPECT_DOUBLE_EQ(benchCoef(1).value_or(-1), c.read);
        // Coefficient 2 lies between the copies of coefficient 1.
        ASSERT_TRUE(prbr->WriteCoef(2, 4.0));
        EXPECT_DOUBLE_EQ(prbr->ReadCoef(1), c.read);
    }
}

TEST_F(DirectFlashTest, CoefficientThatCannotBeStoredIsRefused) {
    ASSERT_TRUE(prbr->WriteCoef(1, 6.0));
    std::uint64_t before = bench.requestCount();
    for (double bad : {-5.0, 131072.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(prbr->WriteCoef(1, bad));
    }
    for (int n : {0, 3}) EXPECT_FALSE(prbr->WriteCoef(n, 2.0));
    EXPECT_EQ(bench.requestCount(), before);
    EXPECT_EQ(prbr->ReadCoef(1), 6.0);
}

TEST_F(DirectFlashTest, CoefficientReadRefusesDisagreementAndNonDigits) {
    ASSERT_TRUE(prbr->WriteCoef(1, 2.5));
    {
        auto lk = bench.lock();
        module->flash().write(ids::coefCell(3, 1) + 3, 0x01 ^ ids::kMaskN[2]);
    }
    EXPECT_EQ(prbr->ReadCoef(1), -0.5);
    {
        auto lk = bench.lock();
        module->flash().setCoefBytes(1, {0, 1, 0xA0, 0x00});
    }
    EXPECT_EQ(prbr->ReadCoef(1), -0.5);
    for (int n : {0, 3}) EXPECT_EQ(prbr->ReadCoef(n), -0.5);
    bench.injectFault({.kind = sim::FaultKind::Silence, .after = 5});
    {
        auto lk = bench.lock();
        module->flash().setCoef(1, 4.0);
    }
    EXPECT_EQ(prbr->ReadCoef(1), -0.5);
}

TEST_F(DirectFlashTest, CoefficientWriteGoesOnPastAnUnconfirmedByte) {
    ASSERT_TRUE(prbr->WriteCoef(1, 2.0));
    // Every write lands but only the first is answered, and nothing reads back.
    bench.injectFault({.kind = sim::FaultKind::Silence, .after = 1, .times = sim::kForever});
    EXPECT_FALSE(prbr->WriteCoef(1, 1024.0));
    bench.clearFaults();
    EXPECT_EQ(prbr->UnconfirmedFlashCells().size(), 12u);
    // All three copies went in nevertheless.
    EXPECT_EQ(prbr->ReadCoef(1), 1024.0);
}

// A locale whose decimal separator is a comma, for the life of the object:
// an installed one, else one built for the test with localedef.
class CommaLocale {
  public:
    CommaLocale() {
        for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "de_DE.utf8"})
            if (std::setlocale(LC_ALL, name) != nullptr) return;
        namespace fs = std::filesystem;
        m_dir = fs::temp_directory_path() / ("yukt-locale-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        fs::path def = m_dir / "comma.def";
        if (FILE* f = std::fopen(def.c_str(), "w")) {
            std::fputs(
                "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
                "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\ngrouping -1\n"
                "END LC_NUMERIC\n",
                f);
            std::fclose(f);
        }
        // localedef complains about the categories left out but builds the rest.
        std::string cmd = "localedef -i " + def.string() + " -f UTF-8 " +
                          (m_dir / "comma").string() + " >/dev/null 2>&1";
        (void)std::system(cmd.c_str());
        ::setenv("LOCPATH", m_dir.c_str(), 1);
        std::setlocale(LC_ALL, "comma");
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        if (!m_dir.empty()) {
            ::unsetenv("LOCPATH");
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }
    bool active() const {
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        return std::string(probe) == "1,5";
    }

  private:
    std::filesystem::path m_dir;
};

TEST_F(DirectFlashTest, CoefficientLayoutDoesNotDependOnTheLocale) {
    CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma can be had";
    ASSERT_TRUE(prbr->WriteCoef(1, 3.0));
    const std::array<std::uint8_t, 4> oneAndHalf = {0, 1, 0x50, 0x00};
    EXPECT_EQ(coefCopy(1, 1, ids::kMaskN), oneAndHalf);
    EXPECT_EQ(prbr->ReadCoef(1), 3.0);
    for (int copy = 1; copy <= 3; ++copy) setParamCopy(copy, 1, "   1234.56");
    EXPECT_DOUBLE_EQ(prbr->ReadParam(1), 1234.56);
}

}  // namespace
}  // namespace yukt::testing_direct
