// TCP keep-alive as the peer links set it, on a loopback connection through
// the platform's own sockets (Winsock under the Windows builds): it is on
// afterwards, the times the system lets be read back are the ones asked for,
// odd inputs are refused by nobody, and the connection still carries bytes.
#include <gtest/gtest.h>

#include <asio.hpp>
#include <array>

#include "bridges/runtime/limits.h"
#include "bridges/runtime/socket_options.h"

#if defined(__linux__)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace zarn_host::bridges {
namespace {

using asio::ip::tcp;

struct LoopbackPair {
    asio::io_context io;
    tcp::socket client{io};
    tcp::socket server{io};
    LoopbackPair() {
        tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
        client.connect(acceptor.local_endpoint());
        acceptor.accept(server);
    }
};

#if defined(__linux__)
int tcpOption(tcp::socket& socket, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    EXPECT_EQ(::getsockopt(socket.native_handle(), IPPROTO_TCP, name, &value, &size), 0);
    return value;
}
#endif

struct KeepAliveCase {
    const char* what;
    int idleS, intervalS, probes;
};

TEST(SocketOptions, KeepAliveIsOnWithTheTimesAskedForAndTheLinkStillCarriesBytes) {
    const KeepAliveCase cases[] = {
        {"the peer links' times", limits::kTcpKeepAliveIdleS, limits::kTcpKeepAliveIntervalS,
         limits::kTcpKeepAliveProbes},
        {"one second each, one probe", 1, 1, 1},
        {"a long idle time", 7200, 75, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackPair pair;
        for (tcp::socket* socket : {&pair.client, &pair.server}) {
            EXPECT_TRUE(setKeepAlive(static_cast<NativeSocket>(socket->native_handle()), c.idleS, c.intervalS,
                                     c.probes));
            asio::socket_base::keep_alive on;
            socket->get_option(on);
            EXPECT_TRUE(on.value());
#if defined(__linux__)
            EXPECT_EQ(tcpOption(*socket, TCP_KEEPIDLE), c.idleS);
            EXPECT_EQ(tcpOption(*socket, TCP_KEEPINTVL), c.intervalS);
            EXPECT_EQ(tcpOption(*socket, TCP_KEEPCNT), c.probes);
#endif
        }
        const std::array<char, 3> sent{'z', 'r', 'n'};
        asio::write(pair.client, asio::buffer(sent));
        std::array<char, 3> received{};
        asio::read(pair.server, asio::buffer(received));
        EXPECT_EQ(received, sent);
    }
}

// A socket that is not open: refused, reported false, nothing thrown.
TEST(SocketOptions, KeepAliveOnAClosedSocketIsReportedAsRefused) {
    LoopbackPair pair;
    const auto handle = static_cast<NativeSocket>(pair.client.native_handle());
    pair.client.close();
    EXPECT_FALSE(setKeepAlive(handle, 10, 5, 4));
}

}  // namespace
}  // namespace zarn_host::bridges
