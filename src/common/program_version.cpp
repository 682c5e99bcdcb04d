#include "common/program_version.h"

#include <cstdio>
#include <cstring>

#include "yukt_version.h"

namespace yukt {

const char* ProgramVersion() { return YUKT_PROGRAM_VERSION; }

bool PrintVersionIfAsked(int argc, char** argv, const char* program) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, ProgramVersion());
            return true;
        }
    }
    return false;
}

}  // namespace yukt
