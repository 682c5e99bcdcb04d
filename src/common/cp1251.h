#pragma once
// Configuration and data files are Windows-1251 on disk; inside the program
// every text is UTF-8. These helpers convert at the file boundary.

#include <cstddef>
#include <string>

#include "common/text_file.h"

namespace yukt {

// Characters without a Windows-1251 code become "?".
std::string Utf8ToCp1251(const std::string& utf8);
std::string Cp1251ToUtf8(const std::string& cp1251);

// Number of characters of a UTF-8 text (= its Windows-1251 byte count).
std::size_t CharCount(const std::string& utf8);
// The first `n` characters of a UTF-8 text.
std::string CharPrefix(const std::string& utf8, std::size_t n);

// Text files are Windows-1251 unless they begin with the UTF-8 byte order
// mark or all their bytes form valid UTF-8 with at least one non-ASCII
// character. The whole file decides: a Windows-1251 file whose bytes are
// valid UTF-8 in places stays Windows-1251.
enum class TextEncoding { Cp1251, Utf8, Utf8Bom };
TextEncoding DetectEncoding(const std::string& bytes);
std::string DecodeText(const std::string& bytes, TextEncoding encoding);
std::string EncodeText(const std::string& utf8, TextEncoding encoding);

// Reads the whole regular file (see text_file.h) in its encoding; false when
// it does not exist or cannot be read, `failure` then says why.
bool ReadTextFile(const std::string& path, std::string& utf8, FileFailure& failure,
                  TextEncoding* encoding = nullptr);
bool ReadTextFile(const std::string& path, std::string& utf8);
// Creates or truncates the file and writes the text; false on failure (also
// when the path is not a regular file). An existing file keeps its encoding.
bool WriteTextFile(const std::string& path, const std::string& utf8);
// Appends to the file, creating it when missing; false on failure. The text
// is written in the encoding of what the file holds.
bool AppendTextFile(const std::string& path, const std::string& utf8);

bool FileExists(const std::string& path);

}  // namespace yukt
