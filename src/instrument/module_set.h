#pragma once
// The module set: the link table and one driver table per model, opened from
// the configuration directory, polled model by model, closed again. The
// process holds one (TheModuleSet); tests make their own.
//
// Models, in the order of opening, polling and command dispatch:
// 745x 745b 745t 735x 735r 735t 735d 735v 746x 747x 748x 748t 765x 795b
// 787x 787d 788x 788t 788v.

#include <functional>
#include <memory>
#include <string>

#include "modules/module_context.h"

namespace yukt {

struct ModelTables;

class ModuleSet {
  public:
    ModuleSet();
    ~ModuleSet();
    ModuleSet(const ModuleSet&) = delete;
    ModuleSet& operator=(const ModuleSet&) = delete;

    ModuleContext& Context() { return m_ctx; }
    const ModuleContext& Context() const { return m_ctx; }
    ModelTables& Tables() { return *m_tables; }

    // The component's side of the command path; empty hooks do nothing.
    // TakeCommandHook serves the component's pending command (if any);
    // EndOfCycleHook ends every poll cycle.
    std::function<void()> TakeCommandHook;
    std::function<void()> EndOfCycleHook;

    // The configuration directory as the user wrote it; "\" is read as "/"
    // when files are opened.
    void SetPathCfg(const std::string& path);
    const std::string& PathCfg() const { return m_pathCfg; }
    // PathCfg is one of the sample directories (compared as written).
    bool InSampleDir() const;

    // Reads the link and module configuration and builds the link and
    // driver objects. A set still open is closed first. LinksReady (in the
    // link table) is false afterwards when tp6606.cfg is missing: the
    // instrument must not start. Stops the program through Fatal() on a
    // fatal configuration error.
    void OpenModuleSet();
    bool LinksReady() const;
    // One full poll cycle over every model, then EndOfCycleHook.
    void WorkCycle();
    // TakeCommandHook once per module routed to the component (Link 23),
    // model by model.
    void ServeCommands();
    // Releases every driver object and link.
    void CloseModuleSet();
    // Some driver object or link exists.
    bool HoldsObjects() const;
    // Some module routes its results to the component (Link 23): without
    // one, pending commands are never served.
    bool AnyReplyModule() const;

    // Re-reads the configuration line of module `number` of `model` (lower
    // case): 0 when it was found and the module is present; -1 otherwise and
    // for a model without re-initialisation.
    int ReloadModule(const std::string& model, int number);

  private:
    ModuleContext m_ctx;
    std::unique_ptr<ModelTables> m_tables;
    std::string m_pathCfg = "./";
};

// The process's module set, wired to the instrument component's hooks.
ModuleSet& TheModuleSet();

// Executes one command line against the set (see command.h).
void ExecCommand(ModuleSet& set, const std::string& line);

}  // namespace yukt
