#pragma once
// Where procedures live: the shipped ones under share/poverka/procedures of
// the installation, the laboratory's own in the user's folder
// ($XDG_DATA_HOME/poverka/procedures, else ~/.local/share/poverka/procedures).
// On first use the shipped files are copied into the user's folder, where the
// metrologist edits them; the copies are never overwritten afterwards.

#include <string>
#include <vector>

#include "verify/procedure.h"

namespace yukt::verify {

// The user's folder (not created).
std::string UserProcedureDir();
// The shipped procedures: the installed folder, or the source tree's for a
// program run from its build directory.
std::string ShippedProcedureDir();

// Creates the user's folder and fills it from `shipped` when it does not
// exist yet; returns the user's folder, or "" (with `error`) on failure.
std::string EnsureUserProcedures(const std::string& user, const std::string& shipped,
                                 std::string& error);

struct ProcedureChoice {
    std::string path;
    Procedure procedure;
};

// The procedures of `dir` that fit a module kind and channel item, sorted by
// file name; files with mistakes are left out and reported in `mistakes`.
std::vector<ProcedureChoice> ProceduresFor(const std::string& dir, int kind, int channel,
                                           std::vector<ProcedureError>& mistakes);

}  // namespace yukt::verify
