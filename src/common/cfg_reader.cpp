#include "common/cfg_reader.h"

#include "common/cp1251.h"
#include "common/text.h"
#include "common/text_file.h"

namespace yukt {

namespace {

constexpr char kCtrlZ = 26;
constexpr int kMaxLeadingBlanks = 80;
constexpr std::size_t kMaxWord = 80;

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isSeparator(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string baseName(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string CfgError::message() const {
    if (line < 1) return file + ": " + what;
    return file + ", строка " + std::to_string(line) + ": " + what;
}

std::string BadNumber(const std::string& token) {
    return "неверное число \"" + EchoToken(token) + "\"";
}

bool CfgReader::Open(const std::string& path) {
    std::string text;
    FileFailure failure;
    bool ok = ReadTextFile(path, text, failure);
    SetText(ok ? std::move(text) : std::string(), baseName(path));
    if (!ok && !failure.missing) {
        // The reason names the path, the error line the file.
        m_failed = true;
        m_error = CfgError{path, failure.line, failure.reason};
    }
    return ok;
}

void CfgReader::SetText(std::string utf8, std::string fileName) {
    // A Ctrl-Z ends a text file; nothing after it is read.
    std::size_t z = utf8.find(kCtrlZ);
    if (z != std::string::npos) utf8.resize(z);
    m_text = std::move(utf8);
    m_file = std::move(fileName);
    m_pos = 0;
    m_line = 1;
    m_failed = false;
    m_error = CfgError{};
}

bool CfgReader::AtEnd() const { return m_pos >= m_text.size(); }

bool CfgReader::AtLineEnd() const {
    std::size_t p = m_pos;
    while (p < m_text.size() && isBlank(static_cast<unsigned char>(m_text[p]))) ++p;
    return p >= m_text.size() || m_text[p] == '\n' || m_text[p] == '\r';
}

int CfgReader::peek() const {
    return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos]) : -1;
}

void CfgReader::advance() {
    if (m_pos >= m_text.size()) return;
    if (m_text[m_pos] == '\n') ++m_line;
    ++m_pos;
}

void CfgReader::SkipLine() {
    while (!AtEnd() && peek() != '\n') advance();
    advance();
}

bool CfgReader::ReadWord(std::string& word) {
    word.clear();
    while (!AtEnd()) {
        int blanks = 0;
        while (blanks < kMaxLeadingBlanks && isBlank(peek())) {
            advance();
            ++blanks;
        }
        // Lines of blanks and tabs only, however long, are skipped.
        std::size_t p = m_pos;
        while (p < m_text.size() && isBlank(static_cast<unsigned char>(m_text[p]))) ++p;
        bool emptyLine = p >= m_text.size() || m_text[p] == '\n' || m_text[p] == '\r';
        if (emptyLine || peek() == ';') {
            SkipLine();
            continue;
        }
        // Past the 80 blanks that a comment may be indented by, a ";" is
        // part of the word.
        while (isBlank(peek())) advance();
        while (!AtEnd() && !isSeparator(peek()) && word.size() < kMaxWord) {
            word += static_cast<char>(peek());
            advance();
        }
        // The limit counts characters; a cut inside a UTF-8 sequence would
        // leave half a character, so finish it.
        while (!AtEnd() && (static_cast<unsigned char>(peek()) & 0xC0) == 0x80) {
            word += static_cast<char>(peek());
            advance();
        }
        return true;
    }
    return false;
}

std::string CfgReader::ReadWord() {
    std::string w;
    ReadWord(w);
    return w;
}

void CfgReader::skipSpaceAndLineEnds() {
    while (!AtEnd() && isSeparator(peek())) advance();
}

std::string CfgReader::readNumberText() {
    skipSpaceAndLineEnds();
    std::string s;
    while (!AtEnd() && !isSeparator(peek())) {
        s += static_cast<char>(peek());
        advance();
    }
    return s;
}

std::string CfgReader::ReadToken() { return readNumberText(); }

std::string CfgReader::ReadRestOfLine() {
    std::string s;
    while (!AtEnd() && peek() != '\n') {
        s += static_cast<char>(peek());
        advance();
    }
    advance();
    if (!s.empty() && s.back() == '\r') s.pop_back();
    return s;
}

void CfgReader::fail(const std::string& what) {
    if (m_failed) return;  // keep the first error
    m_failed = true;
    m_error = CfgError{m_file, m_line, what};
}

bool CfgReader::ReadInt(int& value) {
    std::string s = readNumberText();
    if (s.empty()) {
        value = 0;
        return true;
    }
    int v;
    if (!StrToIntStrict(s, v)) {
        fail(BadNumber(s));
        return false;
    }
    value = v;
    return true;
}

bool CfgReader::ReadReal(double& value) {
    std::string s = readNumberText();
    if (s.empty()) {
        value = 0;
        return true;
    }
    double v;
    if (!StrToFloatStrict(s, v)) {
        fail(BadNumber(s));
        return false;
    }
    value = v;
    return true;
}

}  // namespace yukt
