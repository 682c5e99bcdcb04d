#pragma once
// The drivers' console line: a text buffer of at most 137 characters that
// nothing in the workstation displays. Completed lines are kept so that tests
// and tools can see them, and may be handed to a sink.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

namespace yukt {

class ConsoleLineBuffer {
  public:
    static constexpr std::size_t kMaxChars = 137;

    // Appends s (cut to 137 characters); a buffer that already holds more
    // than 137 is emptied first, and the buffer is cut so that s fits.
    void ConsoleText(const std::string& s);
    // Appends like ConsoleText, then ends the line (the buffer is emptied).
    void ConsoleLine(const std::string& s);

    // The unfinished line.
    const std::string& text() const { return m_text; }
    // The last completed line ("" before the first).
    const std::string& lastLine() const { return m_lastLine; }
    // Completed lines, oldest first (the latest 1000).
    const std::deque<std::string>& lines() const { return m_lines; }
    void clear();

    // Receives every completed line (tools print them); empty = none.
    void setSink(std::function<void(const std::string&)> sink) { m_sink = std::move(sink); }

  private:
    static constexpr std::size_t kKeptLines = 1000;
    std::string m_text;
    std::string m_lastLine;
    std::deque<std::string> m_lines;
    std::function<void(const std::string&)> m_sink;
};

}  // namespace yukt
