// The command tokeniser and the word conversions of the command language.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "instrument/command_words.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto words = SplitCommand(line);
    if (words) {
        FUZZ_CHECK(words->Count >= 0 && words->Count <= CommandWords::kMaxWords);
        for (int n = 1; n <= CommandWords::kMaxWords; ++n) {
            for (char c : (*words)[n]) FUZZ_CHECK(c < 'A' || c > 'Z');
            FUZZ_CHECK(n <= words->Count || (*words)[n].empty());
        }
    }
    IntWord(line);
    RealWord(line);
    if (auto bit = BitWord(line)) FUZZ_CHECK(*bit == 0 || *bit == 1);
    try {
        IntOrThrow(line);
    } catch (const CommandConvertError&) {
    }
    try {
        LocaleRealOrThrow(line);
    } catch (const CommandConvertError&) {
    }
    return 0;
}
