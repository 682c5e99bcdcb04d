#include "common/warning.h"

#include <cstdio>
#include <mutex>

namespace yukt {

namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}

WarningHandler& installedHandler() {
    static WarningHandler h;
    return h;
}

}  // namespace

void SetWarningHandler(WarningHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex());
    installedHandler() = std::move(handler);
}

void Warn(const std::string& text) {
    WarningHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex());
        handler = installedHandler();
    }
    if (handler) {
        handler(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace yukt
