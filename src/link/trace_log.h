#pragma once
// The process's traffic trace file. Off unless StartTrace names a file or
// the environment variable YUKT_TRACE does (read at the first frame).
// Lines are appended to the file by a writer thread at least once a second
// and when the trace stops (at the latest at exit), so that an exchange
// never waits for the disk. A file that cannot be written is reported once
// on standard error and in TraceError(); the exchanges go on untraced.

#include <string>

#include "link/trace_format.h"

namespace yukt {

// Starts (or moves) the trace to `path`, appending. False when the file
// cannot be opened; TraceError() then says why.
bool StartTrace(const std::string& path);

// Writes what is buffered and closes the file.
void StopTrace();

// True while a trace file is open (reads YUKT_TRACE the first time).
bool TraceOn();

// Queues one line (without its line end).
void TraceWrite(std::string line);

// Names a line's settings. The file's first line (written with the first
// line queued after StartTrace) carries the program, its version and every
// line named so far; a line named later, or whose settings change, gets a
// settings note. Unchanged settings cost a look-up.
void TraceNameLine(const TraceLineSettings& settings);

// The one error of the trace file, empty when none.
std::string TraceError();

}  // namespace yukt
