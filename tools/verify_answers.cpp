#include "verify_answers.h"

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

std::pair<Answer, std::string> AnswerOf(const Confirmations& c, const Question& q, bool terminal) {
    if (c.all) return {Answer::Yes, ""};
    if (const auto it = c.byOperation.find(q.operation); it != c.byOperation.end()) return it->second;
    if (!terminal) return {Answer::NotDone, ""};
    std::cerr << q.operation << " " << q.text
              << (q.item ? " — соответствует? [да/нет ЗАМЕЧАНИЕ, пусто: не выполнена] "
                         : " — подключено? [да/нет] ")
              << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return {Answer::NotDone, ""};
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string remark = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "да" || word == "д" || word == "y" || word == "yes") return {Answer::Yes, remark};
    if (word == "нет" || word == "н" || word == "n" || word == "no") return {Answer::No, remark};
    return {Answer::NotDone, ""};
}

}  // namespace yukt::verify
