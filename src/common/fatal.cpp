#include "common/fatal.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace yukt {

namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

FatalHandler& installedHandler() {
    static FatalHandler h;
    return h;
}

}  // namespace

void SetFatalHandler(FatalHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex());
    installedHandler() = std::move(handler);
}

void Fatal(const std::string& reason) {
    FatalHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex());
        handler = installedHandler();
    }
    if (handler)
        handler(reason);
    else
        std::fprintf(stderr, "%s\n", reason.c_str());
    // Other threads may still be running: leave without running static
    // destructors under their feet. Files are closed after every write.
    std::fflush(nullptr);
    std::_Exit(1);
}

}  // namespace yukt
