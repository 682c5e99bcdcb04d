#pragma once
// The per-model operations, written once for every model: reading the model's
// cfg file into driver objects, re-reading one module, the default file, and
// the result writers by Link route. A model supplies a traits struct:
//
//   struct Tp745tTraits {
//       using Driver = Ttp745t;
//       static constexpr std::string_view kCode = "745t";
//       // Lines of the commented default tpNNNN.cfg (without line ends).
//       static constexpr std::array<std::string_view, 4> kDefaultCfg = {...};
//       // Header of tpNNNN.dat and of the console block; empty: no header.
//       static constexpr std::string_view kDatHeader = ";Модуль номер ...";
//       // Optional: the console block's header where it differs from kDatHeader.
//       static constexpr std::string_view kConsoleHeader = ";Модуль Номер ...";
//       // Optional: false for a model whose settings change only by LoadCfg.
//       static constexpr bool kHasReload = false;
//       // The model's own cfg columns, read after Номер COM Link Адрес.
//       struct Columns { ... };
//       static bool ReadColumns(CfgReader& in, Columns& c);   // false: in.Error() says why
//       static void ApplyColumns(Driver& d, const Columns& c);
//       // Runs when a module is present after (re)loading; may do nothing.
//       static void StartUp(Driver& d);
//       // Measures the module (its read exchange) and builds its result line for
//       // the route, including the "Err 5" form when the exchange failed.
//       static std::string ResultLine(Driver& d, Route route);
//       // The line of a module that did not answer identification ("Err 4").
//       static std::string AbsentLine(const Driver& d, Route route);
//   };

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/cfg_reader.h"
#include "common/cp1251.h"
#include "common/warning.h"
#include "modules/tp7xxx.h"

namespace yukt {

// Where a result line goes (the Link column: 1..20, 21, 22, 23).
enum class Route { Link, Dat, Console, Reply };

constexpr int kMaxModules = 224;
constexpr int kLinkDat = 21;
constexpr int kLinkConsole = 22;
constexpr int kLinkReply = 23;

// The common cfg columns of every model.
struct BaseColumns {
    int Number = 0;
    int Com = 0;
    int Link = 0;
    int Addr = 0;
};

// Reads Номер COM Link Адрес; false when a number is malformed.
bool ReadBaseColumns(CfgReader& in, BaseColumns& c);
// Sets Com, Link, Number, Configured, Line, Addr, Port in this order.
void ApplyBaseColumns(Ttp7xxx& m, const BaseColumns& c);
// True when PathCfg is one of the sample directories.
bool PathIsSampleDir(const std::string& pathCfg);

// Why a line's model columns were refused (models whose Columns carry a
// `Refused` text); empty when they are usable.
template <class Columns>
const std::string& RefusedColumns(const Columns& c) {
    static const std::string kNone;
    if constexpr (requires { c.Refused; })
        return c.Refused;
    else
        return kNone;
}

template <class Traits>
class ModelTable {
public:
    using Driver = typename Traits::Driver;

    explicit ModelTable(ModuleContext& ctx) : m_ctx(&ctx) {}
    ModelTable(const ModelTable&) = delete;
    ModelTable& operator=(const ModelTable&) = delete;
    ~ModelTable() { m_modules.clear(); }

    static constexpr std::string_view Code() { return Traits::kCode; }
    static constexpr std::string_view ConsoleHeader() {
        if constexpr (requires { Traits::kConsoleHeader; })
            return Traits::kConsoleHeader;
        else
            return Traits::kDatHeader;
    }
    std::string CfgPath() const { return m_ctx->PathCfg + "tp" + std::string(Traits::kCode) + ".cfg"; }
    std::string DatPath() const { return m_ctx->DataDir + "tp" + std::string(Traits::kCode) + ".dat"; }

    int ModuleCount() const { return static_cast<int>(m_modules.size()); }
    // Entry i of Modules, 1-based; null outside 1..ModuleCount.
    Driver* Module(int i) const {
        return (i >= 1 && i <= ModuleCount()) ? m_modules[i - 1].get() : nullptr;
    }
    // The first present module with this Number (the one a "set" acts on).
    Driver* FirstPresent(int number) const {
        for (const auto& m : m_modules)
            if (m->Present() && m->Number() == number) return m.get();
        return nullptr;
    }
    template <class F>
    void ForEach(F&& f) const {
        for (const auto& m : m_modules) f(*m);
    }

    // Reads the cfg file and creates one identified driver per data line.
    // 0 on success; -1 when a line is malformed (error says file and line),
    // with the modules read so far kept and usable.
    int LoadCfg(CfgError* error = nullptr) {
        EnsureCfg();
        CfgReader in;
        if (!in.Open(CfgPath())) {
            // Missing: nothing configured. There but unreadable: an error.
            if (!in.Failed()) return 0;
            if (error) *error = in.Error();
            return -1;
        }
        for (int i = 1; i <= kMaxModules; ++i) {
            std::string code;
            if (!in.ReadWord(code)) break;
            BaseColumns base;
            typename Traits::Columns cols{};
            if (!ReadBaseColumns(in, base) || !Traits::ReadColumns(in, cols)) {
                if (error) *error = in.Error();
                return -1;
            }
            in.SkipLine();
            auto m = std::make_unique<Driver>(*m_ctx);
            ApplyBaseColumns(*m, base);
            // A refused line leaves the module at its default settings and
            // unprogrammed; the rest of the file is read on.
            const bool refused = !RefusedColumns(cols).empty();
            if (refused) warn(RefusedColumns(cols));
            Traits::ApplyColumns(*m, cols);
            m->Identify(true);
            if (m->Present()) {
                m->SetError(kErrOk);
                if (!refused) Traits::StartUp(*m);
                if constexpr (requires { m->SiteFailure(); }) {
                    if (const CfgError* failure = m->SiteFailure()) {
                        if (error) *error = *failure;
                        return -1;
                    }
                }
            } else {
                m->SetError(kErrNoAnswer);
            }
            m_modules.push_back(std::move(m));
        }
        return 0;
    }

    // Re-reads the line of the module numbered `number` and re-applies it
    // (no new identification). 0 when found and present, else -1.
    int ReloadModule(int number) {
        if constexpr (requires { Traits::kHasReload; }) {
            if (!Traits::kHasReload) return -1;
        }
        CfgReader in;
        if (!in.Open(CfgPath())) return -1;
        for (int i = 1; i <= kMaxModules; ++i) {
            std::string code;
            if (!in.ReadWord(code)) return -1;
            BaseColumns base;
            typename Traits::Columns cols{};
            if (!ReadBaseColumns(in, base) || !Traits::ReadColumns(in, cols)) return -1;
            in.SkipLine();
            if (base.Number != number) continue;
            Driver* m = Module(i);
            if (m == nullptr) return -1;
            if (!RefusedColumns(cols).empty()) {
                warn(RefusedColumns(cols));  // the module keeps its settings
                return -1;
            }
            ApplyBaseColumns(*m, base);
            Traits::ApplyColumns(*m, cols);
            if (!m->Present()) {
                m->SetError(kErrNoAnswer);
                return -1;
            }
            m->SetError(kErrOk);
            Traits::StartUp(*m);
            return 0;
        }
        return -1;
    }

    // A refused line: on the drivers' console line and through Warn.
    void warn(const std::string& text) {
        m_ctx->Console.ConsoleLine(text);
        Warn(text);
    }

    void EnsureCfg() {
        if (!FileExists(CfgPath()) && PathIsSampleDir(m_ctx->PathCfg)) WriteDefaultCfg();
    }

    void WriteDefaultCfg() {
        std::string text;
        for (std::string_view line : Traits::kDefaultCfg) {
            text += line;
            text += "\n";
        }
        AppendTextFile(CfgPath(), text);
    }

    bool AnyConfiguredWithLink(int lo, int hi) const {
        for (const auto& m : m_modules)
            if (m->Configured() && m->Link() >= lo && m->Link() <= hi) return true;
        return false;
    }

    // The result line of one module for a route: measured when present.
    std::string LineFor(Driver& m, Route route) const {
        return m.Present() ? Traits::ResultLine(m, route) : Traits::AbsentLine(m, route);
    }

    // Link 21: the results of the latest cycle replace tpNNNN.dat.
    void WriteDat() {
        if (!AnyConfiguredWithLink(kLinkDat, kLinkDat)) return;
        std::string text = "\n";
        if (!Traits::kDatHeader.empty()) {
            text += Traits::kDatHeader;
            text += "\n";
        }
        for (const auto& m : m_modules) {
            if (m->Link() != kLinkDat) continue;
            text += LineFor(*m, Route::Dat);
            text += "\n";
        }
        WriteTextFile(DatPath(), text);
    }

    // Link 22: the console line.
    void WriteConsole() {
        if (!AnyConfiguredWithLink(kLinkConsole, kLinkConsole)) return;
        ConsoleLineBuffer& console = m_ctx->Console;
        console.ConsoleLine("");
        if (!ConsoleHeader().empty()) console.ConsoleLine(std::string(ConsoleHeader()));
        for (const auto& m : m_modules)
            if (m->Link() == kLinkConsole) console.ConsoleLine(LineFor(*m, Route::Console));
    }

    // Link 23: one line per module to the instrument component.
    void WriteReply() {
        if (!AnyConfiguredWithLink(kLinkReply, kLinkReply)) return;
        for (const auto& m : m_modules) {
            if (m->Link() != kLinkReply) continue;
            std::string line = LineFor(*m, Route::Reply);
            // An empty line: the model has nothing to report in this cycle
            // (a flowmeter between its two polls).
            if (!line.empty() && m_ctx->PublishReply) m_ctx->PublishReply(line);
        }
    }

    // Releases every module; present ones are identified with Check false first.
    void FreeAll() {
        for (const auto& m : m_modules)
            if (m->Present()) m->Identify(false);
        m_modules.clear();
    }

private:
    ModuleContext* m_ctx;
    std::vector<std::unique_ptr<Driver>> m_modules;
};

}  // namespace yukt
