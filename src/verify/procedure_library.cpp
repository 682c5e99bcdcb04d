#include "verify/procedure_library.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/system_error.h"

namespace yukt::verify {

namespace fs = std::filesystem;

namespace {

// The *.toml files of a folder, sorted; reading stops at the first error,
// which is reported, never thrown.
std::vector<std::string> tomlFiles(const std::string& dir, std::error_code& ec) {
    std::vector<std::string> files;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".toml") files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string UserMethodologyDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/poverka/methodologies";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share/poverka/methodologies";
}

std::string ShippedMethodologyDir() {
    std::error_code ec;
    if (fs::is_directory(YUKT_INSTALLED_METHODOLOGIES, ec)) return YUKT_INSTALLED_METHODOLOGIES;
    return YUKT_SOURCE_METHODOLOGIES;
}

std::string EnsureUserMethodologies(const std::string& user, const std::string& shipped,
                                    std::string& error) {
    std::error_code ec;
    if (fs::is_directory(user, ec)) return user;
    fs::create_directories(user, ec);
    if (ec) {
        error = user + ": " + SystemErrorText(ec.value());
        return "";
    }
    const std::vector<std::string> files = tomlFiles(shipped, ec);
    if (ec) {
        error = shipped + ": " + SystemErrorText(ec.value());
        return "";
    }
    for (const std::string& f : files) {
        fs::copy_file(f, fs::path(user) / fs::path(f).filename(), fs::copy_options::skip_existing,
                      ec);
        if (ec) {
            error = f + ": " + SystemErrorText(ec.value());
            return "";
        }
    }
    return user;
}

std::vector<MethodologyChoice> MethodologiesFor(const std::string& dir, const std::string& model,
                                                std::vector<ProcedureError>& mistakes) {
    std::error_code ec;
    const std::vector<std::string> files = tomlFiles(dir, ec);
    if (ec) mistakes.push_back({dir, 0, "", SystemErrorText(ec.value())});
    std::vector<MethodologyChoice> out;
    for (const std::string& f : files) {
        ProcedureError e;
        std::optional<Methodology> m = LoadMethodology(f, e);
        if (!m) {
            mistakes.push_back(e);
            continue;
        }
        if (std::find(m->models.begin(), m->models.end(), model) != m->models.end())
            out.push_back({f, std::move(*m)});
    }
    return out;
}

std::string UserProcedureDir() { return UserMethodologyDir(); }
std::string ShippedProcedureDir() { return ShippedMethodologyDir(); }
std::string EnsureUserProcedures(const std::string& user, const std::string& shipped,
                                 std::string& error) {
    return EnsureUserMethodologies(user, shipped, error);
}

std::vector<ProcedureChoice> ProceduresFor(const std::string& dir, int kind, int item,
                                           std::vector<ProcedureError>& mistakes) {
    std::vector<ProcedureChoice> out;
    for (const MethodologyChoice& c : MethodologiesFor(dir, ModelCodeOfKind(kind), mistakes)) {
        const Methodology& m = c.methodology;
        for (const Operation& op : m.operations) {
            if (op.kind != OperationKind::Error) continue;
            const int channel = ChannelOfItem(op.quantity, kind, item);
            if (channel == 0 ||
                std::find(op.channels.begin(), op.channels.end(), channel) == op.channels.end())
                continue;
            const ChannelSpec spec = SpecOf(m, op, channel);
            const Tolerance& t = *spec.tolerance;
            if (t.kind == ToleranceKind::AbsRel) continue;  // a procedure has no such limit
            Procedure p;
            p.file = c.path;
            p.title = m.title + ": " + op.title + ", канал " + std::to_string(channel);
            p.doc = m.id;
            p.kinds = {kind};
            p.channel = item;
            p.quantity = op.quantity;
            p.points = spec.points;
            p.errorKind = t.kind == ToleranceKind::Rel       ? ErrorKind::Rel
                          : t.kind == ToleranceKind::Reduced ? ErrorKind::Reduced
                                                             : ErrorKind::Abs;
            p.limit = t.a;
            p.range = t.spanHigh - t.spanLow;
            p.frequencyHz = op.frequencyHz;
            p.safeValue = op.safeValue;
            p.settling = m.settlings.at(op.settling);
            out.push_back({c.path, std::move(p)});
        }
    }
    return out;
}

}  // namespace yukt::verify
