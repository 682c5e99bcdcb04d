#pragma once
// The one way the program stops on a fatal configuration error: the reason is
// handed to the installed handler (stderr by default, a message box in the
// workstation), then the process exits with code 1.

#include <functional>
#include <string>

namespace yukt {

using FatalHandler = std::function<void(const std::string& reason)>;

// Empty handler = the default (print the reason to stderr). A handler may
// throw (tests do) instead of returning; if it returns, the process exits 1.
void SetFatalHandler(FatalHandler handler);

[[noreturn]] void Fatal(const std::string& reason);

}  // namespace yukt
