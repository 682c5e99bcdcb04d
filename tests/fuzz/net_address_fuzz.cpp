// YUKT_COMn as an operator may type it: tcp:// and rfc2217:// names either
// give a host and a port 1..65535, or a reason that names what was typed.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "link/tcp_transport.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string device(reinterpret_cast<const char*>(data), size);
    NetAddress a;
    std::string error;
    if (!ParseNetAddress(device, a, error)) {
        FUZZ_CHECK(error.rfind(device, 0) == 0);
        return 0;
    }
    FUZZ_CHECK(IsNetworkDevice(device));
    FUZZ_CHECK(a.rfc2217 == (device.rfind("rfc2217://", 0) == 0));
    FUZZ_CHECK(!a.host.empty());
    FUZZ_CHECK(!a.port.empty() && a.port.size() <= 5 &&
               a.port.find_first_not_of("0123456789") == std::string::npos);
    const int port = std::stoi(a.port);
    FUZZ_CHECK(port >= 1 && port <= 65535);
    return 0;
}
