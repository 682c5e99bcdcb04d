#pragma once
// Platform services of the link layer that the workstation replaces: the
// short beep on a broken line, and the wait that keeps windows responsive
// while a board settles.

#include <functional>

namespace yukt {

// Empty hook = default: no sound.
void SetBeepHook(std::function<void()> hook);
// Empty hook = default: a plain blocking sleep.
void SetWaitPumpHook(std::function<void(int ms)> hook);

void Beep();
void WaitPump(int ms);

}  // namespace yukt
