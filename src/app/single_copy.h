#pragma once
// One workstation per working directory: two copies would share (and delete)
// each other's configuration files and FLASH journal. The lock is a file in
// the working directory; the lock of a copy that crashed is taken over.

#include <QLockFile>
#include <QString>
#include <memory>
#include <string>

namespace yukt {

// The held lock, or null with the operator's text in `busyText` (who holds
// the directory: process, computer, directory).
std::unique_ptr<QLockFile> LockWorkDir(const std::string& dir, QString& busyText);

// File name of the lock inside the working directory.
extern const char* const kWorkDirLockName;

}  // namespace yukt
