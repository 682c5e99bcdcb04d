#include "app/flash_journal.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "common/cp1251.h"
#include "common/text.h"
#include "common/text_file.h"

namespace yukt {

const char* const kFlashJournalName = "poverka-flash.jrn";

namespace {

std::string pathIn(const std::string& dir) { return dir + kFlashJournalName; }

// A text kept on one line of the file.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

std::string numberText(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool parseNumber(const std::string& s, double& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

bool FlashJournal::IsFor(const std::string& ident, const std::string& designation) const {
    if (!Ident.empty()) return Ident == oneLine(ident);
    return Designation == designation;
}

bool WriteFlashJournal(const std::string& dir, const FlashJournal& j) {
    std::ostringstream out;
    out << "port " << j.CalibratorPort << "\r\n"
        << "address " << j.SavedAddress << "\r\n"
        << "address-changed " << (j.AddressChanged ? 1 : 0) << "\r\n"
        << "coef1-replaced " << (j.CoefReplaced[0] ? 1 : 0) << "\r\n"
        << "coef2-replaced " << (j.CoefReplaced[1] ? 1 : 0) << "\r\n"
        << "coef1 " << numberText(j.Coef[0]) << "\r\n"
        << "coef2 " << numberText(j.Coef[1]) << "\r\n"
        << "module " << oneLine(j.Designation) << "\r\n"
        << "ident " << oneLine(j.Ident) << "\r\n";
    // Written aside and renamed, so that a crash never leaves half a journal.
    const std::string tmp = pathIn(dir) + ".new";
    if (!WriteTextFile(tmp, out.str())) return false;
    return std::rename(tmp.c_str(), pathIn(dir).c_str()) == 0;
}

bool ReadFlashJournal(const std::string& dir, FlashJournal& j, std::string* why) {
    std::string text;
    FileFailure failure;
    if (why != nullptr) why->clear();
    // Only a regular file is read: a FIFO in its place must not hang the start.
    if (!ReadTextFile(pathIn(dir), text, failure)) {
        if (why != nullptr && !failure.missing) *why = failure.MessageFor(pathIn(dir));
        return false;
    }
    if (why != nullptr) *why = pathIn(dir) + ": не журнал FLASH";
    FlashJournal read;
    int fields = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        const std::string key = line.substr(0, blank);
        const std::string value = line.substr(blank + 1);
        int n = 0;
        if (key == "module") {
            read.Designation = value;
            continue;
        }
        if (key == "ident") {
            read.Ident = value;
            continue;
        }
        if (key == "coef1" || key == "coef2") {
            if (!parseNumber(value, read.Coef[key == "coef2"])) return false;
            continue;
        }
        if (!StrToIntStrict(value, n)) return false;
        if (key == "port")
            read.CalibratorPort = n, ++fields;
        else if (key == "address")
            read.SavedAddress = n, ++fields;
        else if (key == "address-changed")
            read.AddressChanged = n != 0, ++fields;
        else if (key == "coef1-replaced")
            read.CoefReplaced[0] = n != 0, ++fields;
        else if (key == "coef2-replaced")
            read.CoefReplaced[1] = n != 0, ++fields;
    }
    if (fields != 5) return false;
    if (why != nullptr) why->clear();
    j = read;
    return true;
}

void DeleteFlashJournal(const std::string& dir) { std::remove(pathIn(dir).c_str()); }

}  // namespace yukt
