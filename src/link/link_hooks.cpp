#include "link/link_hooks.h"

#include <mutex>

#include "common/text.h"

namespace yukt {

namespace {

struct Hooks {
    std::mutex mutex;
    std::function<void()> beep;
    std::function<void(int)> waitPump;
    std::function<void(int, bool)> lineState;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

}  // namespace

void SetBeepHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().beep = std::move(hook);
}

void SetWaitPumpHook(std::function<void(int ms)> hook) {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().waitPump = std::move(hook);
}

void SetLineStateHook(std::function<void(int comNumber, bool lost)> hook) {
    std::lock_guard<std::mutex> lock(hooks().mutex);
    hooks().lineState = std::move(hook);
}

void LineStateChanged(int comNumber, bool lost) {
    std::function<void(int, bool)> hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().lineState;
    }
    if (hook) hook(comNumber, lost);
}

void Beep() {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().beep;
    }
    if (hook) hook();
}

void WaitPump(int ms) {
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().waitPump;
    }
    if (hook)
        hook(ms);
    else if (ms > 0)
        WaitMs(static_cast<unsigned>(ms));
}

}  // namespace yukt
