#include "common/console_line.h"

#include "common/cp1251.h"

namespace yukt {

void ConsoleLineBuffer::ConsoleText(const std::string& s) {
    std::string piece = CharPrefix(s, kMaxChars);
    std::size_t pieceChars = CharCount(piece);
    if (CharCount(m_text) > kMaxChars) m_text.clear();
    if (CharCount(m_text) + pieceChars > kMaxChars)
        m_text = CharPrefix(m_text, kMaxChars - pieceChars);
    m_text += piece;
}

void ConsoleLineBuffer::ConsoleLine(const std::string& s) {
    ConsoleText(s);
    m_lastLine = m_text;
    m_lines.push_back(m_text);
    if (m_lines.size() > kKeptLines) m_lines.pop_front();
    m_text.clear();
    if (m_sink) m_sink(m_lastLine);
}

void ConsoleLineBuffer::clear() {
    m_text.clear();
    m_lastLine.clear();
    m_lines.clear();
}

}  // namespace yukt
