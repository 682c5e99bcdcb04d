#pragma once
// The configuration lines the workstation writes into its directory: the
// calibrator's files after the search, and the lines of the module under
// test after detection. Each line starts from a fixed template whose columns
// are replaced (SetColumn); numbers are written with a decimal point.

#include <functional>
#include <string>
#include <vector>

namespace yukt {

struct CfgFile {
    std::string name;     // "tp787x.cfg"
    std::string content;  // whole file, Windows line ends
};

// What the calibrator search found.
struct CalibratorInfo {
    bool CalibratorFound = false;
    int CalibratorPort = 0;
    bool HasMeter = false;
    double QuartzKHz = 0;
    double ShuntOhm = -1;      // the meter's shunt, only for tp745t.cfg
    double ReferenceOhm = -1;  // the meter's reference resistor
};

// tp6606.cfg, tp787x.cfg, tp788t.cfg, tp745t.cfg (with the meter) and
// tpCom.cfg, one line each.
std::vector<CfgFile> CalibratorCfgFiles(const CalibratorInfo& info);

// Values read from the FLASH of the module(s) under test, X[1]..X[6].
struct FlashValues {
    double X[7] = {0, 0, 0, 0, 0, 0, 0};
};

// The files for a detected device, built from the identification results.
// `readFirstLine` gives the first line of an existing file of ProgramDir, or
// false when it does not exist. On a missing required file the result is
// empty and `missingFile` names it.
struct ModuleCfgRequest {
    int FirstKind = 0;
    int SecondKind = 0;
    bool HasMeter = false;
    int CalibratorPort = 0;
    FlashValues Flash;
};
std::vector<CfgFile> ModuleCfgFiles(
    const ModuleCfgRequest& request,
    const std::function<bool(const std::string& name, std::string& line)>& readFirstLine,
    std::string& missingFile);

// Every file name the workstation may generate; closing deletes them.
const std::vector<std::string>& GeneratedCfgFileNames();

}  // namespace yukt
