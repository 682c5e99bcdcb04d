#include "common/cp1251.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <iterator>

namespace yukt {

namespace {

// Unicode of Windows-1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
// 0x98 has no character in the code page: it maps to U+0098 so that every
// byte survives a round trip.
constexpr std::uint16_t kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int toCp1251(std::uint32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(cp - 0x0410 + 0xC0);
    for (int i = 0; i < 64; ++i)
        if (kHighHalf[i] == cp) return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 sequence at s[i]; advances i. Invalid: returns -1.
long nextCodePoint(const std::string& s, std::size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) return c;
    int extra;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return -1;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return static_cast<long>(cp);
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string Utf8ToCp1251(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        long cp = nextCodePoint(utf8, i);
        int b = cp < 0 ? -1 : toCp1251(static_cast<std::uint32_t>(cp));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

std::string Cp1251ToUtf8(const std::string& cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char ch : cp1251) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c >= 0xC0)
            appendUtf8(out, 0x0410u + (c - 0xC0u));
        else
            appendUtf8(out, kHighHalf[c - 0x80]);
    }
    return out;
}

std::size_t CharCount(const std::string& utf8) {
    std::size_t n = 0;
    for (char c : utf8)
        if (!isContinuation(c)) ++n;
    return n;
}

std::string CharPrefix(const std::string& utf8, std::size_t n) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (!isContinuation(utf8[i])) {
            if (count == n) return utf8.substr(0, i);
            ++count;
        }
    }
    return utf8;
}

TextEncoding DetectEncoding(const std::string& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return TextEncoding::Utf8Bom;
    bool nonAscii = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        long cp = nextCodePoint(bytes, i);
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        const long least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return TextEncoding::Cp1251;
    }
    return nonAscii ? TextEncoding::Utf8 : TextEncoding::Cp1251;
}

std::string DecodeText(const std::string& bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom: {
            // After a byte order mark the text is taken as UTF-8; bytes that
            // do not form it become "?" so that no half character goes on.
            std::string out;
            std::size_t i = 3;
            while (i < bytes.size()) {
                const std::size_t at = i;
                if (nextCodePoint(bytes, i) < 0) {
                    out += '?';
                    i = at + 1;
                } else {
                    out.append(bytes, at, i - at);
                }
            }
            return out;
        }
        case TextEncoding::Utf8:
            return bytes;
        case TextEncoding::Cp1251:
            break;
    }
    return Cp1251ToUtf8(bytes);
}

std::string EncodeText(const std::string& utf8, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom:
            return "\xEF\xBB\xBF" + utf8;
        case TextEncoding::Utf8:
            return utf8;
        case TextEncoding::Cp1251:
            break;
    }
    return Utf8ToCp1251(utf8);
}

bool ReadTextFile(const std::string& path, std::string& utf8, FileFailure& failure,
                  TextEncoding* encoding) {
    std::string raw;
    if (!ReadRegularFile(path, raw, failure)) return false;
    const TextEncoding found = DetectEncoding(raw);
    if (encoding) *encoding = found;
    utf8 = DecodeText(raw, found);
    return true;
}

bool ReadTextFile(const std::string& path, std::string& utf8) {
    FileFailure failure;
    return ReadTextFile(path, utf8, failure);
}

namespace {

// Encoding an existing file is kept in; new files are Windows-1251.
TextEncoding encodingOfFile(const std::string& path) {
    std::string raw;
    FileFailure failure;
    return ReadRegularFile(path, raw, failure) ? DetectEncoding(raw) : TextEncoding::Cp1251;
}

bool writeBytes(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
    FileFailure failure;
    if (!WritableTextPath(path, failure)) return false;
    std::ofstream out(path, std::ios::binary | mode);
    if (!out) return false;
    out << bytes;
    out.close();
    return !out.fail();
}

}  // namespace

bool WriteTextFile(const std::string& path, const std::string& utf8) {
    return writeBytes(path, EncodeText(utf8, encodingOfFile(path)), std::ios::trunc);
}

bool AppendTextFile(const std::string& path, const std::string& utf8) {
    TextEncoding encoding = encodingOfFile(path);
    // The byte order mark is at the start already, not again in the middle.
    if (encoding == TextEncoding::Utf8Bom) encoding = TextEncoding::Utf8;
    return writeBytes(path, EncodeText(utf8, encoding), std::ios::app);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace yukt
