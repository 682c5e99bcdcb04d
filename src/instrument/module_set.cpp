#include "instrument/module_set.h"

#include <string>

#include "common/fatal.h"
#include "instrument/cprbr.h"
#include "instrument/link_route.h"
#include "instrument/model_tables.h"
#include "link/link_cfg.h"

namespace yukt {

namespace {

// The directory as files are opened: backslashes read as "/".
std::string fileDirectory(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string cfgName(std::string_view code) { return "tp" + std::string(code) + ".cfg"; }

// A module whose place on its link is out of range cannot be polled: the
// configuration is broken and the program stops.
void checkPlace(std::string_view code, const Ttp7xxx& m, bool checkAddr) {
    std::string what;
    if (m.Port() < 1 || m.Port() > 4)
        what = "Port " + std::to_string(m.Port()) + " вне 1..4";
    else if (m.Line() < 1 || m.Line() > 4)
        what = "Line " + std::to_string(m.Line()) + " вне 1..4";
    else if (checkAddr && m.Addr() < 1)
        what = "Адрес " + std::to_string(m.Addr()) + " меньше 1";
    if (!what.empty())
        Fatal(cfgName(code) + ": модуль номер " + std::to_string(m.Number()) + ": " + what);
}

template <class Table>
void selectLines(Table& table, const CycleSteps& steps, LinkTable& links) {
    table.ForEach([&](auto& m) {
        if (!(steps.SelectConfigured ? m.Configured() : m.Present())) return;
        checkPlace(Table::Code(), m, true);
        // A module whose board or port is not in the table has nothing to
        // select; its exchanges are refused by the driver.
        Ttp6606* link = links.Entry(m.Port());
        if (link == nullptr) return;
        link->SetLine(m.Line());
        link->SetAddr(m.Addr());
    });
}

template <class Table>
void serveModel(Table& table, const std::function<void()>& takeCommand) {
    table.ForEach([&](auto& m) {
        if (m.Link() == kLinkReply && takeCommand) takeCommand();
    });
}

}  // namespace

ModuleSet::ModuleSet() : m_tables(std::make_unique<ModelTables>(m_ctx)) {}

ModuleSet::~ModuleSet() { CloseModuleSet(); }

void ModuleSet::SetPathCfg(const std::string& path) {
    m_pathCfg = path;
    m_ctx.PathCfg = fileDirectory(path);
}

bool ModuleSet::InSampleDir() const {
    return m_pathCfg == ".\\smplcfg\\" || m_pathCfg == "smplcfg\\" || m_pathCfg == "./smplcfg/" ||
           m_pathCfg == "smplcfg/";
}

bool ModuleSet::LinksReady() const { return m_ctx.Links.LinksReady; }

void ModuleSet::OpenModuleSet() {
    // Opening again must not leave the old links holding their ports.
    if (HoldsObjects()) CloseModuleSet();
    LinkTable& links = m_ctx.Links;
    links.LinksReady = true;
    CfgError error;
    if (ReadLinkCfg(links, m_ctx.PathCfg, m_ctx.Console, &error) == kLinkCfgFatal)
        Fatal(error.message());
    const bool boardsRead = links.LinksReady;
    if (ReadComCfg(links, m_ctx.PathCfg, &error) == kLinkCfgFatal) Fatal(error.message());
    // Without tp6606.cfg the instrument does not start, whatever tpCom.cfg says.
    links.LinksReady = boardsRead;
    if (!boardsRead) return;

    ForEachModel(*m_tables, [&](auto& table, const CycleSteps&) {
        CfgError loadError;
        if (table.LoadCfg(&loadError) != 0) Fatal(loadError.message());
    });
    ForEachModel(*m_tables, [&](auto& table, const CycleSteps&) {
        bool checked = false;
        table.ForEach([&](auto& m) {
            if (checked || !m.Present()) return;
            checked = true;
            checkPlace(table.Code(), m, false);
        });
    });
}

void ModuleSet::WorkCycle() {
    LinkTable& links = m_ctx.Links;
    ForEachModel(*m_tables, [&](auto& table, const CycleSteps& steps) {
        selectLines(table, steps, links);
        if (steps.Dat) table.WriteDat();
        if (steps.Console) table.WriteConsole();
        if (steps.Link) WriteLink(table, links);
        if (steps.Reply) table.WriteReply();
        if (steps.ReadLink) ReadLink(table, *this);
        serveModel(table, TakeCommandHook);
    });
    if (EndOfCycleHook) EndOfCycleHook();
}

void ModuleSet::ServeCommands() {
    ForEachModel(*m_tables,
                 [&](auto& table, const CycleSteps&) { serveModel(table, TakeCommandHook); });
}

void ModuleSet::CloseModuleSet() {
    ModelTables& t = *m_tables;
    // The pulse generators on Link 21 leave their final lines behind.
    t.t788x.WriteDat();
    t.t788x.FreeAll();
    t.t788t.WriteDat();
    t.t788t.FreeAll();
    t.t788v.WriteDat();
    t.t788v.FreeAll();
    t.t787x.FreeAll();
    t.t787d.FreeAll();
    t.t765x.FreeAll();
    t.t795b.FreeAll();
    t.t748x.FreeAll();
    t.t748t.FreeAll();
    t.t747x.FreeAll();
    t.t746x.FreeAll();
    t.t735x.FreeAll();
    t.t735r.FreeAll();
    t.t735t.FreeAll();
    t.t735d.FreeAll();
    t.t735v.FreeAll();
    t.t745x.FreeAll();
    t.t745t.FreeAll();
    t.t745b.FreeAll();
    m_ctx.Links.CloseAll();
}

bool ModuleSet::HoldsObjects() const {
    bool any = false;
    ForEachModel(*m_tables,
                 [&](auto& table, const CycleSteps&) { any = any || table.ModuleCount() > 0; });
    for (int i = 1; i <= 4; ++i) any = any || m_ctx.Links.Entry(i) != nullptr;
    return any;
}

bool ModuleSet::AnyReplyModule() const {
    bool any = false;
    ForEachModel(*m_tables, [&](auto& table, const CycleSteps&) {
        table.ForEach([&](auto& m) { any = any || m.Link() == kLinkReply; });
    });
    return any;
}

int ModuleSet::ReloadModule(const std::string& model, int number) {
    ModelTables& t = *m_tables;
    // 745b, 735v and 795b have no re-initialisation.
    if (model == "745x") return t.t745x.ReloadModule(number);
    if (model == "745t") return t.t745t.ReloadModule(number);
    if (model == "746x") return t.t746x.ReloadModule(number);
    if (model == "747x") return t.t747x.ReloadModule(number);
    if (model == "748x") return t.t748x.ReloadModule(number);
    if (model == "748t") return t.t748t.ReloadModule(number);
    if (model == "735x") return t.t735x.ReloadModule(number);
    if (model == "735r") return t.t735r.ReloadModule(number);
    if (model == "735t") return t.t735t.ReloadModule(number);
    if (model == "735d") return t.t735d.ReloadModule(number);
    if (model == "787x") return t.t787x.ReloadModule(number);
    if (model == "787d") return t.t787d.ReloadModule(number);
    if (model == "765x") return t.t765x.ReloadModule(number);
    if (model == "788x") return t.t788x.ReloadModule(number);
    if (model == "788t") return t.t788t.ReloadModule(number);
    if (model == "788v") return t.t788v.ReloadModule(number);
    return -1;
}

ModuleSet& TheModuleSet() {
    // Never destroyed: components and their workers may outlive any static
    // object, and the process's exit releases the ports anyway.
    static ModuleSet* set = [] {
        auto* s = new ModuleSet;
        s->TakeCommandHook = [] { TakeCommand(); };
        s->EndOfCycleHook = [] { SignalEndOfCycle(); };
        s->Context().PublishReply = [](const std::string& line) { PublishReply(line); };
        return s;
    }();
    return *set;
}

}  // namespace yukt
