#pragma once
// The command line of the workstation and the directory it keeps its
// generated configuration files in.
//
//   poverka [ZirokReInit Left Top Meter Port Quartz] [--workdir[=DIR]]
//           [--trace FILE]
//
// The working directory is the program file's directory when it is writable
// (the lab's installation); otherwise, and with a bare --workdir, a per-user
// directory; --workdir=DIR names one. A restarted instance is told the same
// directory, so it finds the files of the instance before it.

#include <QString>
#include <QStringList>
#include <string>

namespace yukt {

struct StartOptions {
    // Arguments 1.. without the program name and without options.
    QStringList Arguments;
    // Ends in "/".
    std::string ProgramDir;
    // The directory differs from the program file's; the restart passes it on.
    bool WorkDirOption = false;
    // --trace FILE (or --trace=FILE): the traffic trace file; empty = none.
    std::string TraceFile;
};

// `arguments` as QCoreApplication gives them (program name first).
StartOptions ParseStartOptions(const QStringList& arguments, const QString& programFileDir);

// The per-user working directory (created when missing), ending in "/".
std::string PerUserWorkDir();

// The option that hands the working directory to a restarted instance.
QString WorkDirArgument(const std::string& dir);

}  // namespace yukt
