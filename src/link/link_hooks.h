#pragma once
// Platform services of the link layer that the workstation replaces: the
// short beep on a broken line, the wait that keeps windows responsive
// while a board settles, and the word that a COM line was lost or is back.

#include <functional>

namespace yukt {

// Empty hook = default: no sound.
void SetBeepHook(std::function<void()> hook);
// Empty hook = default: a plain blocking sleep.
void SetWaitPumpHook(std::function<void(int ms)> hook);

// Called in the thread doing the exchange, once when the line of COM
// `comNumber` is lost and once when it answers again. Empty = silence.
void SetLineStateHook(std::function<void(int comNumber, bool lost)> hook);

void Beep();
void WaitPump(int ms);
void LineStateChanged(int comNumber, bool lost);

}  // namespace yukt
