// For tests of the bridges' I/O: a facility's host with the SW-P-08 module
// on a running Runtime, its panel thread pumped by the test, and SW-P-08
// peers on loopback sockets (a controller, or a router the client connects
// to). Every wait is bounded; none sleeps for a fixed time to let something
// happen.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridges/codecs/swp08.h"
#include "bridges/runtime/runtime.h"
#include "bridges/swp08/swp08_module.h"
#include "sim/sim_host.h"

namespace zarn_host::bridges::testing {

using Clock = std::chrono::steady_clock;
// The longest a step waits for what comes in milliseconds: a machine at a
// load of 4 on 2 cores under the sanitizers is slow, never this slow. Waits
// that a passing test sits out (for nothing to come) name their own time.
constexpr int kWaitMs = 20000;

inline sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A port free on loopback a moment ago.
inline uint16_t freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

// One end of an SW-P-08 connection, read with bounded waits. With autoAck it
// acknowledges every good frame, as a peer's link layer does.
class Peer {
public:
    explicit Peer(int fd, bool autoAck = false) : fd_(fd), autoAck_(autoAck) {}
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    ~Peer() {
        if (::testing::Test::HasFailure()) tellLastEvents();
        if (fd_ >= 0) ::close(fd_);
    }
    // A controller's connection; receiveBuffer > 0 shrinks what the kernel
    // holds for it (a peer that does not read fills it soon).
    static std::unique_ptr<Peer> connectTo(uint16_t port, int receiveBuffer = 0) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a = loopback(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<Peer>(fd);
    }

    bool sendRaw(const swp08::Bytes& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool send(const swp08::Message& m) { return sendRaw(swp08::encodeFrame(m)); }

    // Reads until an event satisfies want (true), the connection closes or
    // the wait runs out (false). Every event read is kept in events.
    bool awaitEvent(const std::function<bool(const swp08::Event&)>& want, int ms = kWaitMs) {
        for (; checked_ < events.size(); ++checked_) {
            if (want(events[checked_])) return ++checked_, true;
        }
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!closed) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return false;
            if (pump) pump();
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, pump ? 2 : static_cast<int>(left));
            if (ready < 0) return false;
            if (ready == 0) continue;
            uint8_t buffer[4096];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            for (auto& e : decoder_.feed(buffer, static_cast<std::size_t>(n))) {
                if (e.kind == swp08::Event::Kind::frame) checkSize(e.data);
                if (autoAck_ && e.kind == swp08::Event::Kind::frame) sendRaw(swp08::ackBytes());
                events.push_back(std::move(e));
            }
            for (; checked_ < events.size(); ++checked_) {
                if (want(events[checked_])) return ++checked_, true;
            }
        }
        return false;
    }
    // The next message read that want takes.
    std::optional<swp08::Message> awaitMessage(const std::function<bool(const swp08::Message&)>& want,
                                               int ms = kWaitMs) {
        std::optional<swp08::Message> found;
        awaitEvent(
            [&](const swp08::Event& e) {
                if (e.kind != swp08::Event::Kind::frame) return false;
                swp08::Decoded d = swp08::decodeMessage(e.data);
                if (!d.ok() || !want(d.message)) return false;
                found = d.message;
                return true;
            },
            ms);
        return found;
    }
    std::optional<swp08::Message> awaitKind(swp08::Kind kind, int ms = kWaitMs) {
        return awaitMessage([kind](const swp08::Message& m) { return m.kind == kind; }, ms);
    }
    bool awaitAck() {
        return awaitEvent([](const swp08::Event& e) { return e.kind == swp08::Event::Kind::ack; });
    }
    bool awaitNak() {
        return awaitEvent([](const swp08::Event& e) { return e.kind == swp08::Event::Kind::nak; });
    }
    bool awaitClosed(int ms = kWaitMs) {
        awaitEvent([](const swp08::Event&) { return false; }, ms);
        return closed;
    }

    std::vector<swp08::Event> events;
    bool closed = false;
    // Run between reads while waiting: the panel thread's work (exchange).
    std::function<void()> pump;

    int fd() const { return fd_; }

private:
    // For a failed test: what this peer read last.
    void tellLastEvents() const {
        std::string text = "--- a peer (" + std::to_string(events.size()) + " events read" +
                           (closed ? ", closed" : "") + "); its last ones:\n";
        for (std::size_t i = events.size() > 8 ? events.size() - 8 : 0; i < events.size(); ++i) {
            const swp08::Event& e = events[i];
            if (e.kind == swp08::Event::Kind::frame) {
                const swp08::Decoded d = swp08::decodeMessage(e.data);
                text += "    " + (d.ok() ? swp08::describe(d.message) : "undecodable: " + d.detail) + "\n";
            } else {
                text += std::string("    ") +
                        (e.kind == swp08::Event::Kind::ack   ? "ACK"
                         : e.kind == swp08::Event::Kind::nak ? "NAK"
                                                             : "error: " + e.detail) +
                        "\n";
            }
        }
        std::fputs(text.c_str(), stderr);
    }
    // Every message the host sends, in every test, decodes and is within the
    // protocol document's size.
    static void checkSize(const swp08::Bytes& data) {
        const swp08::Decoded d = swp08::decodeMessage(data);
        EXPECT_TRUE(d.ok()) << "the host sent a message that does not decode: " << d.detail;
        EXPECT_LE(data.size(), swp08::kMessageLimit)
            << "the host sent " << data.size() << " bytes: " << (d.ok() ? swp08::describe(d.message) : d.detail);
    }
    int fd_;
    bool autoAck_;
    swp08::Decoder decoder_;
    std::size_t checked_ = 0;
};

// A listening socket on loopback: the real router a client connects to.
class Listener {
public:
    Listener() { open(0); }
    ~Listener() { stop(); }
    // Stops listening: connects to the port are refused.
    void stop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // Listens on the same port again.
    void restart() { open(port); }
    // The next connection within the wait (acknowledging its frames), else null.
    std::unique_ptr<Peer> accept(int ms = kWaitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0 || ::poll(&p, 1, ms) <= 0) return nullptr;
        return std::make_unique<Peer>(::accept(fd_, nullptr, nullptr), true);
    }
    uint16_t port = 0;

private:
    void open(uint16_t at) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = loopback(at);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
    }
    int fd_ = -1;
};

// A host of this facility with the SW-P-08 module of these routers on a
// running Runtime. The test's thread is the panel thread: pumpUntil runs
// exchange() until a condition holds.
class BridgedHost {
public:
    BridgedHost(const std::string& facilityJson, std::vector<SwpRouterConfig> routers, ClientTiming timing = {},
                ServerLimits limits = {})
        : host(facilityOf(facilityJson)) {
        host.trace().setSink([this](int64_t, TraceKind, const std::string& text) { trace.push_back(text); });
        std::vector<std::unique_ptr<Module>> modules;
        modules.push_back(std::make_unique<Swp08Module>(std::move(routers), false, timing, limits));
        runtime = std::make_unique<Runtime>(std::move(modules));
        started = runtime->start(host, error);
    }
    // A host of these modules (any protocols).
    BridgedHost(const std::string& facilityJson, std::vector<std::unique_ptr<Module>> modules)
        : host(facilityOf(facilityJson)) {
        host.trace().setSink([this](int64_t, TraceKind, const std::string& text) { trace.push_back(text); });
        runtime = std::make_unique<Runtime>(std::move(modules));
        started = runtime->start(host, error);
    }
    BridgedHost(const BridgedHost&) = delete;
    BridgedHost& operator=(const BridgedHost&) = delete;
    // A failed test says what the host did last: its trace's last 30 lines
    // and the bridges' status.
    ~BridgedHost() {
        if (!::testing::Test::HasFailure()) return;
        std::string text = "--- the host's last trace lines (of " + std::to_string(trace.size()) + "):\n";
        for (std::size_t i = trace.size() > 30 ? trace.size() - 30 : 0; i < trace.size(); ++i)
            text += "    " + trace[i] + "\n";
        if (runtime) {
            const std::string status = runtime->statusJson();
            text += "--- its bridges: " + status.substr(0, status.find(",\"limits\"")) + "\n";
        }
        std::fputs(text.c_str(), stderr);
    }
    static Facility facilityOf(const std::string& json) {
        Facility f;
        std::string why;
        if (!Facility::parse(json, "test.json", f, why)) throw std::runtime_error(why);
        return f;
    }
    bool pumpUntil(const std::function<bool()>& done, int ms = kWaitMs) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            runtime->exchange(host);
            if (done()) return true;
            if (Clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Pumps until the page's status holds this text.
    bool pumpUntilStatus(const std::string& text) {
        return pumpUntil([&] { return runtime->statusJson().find(text) != std::string::npos; });
    }
    // Waits of this peer do the panel thread's work too.
    Peer& pumping(Peer& peer) {
        peer.pump = [this] { runtime->exchange(host); };
        return peer;
    }
    bool traced(const std::string& text) const {
        for (const auto& line : trace) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    int32_t crosspoint(int32_t device, int32_t destination) {
        return host.facility().router(device)->crosspoints[static_cast<std::size_t>(destination)];
    }

    std::vector<std::string> trace;
    SimHost host;
    std::unique_ptr<Runtime> runtime;  // after host: stops first
    bool started = false;
    std::string error;
};

inline SwpRouterConfig served(int32_t device, uint16_t port, uint8_t level = 0) {
    SwpRouterConfig c;
    c.device = device;
    c.level = level;
    c.listen = true;
    c.at = {"127.0.0.1", port};
    return c;
}

inline swp08::Message crosspointMessage(swp08::Kind kind, uint16_t destination, uint16_t source = 0,
                                        swp08::Form form = swp08::Form::plain, uint8_t level = 0) {
    swp08::Message m;
    m.kind = kind;
    m.form = form;
    m.level = level;
    m.destination = destination;
    m.source = source;
    return m;
}

}  // namespace zarn_host::bridges::testing
