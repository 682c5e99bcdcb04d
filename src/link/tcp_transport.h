#pragma once
// COM ports behind a serial device server. YUKT_COMn may name
//   tcp://HOST:PORT      raw TCP; the server owns the line settings, or
//   rfc2217://HOST:PORT  Telnet COM Port Control; the link sets 8N1 and
//                        its speed through the protocol.
// A refused or timed-out connection fails the open like a busy port; a
// connection that drops later makes the transport lost(), and the link
// connects again between its exchanges, never inside one.

#include <memory>
#include <string>

#include "link/byte_transport.h"
#include "link/com_port.h"

namespace yukt {

struct NetAddress {
    bool rfc2217 = false;
    std::string host;
    std::string port;
};

// True when `device` names a device server (either scheme).
bool IsNetworkDevice(const std::string& device);

// Splits "tcp://HOST:PORT" or "rfc2217://HOST:PORT" ("[::1]:PORT" for an
// IPv6 address); false with a reason in `error` when it is malformed.
bool ParseNetAddress(const std::string& device, NetAddress& out, std::string& error);

// True when the server accepts a connection (closed at once); a port in
// use by another client still exists.
bool NetworkDeviceReachable(const std::string& device);

// Connects (at most a few seconds) and, for rfc2217, settles the line
// settings. Null with the reason in `error` on failure. `comNumber` names
// the line in the trace (0: the device name).
std::unique_ptr<ByteTransport> OpenNetworkPort(const std::string& device, int baud,
                                               std::string& error, int comNumber = 0);

// The same, one step at a time: each poll() looks at the socket without
// waiting. The server's name is looked up once per process (the first open
// at start-up), so that a reconnect never waits on a name server either.
std::unique_ptr<ComOpening> StartNetworkOpening(const std::string& device, int baud,
                                                int comNumber = 0);

}  // namespace yukt
