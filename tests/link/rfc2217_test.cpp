// The Telnet COM Port Control codec on its own: byte streams in, line data
// and negotiation answers out.

#include "link/rfc2217.h"

#include <gtest/gtest.h>

namespace yukt {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
                       COMPORT = 44, BINARY = 0, SGA = 3, ECHO = 1;

Bytes feed(Rfc2217Codec& c, const Bytes& in) {
    Bytes data;
    c.feed(in.data(), in.size(), data);
    return data;
}

TEST(Rfc2217, OpeningAsksForBinarySuppressedGoAheadAndTheComPortOption) {
    Rfc2217Codec c(9600);
    c.start();
    EXPECT_EQ(c.takeOutput(), (Bytes{IAC, WILL, COMPORT, IAC, WILL, BINARY, IAC, DO, BINARY, IAC,
                                     WILL, SGA, IAC, DO, SGA}));
    EXPECT_FALSE(c.hasOutput());
}

TEST(Rfc2217, AgreementToTheOptionSendsTheLineSettingsOnce) {
    Rfc2217Codec c(115200);
    c.start();
    c.takeOutput();
    // The server agrees to what we asked: nothing to answer but the settings.
    EXPECT_TRUE(feed(c, {IAC, DO, COMPORT, IAC, WILL, BINARY, IAC, DO, BINARY}).empty());
    const Bytes settings = {IAC, SB, COMPORT, 1, 0x00, 0x01, 0xC2, 0x00, IAC, SE,  // 115200
                            IAC, SB, COMPORT, 2, 8,    IAC,  SE,                   // 8 bits
                            IAC, SB, COMPORT, 3, 1,    IAC,  SE,                   // no parity
                            IAC, SB, COMPORT, 4, 1,    IAC,  SE,                   // 1 stop bit
                            IAC, SB, COMPORT, 5, 1,    IAC,  SE,   // no flow control
                            IAC, SB, COMPORT, 5, 8,    IAC,  SE,   // DTR on
                            IAC, SB, COMPORT, 5, 12,   IAC,  SE};  // RTS off
    EXPECT_EQ(c.takeOutput(), settings);
    feed(c, {IAC, DO, COMPORT});
    EXPECT_FALSE(c.hasOutput());
    EXPECT_FALSE(c.settled());
    // The confirmation may come split across reads.
    feed(c, {IAC, SB, COMPORT, 101, 0x00, 0x01});
    EXPECT_FALSE(c.settled());
    feed(c, {0xC2, 0x00, IAC, SE});
    EXPECT_TRUE(c.settled());
    EXPECT_EQ(c.confirmedBaud(), 115200u);
}

TEST(Rfc2217, NegotiationAnswers) {
    struct Case {
        Bytes in;
        Bytes out;
        bool refused;
    };
    const Case cases[] = {
        {{IAC, WILL, ECHO}, {IAC, DONT, ECHO}, false},       // unknown offer declined
        {{IAC, DO, ECHO}, {IAC, WONT, ECHO}, false},         // unknown request refused
        {{IAC, DONT, COMPORT}, {IAC, WONT, COMPORT}, true},  // no RFC 2217 on this server
        {{IAC, WONT, BINARY}, {IAC, DONT, BINARY}, false},
        {{IAC, WILL, SGA}, {}, false},  // already asked for
        {{IAC, 241 /* NOP */}, {}, false},
    };
    for (const Case& c : cases) {
        Rfc2217Codec codec(4800);
        codec.start();
        codec.takeOutput();
        EXPECT_TRUE(feed(codec, c.in).empty());
        EXPECT_EQ(codec.takeOutput(), c.out) << int(c.in[2 % c.in.size()]);
        EXPECT_EQ(codec.refused(), c.refused);
    }
}

TEST(Rfc2217, DataBytes0xFFAreDoubledBothWays) {
    Rfc2217Codec c(4800);
    const Bytes line = {0xAA, 0xFF, 0x31, 0xFF, 0xFF};
    c.encodeData(line.data(), line.size());
    EXPECT_EQ(c.takeOutput(), (Bytes{0xAA, 0xFF, 0xFF, 0x31, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Escapes and commands split at any point between reads; a line-state
    // notification in the middle of the data is taken out.
    const Bytes wire = {0x1F, IAC, IAC, IAC, SB, COMPORT, 106, 0x60, IAC, SE, 0x1A, IAC, IAC};
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        Rfc2217Codec d(4800);
        Bytes data = feed(d, Bytes(wire.begin(), wire.begin() + static_cast<long>(cut)));
        const Bytes rest = feed(d, Bytes(wire.begin() + static_cast<long>(cut), wire.end()));
        data.insert(data.end(), rest.begin(), rest.end());
        EXPECT_EQ(data, (Bytes{0x1F, 0xFF, 0x1A, 0xFF})) << cut;
    }
}

// A sub-negotiation the server never closes is dropped at its limit and the
// bytes behind it are line data again; the codec never holds more, and a
// later one is understood as ever.
TEST(Rfc2217, UnfinishedSubnegotiationIsDroppedAndDataResumes) {
    Rfc2217Codec c(9600);
    Bytes open = {IAC, SB, COMPORT};
    open.insert(open.end(), 255, 0x41);  // 256 bytes with the option byte: the limit
    EXPECT_TRUE(feed(c, open).empty());
    EXPECT_EQ(c.droppedSubnegotiations(), 0u);
    EXPECT_EQ(feed(c, {0xAA, 0x55, IAC, IAC}), (Bytes{0xAA, 0x55, 0xFF}));
    EXPECT_EQ(c.droppedSubnegotiations(), 1u);
    Bytes flood = {IAC, SB, COMPORT};
    flood.insert(flood.end(), 100000, 0x42);
    feed(c, flood);
    EXPECT_LE(c.heldBytes(), 256u);
    feed(c, {IAC, SB, COMPORT, 101, 0x00, 0x00, 0x25, 0x80, IAC, SE});
    EXPECT_TRUE(c.settled());
    EXPECT_EQ(c.confirmedBaud(), 9600u);
}

// The replay's device server is the same codec in its server role: a
// client settles against it and every setting comes back as asked.
TEST(Rfc2217, AClientSettlesAgainstTheServerRole) {
    Rfc2217Codec client(19200);
    Rfc2217Codec server(9600, Rfc2217Codec::Role::Server);
    client.start();
    Bytes atServer, atClient;
    for (int round = 0; round < 4; ++round) {
        const Bytes up = client.takeOutput();
        server.feed(up.data(), up.size(), atServer);
        const Bytes down = server.takeOutput();
        client.feed(down.data(), down.size(), atClient);
    }
    EXPECT_TRUE(client.settled());
    EXPECT_EQ(client.confirmedBaud(), 19200u);
    EXPECT_EQ(server.confirmedBaud(), 19200u);
    EXPECT_TRUE(atServer.empty());
    EXPECT_TRUE(atClient.empty());
    // An option the server does not serve is refused; line data passes.
    EXPECT_EQ(feed(server, {IAC, DO, ECHO, 0x41, IAC, IAC}), (Bytes{0x41, IAC}));
    EXPECT_EQ(server.takeOutput(), (Bytes{IAC, WONT, ECHO}));
}

}  // namespace
}  // namespace yukt
