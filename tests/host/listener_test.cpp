// The listener keeps the door open: a listening socket that fails to accept
// is bound again on the same port, and stopping never hangs, however early.
#include "web/http/listener.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "web/http/http_server.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

using zarn_host::Listener;

// A server on a free loopback port answering GET /ping.
struct PingServer {
    httplib::Server server;
    int port = 0;
    PingServer() {
        server.Get("/ping", [](const httplib::Request&, httplib::Response& res) { res.set_content("pong", "text/plain"); });
        port = zarn_host::bindServer(server, "127.0.0.1", 0);
    }
    bool answers() const {
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(5, 0);
        auto res = client.Get("/ping");
        return res && res->status == 200 && res->body == "pong";
    }
};

TEST(listener, stops_at_once_however_soon_after_starting) {
    for (int i = 0; i < 20; ++i) {
        PingServer ping;
        ASSERT_NE(ping.port, 0);
        std::ostringstream err;
        Listener listener(ping.server, "127.0.0.1", ping.port, err);
        listener.start();
        if (i % 2) std::this_thread::sleep_for(std::chrono::milliseconds(i));
        listener.stop();
        EXPECT_EQ(err.str(), "");
    }
}

#ifndef _WIN32
// The listening socket of port, found among the process's descriptors.
int listeningSocket(int port) {
    for (int fd = 3; fd < 4096; ++fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        int accepting = 0;
        socklen_t flagSize = sizeof accepting;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 && address.sin_family == AF_INET &&
            ntohs(address.sin_port) == port && getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &flagSize) == 0 &&
            accepting) {
            return fd;
        }
    }
    return -1;
}

TEST(listener, binds_the_same_port_again_when_an_accept_fails) {
    PingServer ping;
    std::ostringstream err;
    Listener listener(ping.server, "127.0.0.1", ping.port, err);
    listener.start();
    ASSERT_TRUE(ping.answers());
    for (int failure = 1; failure <= 2; ++failure) {
        // A listening socket shut down fails its next accept, which ends the
        // HTTP library's loop and closes the socket.
        int fd = listeningSocket(ping.port);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(shutdown(fd, SHUT_RDWR), 0);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (listener.reopened() < failure && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(listener.reopened(), failure);
        EXPECT_TRUE(ping.answers()) << "after failure " << failure;
    }
    listener.stop();
    EXPECT_NE(err.str().find("127.0.0.1:" + std::to_string(ping.port) + " failed to accept a connection: listening again"),
              std::string::npos)
        << err.str();
}
#endif

}  // namespace
