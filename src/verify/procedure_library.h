#pragma once
// Where methodologies live: the shipped ones under share/poverka/methodologies
// of the installation, the laboratory's own in the user's folder
// ($XDG_DATA_HOME/poverka/methodologies, else
// ~/.local/share/poverka/methodologies). On first use the shipped files are
// copied into the user's folder, where the metrologist edits them; the
// copies are never overwritten afterwards.

#include <string>
#include <vector>

#include "verify/methodology.h"
#include "verify/procedure.h"

namespace yukt::verify {

// The user's folder (not created).
std::string UserMethodologyDir();
// The shipped methodologies: the installed folder, or the source tree's for
// a program run from its build directory.
std::string ShippedMethodologyDir();

// Creates the user's folder and fills it from `shipped` when it does not
// exist yet; returns the user's folder, or "" (with `error`) on failure.
std::string EnsureUserMethodologies(const std::string& user, const std::string& shipped,
                                    std::string& error);

struct MethodologyChoice {
    std::string path;
    Methodology methodology;
};
// The methodologies of `dir` that apply to a model ("748t", "745t+748x"),
// sorted by file name; files with mistakes are left out and reported in
// `mistakes`. A folder that cannot be read is one mistake, never a throw.
std::vector<MethodologyChoice> MethodologiesFor(const std::string& dir, const std::string& model,
                                                std::vector<ProcedureError>& mistakes);

// The page's channel item as a single procedure, for the pages' own run:
// the error operations of the methodologies in `dir` that read that channel
// of the kind (abs, rel and reduced tolerances).
std::string UserProcedureDir();     // the methodologies' folder
std::string ShippedProcedureDir();  // the same
std::string EnsureUserProcedures(const std::string& user, const std::string& shipped,
                                 std::string& error);
struct ProcedureChoice {
    std::string path;
    Procedure procedure;
};
std::vector<ProcedureChoice> ProceduresFor(const std::string& dir, int kind, int channel,
                                           std::vector<ProcedureError>& mistakes);

}  // namespace yukt::verify
