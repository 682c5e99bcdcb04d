// yukt-verify's answers to the run's questions: from --confirm, else from
// the terminal when stdin is one, else "not done".
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "verify/point_result.h"

namespace yukt::verify {

struct Confirmations {
    bool all = false;  // --confirm all
    // --confirm ID=yes | ID=no[:remark]; a per-channel operation's id also
    // answers its connection prompts.
    std::map<std::string, std::pair<Answer, std::string>> byOperation;
};

// Takes one --confirm value; false when it is none of the forms.
bool ParseConfirm(const std::string& value, Confirmations& c);

// The answer to a question; asks on the terminal (stderr, stdin) when
// `terminal` and --confirm has none. The question waits on stdin and on
// `stopFd` (-1: none) together: once `stopFd` is readable (a stop signal)
// it gives up at once, "not done".
std::pair<Answer, std::string> AnswerOf(const Confirmations& c, const Question& q, bool terminal,
                                        int stopFd = -1);

// One line from `fd` without its end, waiting on `stopFd` as well; nothing
// at the end of input or once `stopFd` is readable.
std::optional<std::string> ReadAnswerLine(int fd, int stopFd);

}  // namespace yukt::verify
