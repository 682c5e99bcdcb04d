#include "verify/bench_setup.h"

#include <map>
#include <set>

#include "common/cp1251.h"
#include "instrument/identify.h"

namespace yukt::verify {

namespace {

// Data lines of a tpNNNN.cfg as words; comment lines left out. A file that
// is there but cannot be read leaves the reader's reason in `error`.
std::vector<std::vector<std::string>> dataLines(const std::string& path, std::string& error) {
    std::vector<std::vector<std::string>> lines;
    std::string text;
    FileFailure failure;
    if (!ReadTextFile(path, text, failure)) {
        if (!failure.missing && error.empty()) error = failure.MessageFor(path);
        return lines;
    }
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> words = ReplyWords(text.substr(pos, end - pos));
        if (!words.empty() && words[0][0] != ';') lines.push_back(std::move(words));
        pos = end + 1;
    }
    return lines;
}

}  // namespace

std::optional<RunSetup> SetupFromCfg(const std::string& dirIn, std::string& error) {
    error.clear();
    std::string dir = dirIn;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    // Numbers 2 and 3 of each model that may be under test.
    std::map<std::string, std::set<std::string>> numbers;
    for (const char* model : {"745t", "748x", "748t", "735t", "735x", "787x"})
        for (const auto& words : dataLines(dir + "tp" + model + ".cfg", error))
            if (words.size() >= 2 && words[0] == model) numbers[model].insert(words[1]);
    if (!error.empty()) return std::nullopt;
    auto has = [&](const char* model, const char* number) {
        return numbers[model].count(number) > 0;
    };
    RunSetup s;
    if (has("745t", "2") && has("745t", "3"))
        s.kind = kKind745t745t;
    else if (has("745t", "2") && has("748x", "3"))
        s.kind = kKind745t748x;
    else if (has("748x", "2") && has("748x", "3"))
        s.kind = kKind748x748x;
    else if (has("745t", "2"))
        s.kind = kKind745t;
    else if (has("748x", "2"))
        s.kind = kKind748x;
    else if (has("748t", "2"))
        s.kind = kKind748t;
    else if (has("735t", "2"))
        s.kind = kKind735t;
    else if (has("735x", "2"))
        s.kind = kKind735x;
    else if (has("787x", "2"))
        s.kind = kKind787x;
    else {
        error = dir + ": нет строки модуля под поверкой (номер 2)";
        return std::nullopt;
    }
    // Column 6 of the generator's line is its quartz in kHz.
    for (const auto& words : dataLines(dir + "tp788t.cfg", error)) {
        if (words.size() >= 6 && words[0] == "788t" && words[1] == "1") {
            const std::optional<double> q = ReplyValue(words, 6);
            if (q && *q > 0) s.quartzKHz = *q;
        }
    }
    if (!error.empty()) return std::nullopt;
    const bool needsQuartz = s.kind == kKind735t || s.kind == kKind735x;
    if (needsQuartz && s.quartzKHz <= 0) {
        error = dir + "tp788t.cfg: нет строки генератора 788t 1 с частотой кварца";
        return std::nullopt;
    }
    return s;
}

}  // namespace yukt::verify
