#pragma once
// COM ports 1..4. On this platform COM n is the device named by the
// environment variable YUKT_COMn, else /dev/ttyS<n-1>; tcp:// and
// rfc2217:// names reach a serial device server (tcp_transport.h). The in-process
// simulated bench replaces the opener with SetComPortOpener.

#include <functional>
#include <memory>
#include <string>

#include "link/byte_transport.h"

namespace yukt {

// Opens COM port `comNumber` (1..4) at `baud`, exclusively. Returns null and
// fills `error` when the port cannot be opened.
using ComPortOpener =
    std::function<std::unique_ptr<ByteTransport>(int comNumber, int baud, std::string& error)>;

// Empty = the POSIX serial port opener.
void SetComPortOpener(ComPortOpener opener);

// Through the installed opener (or the POSIX one).
std::unique_ptr<ByteTransport> OpenComPort(int comNumber, int baud, std::string& error);

// True when COM port n can be opened at all (opened and closed at once).
bool ComPortExists(int comNumber);

// Device path of COM n: $YUKT_COMn, else /dev/ttyS<n-1>.
std::string ComDevicePath(int comNumber);

// The POSIX serial port: exclusive, raw 8N1 at `baud`, termios restored on
// close. Null with a reason in `error` on failure.
std::unique_ptr<ByteTransport> OpenSerialDevice(const std::string& device, int baud,
                                                std::string& error);

}  // namespace yukt
