#include "verify/procedure_library.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace yukt::verify {

namespace fs = std::filesystem;

std::string UserProcedureDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/poverka/procedures";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share/poverka/procedures";
}

std::string ShippedProcedureDir() {
    std::error_code ec;
    if (fs::is_directory(YUKT_INSTALLED_PROCEDURES, ec)) return YUKT_INSTALLED_PROCEDURES;
    return YUKT_SOURCE_PROCEDURES;
}

std::string EnsureUserProcedures(const std::string& user, const std::string& shipped,
                                 std::string& error) {
    std::error_code ec;
    if (fs::is_directory(user, ec)) return user;
    fs::create_directories(user, ec);
    if (ec) {
        error = user + ": " + ec.message();
        return "";
    }
    for (const auto& entry : fs::directory_iterator(shipped, ec)) {
        if (entry.path().extension() != ".toml" || !entry.is_regular_file()) continue;
        fs::copy_file(entry.path(), fs::path(user) / entry.path().filename(),
                      fs::copy_options::skip_existing, ec);
        if (ec) {
            error = entry.path().string() + ": " + ec.message();
            return "";
        }
    }
    if (ec) error = shipped + ": " + ec.message();
    return ec ? "" : user;
}

std::vector<ProcedureChoice> ProceduresFor(const std::string& dir, int kind, int channel,
                                           std::vector<ProcedureError>& mistakes) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().extension() == ".toml") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::vector<ProcedureChoice> out;
    for (const std::string& f : files) {
        ProcedureError e;
        std::optional<Procedure> p = LoadProcedure(f, e);
        if (!p) {
            mistakes.push_back(e);
            continue;
        }
        if (p->channel == channel &&
            std::find(p->kinds.begin(), p->kinds.end(), kind) != p->kinds.end())
            out.push_back({f, std::move(*p)});
    }
    return out;
}

}  // namespace yukt::verify
