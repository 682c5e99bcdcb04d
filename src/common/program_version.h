#pragma once
// The version of the programs: `git describe` of the tree they were built
// from ("1.0+54.g0dca4d5"). Every program's --version shows it, the protocols
// print it as the program's identification, and the Debian package carries it.

namespace yukt {

const char* ProgramVersion();

// When some argument is --version: prints "PROGRAM VERSION" on standard
// output and returns true (the program then ends with exit code 0).
bool PrintVersionIfAsked(int argc, char** argv, const char* program);

}  // namespace yukt
