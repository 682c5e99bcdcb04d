#pragma once
// What the driver objects of one module set share: the link table, the
// configuration directory, where result lines go. The module set owns one;
// tests make their own.

#include <functional>
#include <string>

#include "common/console_line.h"
#include "link/link_table.h"

namespace yukt {

struct ModuleContext {
    LinkTable Links;
    // Directory of the tpNNNN.cfg files; ends in "/".
    std::string PathCfg = "./";
    // Directory of the tpNNNN.dat files: the process's current directory
    // unless a caller (tests, tools) points it elsewhere. Ends in "/" or is empty.
    std::string DataDir;
    // Directory of the 32-channel RTD module's site files g1.cfg and corr1.cfg.
    std::string SiteDir = "/etc/yukt/";
    // The drivers' console line (nothing displays it; kept for tests and tools).
    ConsoleLineBuffer Console;
    // Hands a component-form result line to the instrument component
    // (stores it in sGet and fires OnGet). Empty: the line is dropped.
    std::function<void(const std::string&)> PublishReply;
};

}  // namespace yukt
