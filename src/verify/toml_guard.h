#pragma once
// A look at TOML text before the parser sees it. The parser descends once
// per level of nesting and builds a node per table and array, so a small
// file of a few tens of kilobytes (`x.x.x…` thirty thousand levels deep,
// or thousands of `[]`) can exhaust its stack or the memory. The guard
// scans the text without building anything and refuses such a file with
// the line where the limit was passed.

#include <cstddef>
#include <string>
#include <string_view>

namespace yukt::verify {

// A hand-written methodology is a few levels deep and holds a few dozen
// tables; these limits leave room for any of them.
struct TomlLimits {
    int maxDepth = 32;                 // tables, dotted key parts and brackets, counted together
    std::size_t maxContainers = 4096;  // tables and arrays in the whole file
    std::size_t maxArrayItems = 10000;
};

struct TomlRefusal {
    int line = 0;         // 1-based line where the limit was passed
    std::string message;  // "вложенность глубже 32 уровней", ...
    explicit operator bool() const { return !message.empty(); }
};

// Nothing when the text stays within the limits. The text need not be valid
// TOML: whatever is malformed is left to the parser.
TomlRefusal CheckTomlShape(std::string_view text, const TomlLimits& limits = {});

// The hook of a file reader: false with the line and the message filled
// when the text must not be parsed.
bool TomlShapeAllowed(std::string_view text, int& line, std::string& message);

// The parser's own complaint for the reader of a file: "ошибка синтаксиса
// TOML (Error while parsing value: …)".
std::string TomlSyntaxMessage(std::string_view description);

}  // namespace yukt::verify
