// yukt-records commands that read the journal for people: a module's history,
// the laboratory's statistics and a static report for a browser. Each parses
// its own options, so the other commands' parser stays as it is.
//   yukt-records history --serial S [--model M] [--json | --csv] [--db URL]
//   yukt-records stats [--model M] [--from D] [--to D] [--station HOST] [--json | --csv]
//   yukt-records report --html DIR [--from D] [--to D] [--force] [--db URL]
#pragma once

#include <QStringList>

namespace yukt::records {

// True when `argv` names `command` as its first word.
bool IsCommand(int argc, char* argv[], const char* command);

// history: 0 shown, 3 no record of that serial, 1 database, 2 arguments.
int HistoryCommand(int argc, char* argv[]);
// stats: 0 shown (an empty range too), 1 database, 2 arguments (a range backwards).
int StatsCommand(int argc, char* argv[]);
// report: 0 written, 1 database or file, 2 arguments or a folder not empty.
int ReportCommand(int argc, char* argv[]);

}  // namespace yukt::records
