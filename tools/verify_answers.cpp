#include "verify_answers.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace yukt::verify {

bool ParseConfirm(const std::string& value, Confirmations& c) {
    if (value == "all") return c.all = true;
    const std::size_t eq = value.find('=');
    if (eq == 0 || eq == std::string::npos) return false;
    const std::string id = value.substr(0, eq), answer = value.substr(eq + 1);
    if (answer == "yes") {
        c.byOperation[id] = {Answer::Yes, ""};
        return true;
    }
    if (answer == "no" || answer.rfind("no:", 0) == 0) {
        c.byOperation[id] = {Answer::No, answer.size() > 3 ? answer.substr(3) : ""};
        return true;
    }
    return false;
}

std::optional<std::string> ReadAnswerLine(int fd, int stopFd) {
    std::string line;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (stopFd >= 0 && fds[1].revents != 0) return std::nullopt;
        if (fds[0].revents == 0) continue;
        char ch = 0;
        const ssize_t got = ::read(fd, &ch, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (ch == '\n') return line;
        line += ch;
    }
}

std::pair<Answer, std::string> AnswerOf(const Confirmations& c, const Question& q, bool terminal,
                                        int stopFd) {
    if (c.all) return {Answer::Yes, ""};
    if (const auto it = c.byOperation.find(q.operation); it != c.byOperation.end()) return it->second;
    if (!terminal) return {Answer::NotDone, ""};
    std::cerr << q.operation << " " << q.text
              << (q.item ? " — соответствует? [да/нет ЗАМЕЧАНИЕ, пусто: не выполнена] "
                         : " — подключено? [да/нет] ")
              << std::flush;
    // Never a blocking read on the run's thread: a stop ends the question.
    const std::optional<std::string> read = ReadAnswerLine(STDIN_FILENO, stopFd);
    if (!read) {
        std::cerr << '\n';
        return {Answer::NotDone, ""};
    }
    const std::string& line = *read;
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string remark = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "да" || word == "д" || word == "y" || word == "yes") return {Answer::Yes, remark};
    if (word == "нет" || word == "н" || word == "n" || word == "no") return {Answer::No, remark};
    return {Answer::NotDone, ""};
}

}  // namespace yukt::verify
