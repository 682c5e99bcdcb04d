// yukt-verify as the operator calls it. The verification program proper,
// yukt-verify-run, spends its first milliseconds in the dynamic loader
// (mapping and relocating Qt), where a signal still has its default action
// and a Ctrl-C would kill it without a word. This program is linked
// statically and has no such time: its first act, before main and before
// any initialiser, blocks SIGINT, SIGTERM, SIGHUP and SIGQUIT; then it becomes
// yukt-verify-run, which inherits the blocked mask and any signal already
// pending, and answers the stop with the verdict "прервано" (exit 4).

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/system_error.h"

namespace {

void blockStopSignals(int, char**, char**) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigaddset(&stop, SIGQUIT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
}

// Run by the C library's start-up ahead of every constructor and of main.
__attribute__((section(".preinit_array"),
               used)) void (*const kBlockFirst)(int, char**, char**) = blockStopSignals;

}  // namespace

int main(int, char** argv) {
    // Beside this program in the build tree, in libexec once installed.
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        if (char* slash = strrchr(self, '/')) *slash = '\0';
    } else {
        strcpy(self, ".");
    }
    char path[PATH_MAX + 64];
    int error = ENOENT;
    for (const char* where : {"/yukt-verify-run", "/" YUKT_RUN_FROM_BINDIR}) {
        snprintf(path, sizeof path, "%s%s", self, where);
        ::execv(path, argv);
        if (errno != ENOENT || error == ENOENT) error = errno;
    }
    fprintf(stderr, "yukt-verify: не запускается программа поверки %s: %s\n", path,
            yukt::SystemErrorText(error).c_str());
    return 2;
}
