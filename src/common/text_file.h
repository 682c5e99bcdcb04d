#pragma once
// Reading the program's text files safely: a path is opened only when it names
// a regular file (a directory, FIFO, device or socket is refused without
// blocking on it), the size and every line are bounded, and nothing throws.
// Failures come back as a reason the operator can read, next to the file name.

#include <cstddef>
#include <string>

namespace yukt {

// Longest line accepted in any text file the program reads.
constexpr std::size_t kMaxTextLine = 64 * 1024;
// Largest text file read whole.
constexpr std::size_t kMaxTextFile = 16 * 1024 * 1024;

struct FileFailure {
    bool missing = false;  // the path does not exist (often not an error)
    int line = 0;          // 1-based line the failure is on; 0 for the file
    std::string reason;    // "это каталог", "нет доступа", ...

    explicit operator bool() const { return !reason.empty(); }
    // "/cfg/tp6606.cfg: это каталог", "tp745t.cfg, строка 3: строка длиннее ..."
    std::string MessageFor(const std::string& file) const;
};

// Reads the raw bytes of the regular file `path` (at most `maxBytes`, no line
// longer than kMaxTextLine). False with `failure` filled otherwise; a line
// that is too long is reported by number without being kept in memory.
bool ReadRegularFile(const std::string& path, std::string& bytes, FileFailure& failure,
                     std::size_t maxBytes = kMaxTextFile);

// Checks that `path` can be written as a text file: missing, or a regular
// file. False with a reason for a directory, FIFO, device or socket.
bool WritableTextPath(const std::string& path, FileFailure& failure);

// What a stat mode is, for reasons: "это каталог", "это именованный канал
// (FIFO)", "это устройство", "это сокет"; empty for a regular file.
std::string FileKindReason(unsigned mode);

// A token of input echoed in a message: cut to `maxChars` characters then
// "…", control bytes and invalid UTF-8 shown escaped ("\x01", "\n").
std::string EchoToken(const std::string& token, std::size_t maxChars = 40);

}  // namespace yukt
