#pragma once
// SHA-256 of a byte string, for the checksums records keep of the files a
// verification was made by (without Qt, so the headless tools have it too).

#include <string>

namespace yukt {

// Lower-case hexadecimal digest, 64 characters.
std::string Sha256Hex(const std::string& bytes);

}  // namespace yukt
