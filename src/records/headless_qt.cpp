#include "records/headless_qt.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>
#include <cstdlib>
#include <string>

namespace yukt::records {

void PrepareHeadlessQt() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const uid_t uid = ::getuid();
    const std::string dir = "/tmp/yukt-runtime-" + std::to_string(uid);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
    struct stat st {};
    // Never a link or another's directory; our own is closed to others.
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid) return;
    if ((st.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return;
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

}  // namespace yukt::records
