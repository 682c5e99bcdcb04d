#include "common/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/system_error.h"

namespace yukt {

namespace {

std::string errnoReason(int err) {
    switch (err) {
        case ENOENT:
            return "файл не найден";
        default:
            return SystemErrorText(err);
    }
}

FileFailure failWith(int err) {
    FileFailure f;
    f.missing = err == ENOENT || err == ENOTDIR;
    f.reason = errnoReason(err);
    return f;
}

// Closes the descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string FileFailure::MessageFor(const std::string& file) const {
    std::string where = file;
    if (line > 0) where += ", строка " + std::to_string(line);
    return where + ": " + reason;
}

std::string FileKindReason(unsigned mode) {
    if (S_ISREG(mode)) return "";
    if (S_ISDIR(mode)) return "это каталог";
    if (S_ISFIFO(mode)) return "это именованный канал (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "это устройство";
    if (S_ISSOCK(mode)) return "это сокет";
    return "это не обычный файл";
}

bool ReadRegularFile(const std::string& path, std::string& bytes, FileFailure& failure,
                     std::size_t maxBytes) {
    failure = FileFailure{};
    bytes.clear();
    struct stat st {};
    // Looked at before opening: opening a FIFO or a terminal has effects.
    if (::stat(path.c_str(), &st) != 0) {
        failure = failWith(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        failure.reason = FileKindReason(st.st_mode);
        return false;
    }
    // O_NONBLOCK: should the path have become a FIFO since, open returns
    // at once and fstat refuses it.
    Fd file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        failure = failWith(errno);
        return false;
    }
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure.reason = FileKindReason(st.st_mode);
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        failure.reason = "файл больше " + std::to_string(maxBytes / 1024) + " КиБ";
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[16384];
    std::size_t lineLength = 0;
    int line = 1;
    for (;;) {
        ssize_t n = ::read(file.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failure = failWith(errno);
            bytes.clear();
            return false;
        }
        if (n == 0) return true;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                ++line;
                lineLength = 0;
            } else if (++lineLength > kMaxTextLine) {
                failure.line = line;
                failure.reason = "строка длиннее " + std::to_string(kMaxTextLine) + " байт";
                bytes.clear();
                bytes.shrink_to_fit();
                return false;
            }
        }
        // The file may grow while it is read.
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            failure.reason = "файл больше " + std::to_string(maxBytes / 1024) + " КиБ";
            bytes.clear();
            return false;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
}

bool WritableTextPath(const std::string& path, FileFailure& failure) {
    failure = FileFailure{};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        failure = failWith(errno);
        return false;
    }
    failure.reason = FileKindReason(st.st_mode);
    return failure.reason.empty();
}

std::string EchoToken(const std::string& token, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    std::size_t i = 0;
    while (i < token.size()) {
        if (chars == maxChars) return out + "…";
        const unsigned char c = static_cast<unsigned char>(token[i]);
        // Length of a well-formed UTF-8 sequence starting here, 0 if none.
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        if (len > 1 && (c == 0xC0 || c == 0xC1 || c > 0xF4)) len = 0;
        for (std::size_t k = 1; k < len; ++k)
            if (i + k >= token.size() || (static_cast<unsigned char>(token[i + k]) & 0xC0) != 0x80)
                len = 0;
        if (len == 1 && (c < 0x20 || c == 0x7F)) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c == '\t')
                out += "\\t";
            else
                len = 0;
        } else if (len > 0) {
            out.append(token, i, len);
        }
        if (len == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
            len = 1;
        }
        i += len;
        ++chars;
    }
    return out;
}

}  // namespace yukt
