// The configuration reader on text in memory: encoding detection, then the
// common and per-model columns of one model, line after line, as the module
// set reads a tpNNNN.cfg. A malformed line must end the read with a
// short error naming the line, never a crash.
#include <cstdint>
#include <string>

#include "common/cfg_reader.h"
#include "common/cp1251.h"
#include "fuzz_check.h"
#include "instrument/model_tables.h"

using namespace yukt;

namespace {

template <class Traits>
void readAs(const std::string& text) {
    CfgReader in;
    in.SetText(text, "tp.cfg");
    for (int i = 1; i <= 224; ++i) {
        std::string code;
        if (!in.ReadWord(code)) break;
        FUZZ_CHECK(CharCount(code) <= 81);
        BaseColumns base;
        typename Traits::Columns cols{};
        if (!ReadBaseColumns(in, base) || !Traits::ReadColumns(in, cols)) {
            FUZZ_CHECK(in.Failed());
            // An echoed token is cut: the message stays short.
            FUZZ_CHECK(in.Error().message().size() < 400);
            return;
        }
        in.SkipLine();
    }
}

// The input's first byte picks the model whose columns the rest is read as.
template <class... Traits>
void readAsOneOf(unsigned pick, const std::string& text) {
    unsigned i = 0;
    const unsigned chosen = pick % sizeof...(Traits);
    ((i++ == chosen ? readAs<Traits>(text) : void()), ...);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string text = DecodeText(bytes, DetectEncoding(bytes));
    readAsOneOf<Tp745xTraits, Tp745bTraits, Tp745tTraits, Tp735xTraits, Tp735rTraits, Tp735tTraits,
                Tp735dTraits, Tp735vTraits, Tp746xTraits, Tp747xTraits, Tp748xTraits, Tp748tTraits,
                Tp765xTraits, Tp795bTraits, Tp787xTraits, Tp787dTraits, Tp788xTraits, Tp788tTraits,
                Tp788vTraits>(data[0], text);

    // The plain token and line reads the link files use.
    CfgReader in;
    in.SetText(text, "tpCom.cfg");
    for (int guard = 0; guard < 64 && !in.AtEnd(); ++guard) {
        int i = 0;
        double r = 0;
        in.ReadWord();
        in.ReadInt(i);
        in.ReadReal(r);
        in.ReadToken();
        in.ReadRestOfLine();
    }
    return 0;
}
