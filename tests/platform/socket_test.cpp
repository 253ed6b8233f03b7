// The socket layer: a peer that has gone never ends the program with SIGPIPE, and listening
// stays on the address it was given.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "platform/socket.h"

namespace zun {
namespace {

struct Pair {
    TcpListener listener;
    TcpSocket client, server;
    Pair() {
        EXPECT_FALSE(listener.Listen("127.0.0.1", "0"));
        EXPECT_FALSE(ConnectTcp("127.0.0.1", std::to_string(listener.Port()), client));
        EXPECT_FALSE(listener.Accept(server));
    }
};

TEST(Socket, SendingToAPeerThatWentAwayFailsWithoutASignal) {
    // The default action of SIGPIPE ends the process: the test itself would die.
    ASSERT_NE(std::signal(SIGPIPE, SIG_DFL), SIG_ERR);
    Pair p;
    p.client.SetAbortiveClose();
    p.client.Close();
    const std::string block(64 * 1024, 'x');
    // The first send after the reset may report the reset; the ones after it meet a closed pipe.
    int failures = 0;
    for (int i = 0; i < 20; ++i) failures += p.server.SendAll(block) ? 0 : 1;
    EXPECT_GE(failures, 19);
    EXPECT_EQ(errno, EPIPE);
}

TEST(Socket, ShutdownWakesAReceiverAndLargeSendsArriveWhole) {
    Pair p;
    const std::string big(1 << 20, 'z');
    ASSERT_TRUE(p.server.SendAll(big));
    std::string got;
    char buffer[65536];
    while (got.size() < big.size() && p.client.WaitReadable(5000)) {
        const long r = p.client.Recv(buffer, sizeof buffer);
        if (r <= 0) break;
        got.append(buffer, static_cast<std::size_t>(r));
    }
    EXPECT_EQ(got, big);
    EXPECT_TRUE(p.server.Shutdown());
    ASSERT_TRUE(p.client.WaitReadable(5000));
    EXPECT_EQ(p.client.Recv(buffer, sizeof buffer), 0);
}

TEST(Socket, ListensOnlyOnTheGivenAddress) {
    TcpListener any, loop;
    ASSERT_FALSE(loop.Listen("127.0.0.1", "0"));
    // Another loopback address of the machine does not reach a listener bound to 127.0.0.1.
    TcpSocket s;
    SocketError e = ConnectTcp("127.0.0.2", std::to_string(loop.Port()), s);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.code, ECONNREFUSED);
    // "*" and "0.0.0.0" listen everywhere.
    ASSERT_FALSE(any.Listen("*", "0"));
    EXPECT_FALSE(ConnectTcp("127.0.0.2", std::to_string(any.Port()), s));
    SocketError bad = loop.Listen("no.such.host.invalid", "0");
    EXPECT_EQ(bad.call, "getaddrinfo");
}

// A port text the lookup reads as a number names a port only from 1 to 65535: 0 would have the
// system pick one no controller knows, a larger number would wrap into another port. Names are
// the lookup's to judge, and its failure says what it looked up and why.
TEST(Socket, PortNumbersOutsideTheirRangeAreRefusedAndLookupFailuresSayWhy) {
    for (const char* port : {"1", "5000", "65535", "+80", " 443", "http", "abc", "1e3", "8080x"})
        EXPECT_EQ(PortNumberRefusal(port), "") << port;
    for (const char* port : {"0", "000", "-0", "-1", "65536", "99999", "18446744073709551617"})
        EXPECT_EQ(PortNumberRefusal(port),
                  "Invalid port \"" + std::string(port) + "\": a port number is from 1 to 65535.");

    TcpListener listener;
    const SocketError e = listener.Listen("127.0.0.1", "no-such-service-zun");
    EXPECT_EQ(e.call, "getaddrinfo");
    EXPECT_EQ(e.code, EAI_SERVICE);
    EXPECT_EQ(e.detail,
              std::string("host \"127.0.0.1\", port \"no-such-service-zun\": ") + gai_strerror(EAI_SERVICE));
    EXPECT_FALSE(listener.Listening());
}

}  // namespace
}  // namespace zun
