// What a device server sends, in reads of any size, through the Telnet COM
// Port Control codec (and what a client sends through it in its server
// role): the codec's own state stays bounded whatever comes,
// line data never grows beyond the bytes fed, and escaped data decodes back
// to itself.
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "link/rfc2217.h"

using namespace yukt;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte sets the size of each read.
    const std::size_t step = data[0] % 64 + 1;
    ++data;
    --size;
    Rfc2217Codec server(9600);
    server.start();
    server.takeOutput();
    // The same bytes as a client's, to the codec in its server role (the
    // replay's device server), which echoes each setting it is asked for.
    Rfc2217Codec asServer(9600, Rfc2217Codec::Role::Server);
    std::vector<std::uint8_t> line, fromClient;
    for (std::size_t at = 0; at < size; at += step) {
        const std::size_t n = std::min(step, size - at);
        const std::size_t before = line.size();
        server.feed(data + at, n, line);
        FUZZ_CHECK(line.size() - before <= n);
        // Answers are three bytes per command plus the seven settings.
        FUZZ_CHECK(server.heldBytes() <= 256 + 3 * n + 64);
        server.takeOutput();
        const std::size_t had = fromClient.size();
        asServer.feed(data + at, n, fromClient);
        FUZZ_CHECK(fromClient.size() - had <= n);
        // An echoed setting is at most the 256 bytes held, each doubled.
        FUZZ_CHECK(asServer.heldBytes() <= 256 + 3 * n + 2 * 256 + 8);
        asServer.takeOutput();
    }

    Rfc2217Codec sender(9600);
    sender.encodeData(data, size);
    const std::vector<std::uint8_t> wire = sender.takeOutput();
    Rfc2217Codec receiver(9600);
    std::vector<std::uint8_t> back;
    receiver.feed(wire.data(), wire.size(), back);
    FUZZ_CHECK(back == std::vector<std::uint8_t>(data, data + size));
    return 0;
}
