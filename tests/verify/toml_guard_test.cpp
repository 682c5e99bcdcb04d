// The shape check before a TOML file is parsed: deep and swollen files are
// refused at the line where the limit is passed; ordinary ones, with the
// brackets, dots and quotes strings and comments may hide, pass.
#include "verify/toml_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace yukt::verify {
namespace {

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(TomlGuard, RefusesDepthAndCountsAtTheirLine) {
    const std::string depth = "вложенность больше 32 уровней";
    struct Case {
        std::string text;
        int line;  // 0: allowed
        std::string message;
    } cases[] = {
        {"x" + repeat(".x", 30900) + " = 1\n", 1, depth},
        {"a = 1\n[" + repeat("x.", 32) + "x]\n", 2, depth},
        {"[" + repeat("x.", 30) + "x]\n" + "y.z = 1\n", 2, depth},
        {"a = " + repeat("[", 33) + repeat("]", 33) + "\n", 1, depth},
        {"a = {b = {c = " + repeat("{d = ", 30) + "1" + repeat("}", 32) + "\n", 1, depth},
        {"a = [\n" + repeat("[],\n", 5000) + "]\n", 4097, "больше 4096 таблиц и массивов"},
        {"a = [" + repeat("1,", 10001) + "]\n", 1, "массив больше 10000 элементов"},
        // Items, not commas, are counted: 10 001 without a trailing comma are
        // too many, 10 000 with one are not.
        {"a = [" + repeat("1, ", 10000) + "1]\n", 1, "массив больше 10000 элементов"},
        {"a = [\n" + repeat("\"x\",\n", 10000) + "[1, 2]]\n", 10002, "массив больше 10000 элементов"},
        {"a = [" + repeat("1,", 10000) + "]\n", 0, ""},
        {"a = [" + repeat("[1, 2, 3], ", 1000) + "]\n", 0, ""},
        {repeat("x.", 30) + "x = [1, 2]\n", 0, ""},
        {"[" + repeat("x.", 30) + "x]\ny = 1\n", 0, ""},
        {"a = \"[[[[.{{{\" # [[[[\nb = '''\n" + repeat("[", 40) + "\n'''\nc = 1.5e3\n", 0, ""},
        {"a = \"\\\"" + repeat("[", 40) + "\"\n\"k.k\".'q.q' = 2\nd = 1979-05-27T07:32:00.5\n", 0,
         ""},
        {"x" + repeat(".x", 40) + "\n", 1, depth},  // malformed still refused, never parsed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        const TomlRefusal r = CheckTomlShape(c.text);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.message, c.message);
    }
}

}  // namespace
}  // namespace yukt::verify
