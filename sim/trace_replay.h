#pragma once
// yukt-bench --replay: plays the device side of a recorded trace.
//
//   yukt-bench --replay TRACE [--speed X | --as-fast-as-possible] [--slack N]
//              [--line COM1] [--linger S] (LINK | --tcp [HOST:]PORT)
//
// Each request must equal the recorded one byte for byte; the recorded
// replies follow after their recorded delays divided by X, never sooner
// than the bytes take on the wire at the recorded baud rate (unless as fast
// as possible). Exit codes: 0 every request matched and the recording was
// played to its end, 2 arguments or a trace that does not read, 3 a request
// that differs from the recorded one, 4 a request after the end of the
// recording, 5 the program went quiet (or the replay was stopped) before
// the end, 1 the line could not be opened.

#include <atomic>
#include <string>

namespace yukt::sim {

// True when the arguments ask for a replay.
bool ReplayAsked(int argc, char** argv);

int ReplayMain(int argc, char** argv, const std::atomic<bool>& stop);

}  // namespace yukt::sim
