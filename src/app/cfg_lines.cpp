#include "app/cfg_lines.h"

#include <initializer_list>
#include <utility>

#include "common/text.h"

namespace yukt {

namespace {

constexpr const char* kEol = "\r\n";

const char* const kLink6606 = ";$300 1 10794000 9600";
const char* const kTemplate787x = "787x 1 1 23 1  4  6";
const char* const kTemplate788t = "788t 1 1 23 2  7374  100 5 3";
const char* const kTemplate745t = "745t 1 1 23 4  100 100 1 2500";
const char* const kTemplateCom = "1  9600";
const char* const kTemplate748x = "748x 1 1 23 4 -1 100  100  100";
const char* const kTemplate748t = "748t 1 5 23 4 100 100";
const char* const kTemplate735t = "735t 1 6 23 1 7374 0 0 0 0 -0.5  -0.5";
const char* const kTemplate735x = "735x 1 5 23 3 7374 0 0 0 0";

// Module kinds of the identification (the values the detection reports).
constexpr int k745t = 1, k748x = 2, k748t = 3, k735t = 5, k735x = 6, k787x = 8;

std::string withColumns(std::string line, std::initializer_list<std::pair<int, std::string>> cols) {
    for (const auto& [column, text] : cols) line = SetColumn(line, column, text);
    return line;
}

// A line of the module under test: number 2 at address 6, or the second
// module of a device, number 3 at address 7.
std::string underTest(const char* tmpl, bool second, int port,
                      std::initializer_list<std::pair<int, double>> values) {
    std::string line = withColumns(
        tmpl, {{2, second ? "3" : "2"}, {3, std::to_string(port)}, {5, second ? "7" : "6"}});
    for (const auto& [column, value] : values) line = SetColumn(line, column, FloatToStr(value));
    return line;
}

}  // namespace

std::vector<CfgFile> CalibratorCfgFiles(const CalibratorInfo& info) {
    const std::string port = std::to_string(info.CalibratorPort);
    std::vector<CfgFile> files;
    files.push_back({"tp6606.cfg", std::string(kLink6606) + kEol});
    files.push_back({"tp787x.cfg", withColumns(kTemplate787x, {{3, port}}) + kEol});
    files.push_back(
        {"tp788t.cfg",
         withColumns(kTemplate788t, {{3, port}, {6, FloatToStr(info.QuartzKHz)}}) + kEol});
    if (info.HasMeter)
        files.push_back(
            {"tp745t.cfg", withColumns(kTemplate745t, {{3, port},
                                                       {6, FloatToStr(info.ShuntOhm)},
                                                       {7, FloatToStr(info.ReferenceOhm)}}) +
                               kEol});
    files.push_back({"tpCom.cfg", withColumns(kTemplateCom, {{1, port}}) + kEol});
    return files;
}

std::vector<CfgFile> ModuleCfgFiles(
    const ModuleCfgRequest& r,
    const std::function<bool(const std::string&, std::string&)>& readFirstLine,
    std::string& missingFile) {
    const double* X = r.Flash.X;
    const int port = r.CalibratorPort;
    std::vector<CfgFile> files;
    // Lines of a file that must keep the calibrator's own line in front.
    auto keepFirst = [&](const std::string& name, std::string& kept) {
        if (readFirstLine(name, kept)) return true;
        missingFile = name;
        return false;
    };

    switch (r.FirstKind) {
        case k745t: {
            std::string content;
            if (r.HasMeter) {
                std::string kept;
                if (!keepFirst("tp745t.cfg", kept)) return {};
                content = kept + kEol;
            }
            content += underTest(kTemplate745t, false, port, {{6, X[1]}, {7, X[2]}}) + kEol;
            files.push_back({"tp745t.cfg", content});
            break;
        }
        case k748x:
            files.push_back(
                {"tp748x.cfg",
                 underTest(kTemplate748x, false, port, {{7, X[1]}, {8, X[2]}, {9, X[3]}}) + kEol});
            break;
        case k748t:
            files.push_back({"tp748t.cfg",
                             underTest(kTemplate748t, false, port, {{6, X[1]}, {7, X[2]}}) + kEol});
            break;
        case k735t:
            files.push_back({"tp735t.cfg", underTest(kTemplate735t, false, port,
                                                     {{6, X[1]}, {11, X[2]}, {12, X[3]}}) +
                                               kEol});
            break;
        case k735x:
            files.push_back(
                {"tp735x.cfg", underTest(kTemplate735x, false, port, {{6, X[1]}}) + kEol});
            break;
        case k787x: {
            std::string kept;
            if (!keepFirst("tp787x.cfg", kept)) return {};
            files.push_back(
                {"tp787x.cfg", kept + kEol + underTest(kTemplate787x, false, port, {}) + kEol});
            break;
        }
        default:
            break;
    }

    auto fileNamed = [&](const std::string& name) -> CfgFile* {
        for (CfgFile& f : files)
            if (f.name == name) return &f;
        return nullptr;
    };
    if (r.SecondKind == 1) {
        const std::string line =
            underTest(kTemplate745t, true, port, {{6, X[3]}, {7, X[4]}}) + kEol;
        if (CfgFile* f = fileNamed("tp745t.cfg"))
            f->content += line;
        else
            files.push_back({"tp745t.cfg", line});
    } else if (r.SecondKind == 2) {
        const std::string line =
            underTest(kTemplate748x, true, port, {{7, X[4]}, {8, X[5]}, {9, X[6]}}) + kEol;
        CfgFile* f = r.FirstKind == k748x ? fileNamed("tp748x.cfg") : nullptr;
        if (f)
            f->content += line;
        else
            files.push_back({"tp748x.cfg", line});
    }
    return files;
}

const std::vector<std::string>& GeneratedCfgFileNames() {
    static const std::vector<std::string> names = {"tp6606.cfg", "tpCom.cfg",  "tp745t.cfg",
                                                   "tp748x.cfg", "tp748t.cfg", "tp735x.cfg",
                                                   "tp735t.cfg", "tp787x.cfg", "tp788t.cfg"};
    return names;
}

}  // namespace yukt
