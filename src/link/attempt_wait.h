#pragma once
// The waits between the attempts of one exchange. A line fault lasting a
// second or three (a device server that reconnects, a cable moved) would
// burn back-to-back attempts within a second; spread over a few seconds,
// the last attempt comes after the fault has gone. The spread is
// process-wide and read at each exchange; a stop cuts every wait at once.

#include <chrono>

namespace yukt {

// The last attempt of an exchange starts this long after the first; the
// others evenly between (0: back to back, the default). Also ends a cut.
void SetAttemptSpread(std::chrono::milliseconds spread);
std::chrono::milliseconds AttemptSpread();
// Ends every wait between attempts now, and lets none begin, until the next
// SetAttemptSpread: the attempts left go back to back.
void CutAttemptWaits();
// Blocks until `due` or a cut; false when cut.
bool WaitForAttempt(std::chrono::steady_clock::time_point due);

}  // namespace yukt
