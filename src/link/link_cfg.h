#pragma once
// The link configuration files tp6606.cfg (boards) and tpCom.cfg (COM ports)
// in the configuration directory, and the board line usage gathered from the
// module configuration files.

#include <string>

#include "common/cfg_reader.h"
#include "common/console_line.h"
#include "link/link_table.h"

namespace yukt {

// A configuration error that must stop the program (bad board number,
// malformed number): `err` says file, line and what.
constexpr int kLinkCfgFatal = -100;

// Boards: 0, the table index of a board that did not open, or kLinkCfgFatal.
// A missing tp6606.cfg clears LinksReady.
int ReadLinkCfg(LinkTable& links, const std::string& pathCfg, ConsoleLineBuffer& console,
                CfgError* err);
// COM ports into the free entries: 0, -1 (COM number outside 1..4), the
// table index of a port that did not open, or kLinkCfgFatal.
int ReadComCfg(LinkTable& links, const std::string& pathCfg, CfgError* err);

// Write the commented default file when it is missing and pathCfg is a
// sample directory.
void EnsureLinkCfg(const std::string& pathCfg);
void EnsureComCfg(const std::string& pathCfg);

// LineUse from the module configuration files; false (err set) on a
// malformed number.
bool FillLineUse(LinkTable& links, const std::string& pathCfg, CfgError* err);

// "./smplcfg/", "smplcfg/", ".\smplcfg\" or "smplcfg\".
bool InSampleDir(const std::string& pathCfg);

}  // namespace yukt
