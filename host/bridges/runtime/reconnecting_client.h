// The client side of any protocol: resolves (asynchronously: a slow name
// stalls no other bridge) and connects, reconnects after a loss with
// back-off, settles the host's wait for the first connects, hands the
// device online and offline to the panel thread, and says its state for
// the page. The protocol is told of each connection and what it reads.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bridges/runtime/facility_keys.h"
#include "bridges/runtime/limits.h"
#include "bridges/runtime/peer_link.h"

namespace zarn_host::bridges {

class Runtime;

// Reconnects wait firstBackoffMs, doubling up to mostBackoffMs, reset by a
// connect; tickMs paces a protocol's own timer (SW-P-08's resends); a peer
// that has not sent what the first connect waits for settleMs after it
// holds up no start.
struct ClientTiming {
    int firstBackoffMs = limits::kFirstBackoffMs;
    int mostBackoffMs = limits::kMostBackoffMs;
    int tickMs = 200;
    int settleMs = limits::kSettleMs;
};

// The wait before each reconnect.
class Backoff {
public:
    explicit Backoff(const ClientTiming& timing) : timing_(timing), nextMs_(timing.firstBackoffMs) {}
    // The wait before this reconnect; the next one waits twice as long, at most mostBackoffMs.
    int next();
    void reset() { nextMs_ = timing_.firstBackoffMs; }

private:
    ClientTiming timing_;
    int nextMs_;
};

// What the page says of a client.
enum class ClientState { connecting, connected, reconnecting };

struct ClientOptions {
    std::string what;      // "swp08", "emberplus", "umd": the trace's first word
    std::string peer;      // "router", "provider", "display": what it connects to
    int32_t device = 0;    // handed online and offline; 0: none
    bool awaited = false;  // the host's start waits for its first connect to settle
    std::size_t maxWaiting = limits::kSwp08WaitingBytes;
    int silenceMs = 0;  // with a probe: the link's silence watch (PeerLink::watchSilence)
    PeerLink::Bytes probe;
};

// Made on the panel thread before the I/O thread runs; then the I/O
// thread's, but for state (an atomic the panel thread reads) and the
// constants at and options.
class ReconnectingClient {
public:
    struct Events {
        std::function<void()> connected;                                  // the link is up: send what a connect sends
        std::function<void(const uint8_t* data, std::size_t size)> data;  // as PeerLink::OnData
        std::function<void()> down;                                       // the link is gone (before a reconnect)
    };
    ReconnectingClient(Runtime& rt, Endpoint at, ClientOptions options, ClientTiming timing = {});
    // I/O thread.
    void start(Events events);
    // Sends while connected; bytes sent otherwise are dropped.
    void send(PeerLink::Bytes bytes);
    // The protocol has read what a first connect waits for.
    void settle();
    // The protocol drops the connection (a message too long); it reconnects.
    void drop(const std::string& why);
    void close();
    bool up() const { return link_ != nullptr; }
    PeerLink* link() { return link_.get(); }

    // Any thread.
    std::string statusText() const;  // "connected to 127.0.0.1:9000"

    const Endpoint at;
    const ClientOptions options;
    std::atomic<ClientState> state{ClientState::connecting};

private:
    void connect();
    void lost(const std::string& why);
    Runtime& rt_;
    ClientTiming timing_;
    Backoff backoff_;
    Events events_;
    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::socket socket_;  // while connecting
    asio::steady_timer timer_, settleTimer_;
    std::shared_ptr<PeerLink> link_;
    bool settled_ = false;
    bool closed_ = false;
};

}  // namespace zarn_host::bridges
