#pragma once
// Problems the program reports and then goes on: a configuration line that is
// refused on its own, for instance. The text goes to the installed handler
// (stderr by default; the tools keep the default).

#include <functional>
#include <string>

namespace yukt {

using WarningHandler = std::function<void(const std::string& text)>;

// Empty handler = the default (print the text to stderr).
void SetWarningHandler(WarningHandler handler);

void Warn(const std::string& text);

}  // namespace yukt
