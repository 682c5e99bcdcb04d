#include "link/link_cfg.h"

#include <cstdio>

#include "common/cp1251.h"
#include "common/text.h"
#include "link/com_port.h"

namespace yukt {

namespace {

constexpr const char* kBoardFile = "tp6606.cfg";
constexpr const char* kComFile = "tpCom.cfg";

// The defaults end without a line end: every line is a comment, so a fresh
// file configures nothing.
constexpr const char* kBoardDefault =
    ";Настройка плат ЮКТ-6606\n"
    ";4-х канальные платы связи компьютера с модулями ЮКТ\n"
    ";Адрес Номер Резонатор Скорость\n"
    ";$300    1   10994000   4800";
constexpr const char* kComDefault =
    ";Настройка COM-портов\n"
    ";для связи компьютера с модулями ЮКТ\n"
    ";COM Скорость\n"
    "; 1    4800";

// The module files whose lines mark board lines in use, in reading order.
constexpr const char* kLineUseModels[19] = {
    "745b", "745t", "745x", "746x", "747x", "748x", "748t", "735t", "735d", "735x",
    "735r", "765x", "787x", "787d", "788x", "795b", "735v", "788t", "788v",
};
constexpr int kMaxModuleLines = 224;

void ensureDefault(const std::string& pathCfg, const char* name, const char* text) {
    const std::string path = pathCfg + name;
    if (FileExists(path) || !InSampleDir(pathCfg)) return;
    if (WriteTextFile(path, "")) AppendTextFile(path, text);
}

void setError(CfgError* err, const CfgError& e) {
    if (err) *err = e;
}

std::string hex4(int value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFF);
    return buf;
}

}  // namespace

bool InSampleDir(const std::string& pathCfg) {
    return pathCfg == "./smplcfg/" || pathCfg == "smplcfg/" || pathCfg == ".\\smplcfg\\" ||
           pathCfg == "smplcfg\\";
}

void EnsureLinkCfg(const std::string& pathCfg) {
    ensureDefault(pathCfg, kBoardFile, kBoardDefault);
}

void EnsureComCfg(const std::string& pathCfg) { ensureDefault(pathCfg, kComFile, kComDefault); }

bool FillLineUse(LinkTable& links, const std::string& pathCfg, CfgError* err) {
    for (auto& board : links.LineUse) board.fill(false);
    for (const char* code : kLineUseModels) {
        CfgReader in;
        if (!in.Open(pathCfg + "tp" + code + ".cfg")) {
            if (!in.Failed()) continue;
            setError(err, in.Error());
            return false;
        }
        for (int i = 1; i <= kMaxModuleLines; ++i) {
            if (in.ReadWord() != code) break;
            int number = 0;
            int com = 0;
            if (!in.ReadInt(number) || !in.ReadInt(com)) {
                setError(err, in.Error());
                return false;
            }
            in.SkipLine();
            if (com >= 5 && com <= 20 && number > 0)
                links.LineUse[(com - 1) / 4][(com - 1) % 4 + 1] = true;
        }
    }
    return true;
}

int ReadLinkCfg(LinkTable& links, const std::string& pathCfg, ConsoleLineBuffer& console,
                CfgError* err) {
    EnsureLinkCfg(pathCfg);
    if (!FillLineUse(links, pathCfg, err)) return kLinkCfgFatal;
    CfgReader in;
    if (!in.Open(pathCfg + kBoardFile)) {
        links.LinksReady = false;
        // A file that is there but cannot be read is an error, not a
        // missing configuration.
        if (!in.Failed()) return 0;
        setError(err, in.Error());
        return kLinkCfgFatal;
    }
    for (int i = 1; i <= 4; ++i) {
        std::string word;
        if (!in.ReadWord(word)) break;
        if (!word.empty() && word[0] == '$') word.erase(0, 1);
        const int base = HexToWord(word);
        const int wordLine = in.LineNumber();
        int number = 0;
        if (!in.ReadInt(number)) {
            setError(err, in.Error());
            return kLinkCfgFatal;
        }
        if (number < 1 || number > 4) {
            const std::string text = "Не верный номер платы\"";
            console.ConsoleLine(text);
            setError(err, CfgError{in.FileName(), wordLine, text});
            return kLinkCfgFatal;
        }
        int crystal = 0;
        int speed = 0;
        if (!in.ReadInt(crystal) || !in.ReadInt(speed)) {
            setError(err, in.Error());
            return kLinkCfgFatal;
        }
        in.SkipLine();

        Ttp6606& link = links.Create(i);
        link.SetBaseAddr(base);
        link.SetBoardNumber(number);
        link.SetCrystal(crystal);
        link.SetSpeed(speed);
        link.OpenLink(true);
        if (!link.IsOpen()) {
            // The base as the file names it: an unsupported one is stored as
            // $300, but the operator looks for the board the file names.
            link.ErrorText = "Плата с адресом $" + hex4(base) + " не подключена";
            return i;
        }
        link.ErrorText.clear();
        ++links.LinkCount;
    }
    return 0;
}

int ReadComCfg(LinkTable& links, const std::string& pathCfg, CfgError* err) {
    EnsureComCfg(pathCfg);
    CfgReader in;
    if (!in.Open(pathCfg + kComFile)) {
        links.LinksReady = false;
        if (!in.Failed()) return 0;
        setError(err, in.Error());
        return kLinkCfgFatal;
    }
    for (int i = links.LinkCount + 1; i <= 4; ++i) {
        std::string word;
        if (!in.ReadWord(word)) break;
        int com = 0;
        if (!StrToIntStrict(word, com)) {
            setError(err, CfgError{in.FileName(), in.LineNumber(), BadNumber(word)});
            return kLinkCfgFatal;
        }
        int speed = 0;
        if (!in.ReadInt(speed)) {
            setError(err, in.Error());
            return kLinkCfgFatal;
        }
        in.SkipLine();

        Ttp6606& link = links.Create(i);
        if (com < 1 || com > 4) return -1;
        link.SetComIndex(com - 1);
        link.SetBoardNumber(i);
        link.SetSpeed(speed);
        link.OpenLink(true);
        if (!link.IsOpen()) {
            link.ErrorText = "COM " + std::to_string(com) + "  занят";
            return i;
        }
        link.ErrorText.clear();
        ++links.LinkCount;
    }
    return 0;
}

}  // namespace yukt
