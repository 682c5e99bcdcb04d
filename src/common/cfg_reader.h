#pragma once
// Reader for the configuration files (tp6606.cfg, tpCom.cfg, tpNNNN.cfg):
// the file is read whole and converted from Windows-1251; data lines begin
// with a word (model code or board address) followed by numbers that may be
// separated by blanks, tabs or line ends. A malformed number is not thrown:
// the read fails and Error() names the file, the line and the text.

#include <cstddef>
#include <string>

namespace yukt {

struct CfgError {
    std::string file;  // file name without directory, e.g. "tp745t.cfg"
    int line = 0;      // 1-based
    std::string what;  // e.g. "неверное число \"1x\""

    // "tp745t.cfg, строка 3: неверное число \"1x\""; without a line
    // (line 0): "/cfg/tp745t.cfg: это каталог".
    std::string message() const;
};

// "неверное число \"…\"" with the token cut and escaped (EchoToken).
std::string BadNumber(const std::string& token);

class CfgReader {
  public:
    // Reads the file; false when it does not exist or cannot be read (the
    // reader is then at end of file). A file that exists but cannot be read
    // (not a regular file, no access, a line too long) also sets Failed()
    // and Error() with the path and the reason.
    bool Open(const std::string& path);
    // Takes the text directly (UTF-8); `fileName` is used in errors.
    void SetText(std::string utf8, std::string fileName);

    // Next data line's first word: skips empty, blank and comment lines (";"
    // after at most 80 leading blanks); the word ends at a blank, tab or line
    // end, at most 80 characters. False (word empty) at end of file or at a
    // Ctrl-Z where a word should start.
    bool ReadWord(std::string& word);
    std::string ReadWord();

    // Like the integer/real reads of a text file: blanks, tabs and line ends
    // before the number are skipped, the number runs to the next blank, tab
    // or line end. At end of file the value is 0 and the read succeeds. A
    // malformed number: false, Error() set, the value unchanged.
    bool ReadInt(int& value);
    bool ReadReal(double& value);
    // Next blank-separated token the same way (line ends skipped); "" at end.
    std::string ReadToken();
    // Rest of the current line (without its line end); moves to the next line.
    std::string ReadRestOfLine();

    // Moves to the beginning of the next line.
    void SkipLine();
    bool AtEnd() const;
    // Only blanks and tabs remain of the current line (or of the file).
    bool AtLineEnd() const;

    // 1-based number of the line the reader is on.
    int LineNumber() const { return m_line; }
    const std::string& FileName() const { return m_file; }
    bool Failed() const { return m_failed; }
    const CfgError& Error() const { return m_error; }
    // Marks the current line as malformed for a reason of the caller's (a
    // value out of its sense); the first error is kept.
    void Fail(const std::string& what) { fail(what); }

  private:
    int peek() const;
    void advance();
    void skipSpaceAndLineEnds();
    std::string readNumberText();
    void fail(const std::string& what);

    std::string m_text;
    std::string m_file;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_failed = false;
    CfgError m_error;
};

}  // namespace yukt
