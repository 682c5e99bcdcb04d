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

// A COM port being opened again after its line was lost, moved on between
// exchanges so that no exchange ever waits for it. A local device opens in
// one step; a device server on the network takes a connect and, for
// RFC 2217, a negotiation, each step taken only when the socket is ready.
class ComOpening {
  public:
    enum class State { Pending, Open, Failed };
    virtual ~ComOpening() = default;

    // Takes the opening as far as it goes without waiting. Open: `port` is
    // the port. Failed: `error` says why; a new opening starts the next try.
    State poll(std::unique_ptr<ByteTransport>& port, std::string& error) {
        return doPoll(port, error);
    }
    // Each try costs the far end something (a device server on the
    // network): failed tries are spaced out further and further.
    bool remote() const { return doRemote(); }

  private:
    virtual State doPoll(std::unique_ptr<ByteTransport>& port, std::string& error) = 0;
    virtual bool doRemote() const { return false; }
};

// Starts opening COM port `comNumber` (1..4) at `baud` without waiting.
std::unique_ptr<ComOpening> StartComOpening(int comNumber, int baud);

// True when COM port n can be opened at all (opened and closed at once).
bool ComPortExists(int comNumber);

// Device path of COM n: $YUKT_COMn, else /dev/ttyS<n-1>.
std::string ComDevicePath(int comNumber);

// The POSIX serial port: exclusive, raw 8N1 at `baud`, termios restored on
// close. Null with a reason in `error` on failure.
std::unique_ptr<ByteTransport> OpenSerialDevice(const std::string& device, int baud,
                                                std::string& error);

}  // namespace yukt
