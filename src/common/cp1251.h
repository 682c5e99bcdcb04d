#pragma once
// Configuration and data files are Windows-1251 on disk; inside the program
// every text is UTF-8. These helpers convert at the file boundary.

#include <cstddef>
#include <string>

namespace yukt {

// Characters without a Windows-1251 code become "?".
std::string Utf8ToCp1251(const std::string& utf8);
std::string Cp1251ToUtf8(const std::string& cp1251);

// Number of characters of a UTF-8 text (= its Windows-1251 byte count).
std::size_t CharCount(const std::string& utf8);
// The first `n` characters of a UTF-8 text.
std::string CharPrefix(const std::string& utf8, std::size_t n);

// Reads the whole file; false when it does not exist or cannot be read.
bool ReadTextFile(const std::string& path, std::string& utf8);
// Creates or truncates the file and writes the text; false on failure.
bool WriteTextFile(const std::string& path, const std::string& utf8);
// Appends to the file, creating it when missing; false on failure.
bool AppendTextFile(const std::string& path, const std::string& utf8);

bool FileExists(const std::string& path);

}  // namespace yukt
