// A minimal SW-P-08 router on loopback TCP, built on the codec, for the
// interoperability tests: one matrix (0) of 16 sources and 16 destinations
// on two levels, destination n on source n at the start, sources named
// "SRC n" and destinations "DST n" (n from 1). It answers interrogates,
// connects (a connected to every client), tally dump and names requests in
// the form they came in, ACKs good frames and NAKs bad ones.
//
// Usage: swp08_echo_router [PORT]   (default 0: any free port)
// Prints "listening PORT" once ready; ends when standard input closes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bridges/codecs/swp08.h"

namespace swp08 = zarn_host::swp08;

namespace {

constexpr uint16_t kSize = 16;
constexpr uint8_t kLevels = 2;

struct Client {
    int fd = -1;
    swp08::Decoder decoder;
};

struct Router {
    std::array<std::array<uint16_t, kSize>, kLevels> crosspoints{};
    std::vector<std::string> sourceNames;
    std::vector<std::string> destinationNames;

    Router() {
        for (auto& level : crosspoints)
            for (uint16_t d = 0; d < kSize; ++d) level[d] = d;
        for (int n = 1; n <= kSize; ++n) {
            sourceNames.push_back("SRC " + std::to_string(n));
            destinationNames.push_back("DST " + std::to_string(n));
        }
    }
    bool valid(const swp08::Message& m) const { return m.matrix == 0 && m.level < kLevels && m.destination < kSize; }
};

void writeAll(int fd, const swp08::Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;  // the client went; poll sees it
        }
        done += static_cast<std::size_t>(n);
    }
}

void append(swp08::Bytes& out, const swp08::Message& m) {
    const swp08::Bytes f = swp08::encodeFrame(m);
    out.insert(out.end(), f.begin(), f.end());
}

// The link reply and the answers to one client's bytes; connecteds go to every client.
void serve(Router& router, Client& client, const uint8_t* data, std::size_t size,
           std::vector<std::unique_ptr<Client>>& clients) {
    swp08::Bytes reply;
    swp08::Bytes broadcast;
    for (const swp08::Event& event : client.decoder.feed(data, size)) {
        const swp08::Bytes link = swp08::replyFor(event);
        reply.insert(reply.end(), link.begin(), link.end());
        if (event.kind == swp08::Event::Kind::error) {
            std::fprintf(stderr, "swp08_echo_router: %s: %s\n", swp08::errorName(event.error), event.detail.c_str());
            continue;
        }
        if (event.kind != swp08::Event::Kind::frame) continue;
        const swp08::Decoded decoded = swp08::decodeMessage(event.data);
        if (!decoded.ok()) {
            std::fprintf(stderr, "swp08_echo_router: %s: %s\n", swp08::errorName(decoded.error),
                         decoded.detail.c_str());
            continue;
        }
        const swp08::Message& m = decoded.message;
        std::fprintf(stderr, "swp08_echo_router: got %s\n", swp08::describe(m).c_str());
        switch (m.kind) {
            case swp08::Kind::interrogate:
                append(reply, swp08::tallyFor(
                                  m, router.valid(m) ? router.crosspoints[m.level][m.destination] : swp08::kNoSource));
                break;
            case swp08::Kind::connect:
                if (router.valid(m) && m.source < kSize) {
                    router.crosspoints[m.level][m.destination] = m.source;
                    append(broadcast, swp08::connectedFor(m));
                }
                break;
            case swp08::Kind::tally_dump_request:
                if (m.matrix == 0 && m.level < kLevels) {
                    const auto& level = router.crosspoints[m.level];
                    for (const swp08::Message& dump :
                         swp08::tallyDumpFor(m, std::vector<uint16_t>(level.begin(), level.end())))
                        append(reply, dump);
                }
                break;
            case swp08::Kind::source_names_request:
            case swp08::Kind::destination_names_request:
                if (m.matrix == 0) {
                    const bool sources = m.kind == swp08::Kind::source_names_request;
                    for (const swp08::Message& names :
                         swp08::namesFor(m, sources ? router.sourceNames : router.destinationNames))
                        append(reply, names);
                }
                break;
            default:
                break;  // answers from a peer acting as a router: nothing to do
        }
    }
    // The ACK first, then the answers, in one write.
    writeAll(client.fd, reply);
    if (!broadcast.empty())
        for (auto& other : clients) writeAll(other->fd, broadcast);
}

}  // namespace

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 0;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0) {
        std::fprintf(stderr, "swp08_echo_router: cannot listen on port %d: %s\n", port, std::strerror(errno));
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("listening %u\n", ntohs(address.sin_port));
    std::fflush(stdout);

    Router router;
    std::vector<std::unique_ptr<Client>> clients;
    for (;;) {
        std::vector<pollfd> fds{{0, POLLIN, 0}, {listener, POLLIN, 0}};
        for (const auto& c : clients) fds.push_back({c->fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (fds[0].revents) {
            char ignored[256];
            if (::read(0, ignored, sizeof ignored) <= 0) break;
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd >= 0) {
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                auto client = std::make_unique<Client>();
                client->fd = fd;
                clients.push_back(std::move(client));
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Client* client = nullptr;
            for (auto& c : clients)
                if (c->fd == fds[i].fd) client = c.get();
            if (!client) continue;
            uint8_t buffer[4096];
            const ssize_t n = ::recv(client->fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(client->fd);
                client->fd = -1;
                continue;
            }
            serve(router, *client, buffer, static_cast<std::size_t>(n), clients);
        }
        for (std::size_t i = 0; i < clients.size();) {
            if (clients[i]->fd < 0) {
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }
    for (auto& c : clients) ::close(c->fd);
    ::close(listener);
    return 0;
}
