#pragma once
// Scratch directories and cfg files for the analog drivers' tests.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/cp1251.h"

namespace yukt::test {

// A fresh directory under the system's temporary directory, removed at the end.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "yukt-analog-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory with a trailing "/".
    std::string dir() const { return m_path + "/"; }
    std::string file(const std::string& name) const { return dir() + name; }

    void write(const std::string& name, const std::string& utf8) const {
        WriteTextFile(file(name), utf8);
    }
    std::string read(const std::string& name) const {
        std::string text;
        ReadTextFile(file(name), text);
        return text;
    }
    bool exists(const std::string& name) const { return FileExists(file(name)); }

  private:
    std::string m_path;
};

// Runs the rest of a test with the current directory changed.
class CurrentDirGuard {
  public:
    explicit CurrentDirGuard(const std::string& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirGuard() {
        std::error_code ec;
        std::filesystem::current_path(m_old, ec);
    }
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

  private:
    std::filesystem::path m_old;
};

}  // namespace yukt::test
