// One TCP connection to a peer, as every protocol's server side and client
// use it: reads handed to the protocol, one write at a time carrying all
// that waits (an answer and its acknowledgement go out together), a limit on
// the bytes that wait (a peer that does not read is dropped rather than
// kept in memory), and an optional watch on a silent peer.
#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarn_host::bridges {

// Why a link closed.
enum class LinkEnd : uint8_t {
    local = 0,        // close() was called: the owner knows
    peer_closed = 1,  // the peer closed the connection
    failed = 2,       // a read or a write failed (a reset, keep-alive found it dead)
    not_reading = 3,  // more than the limit waited for the peer
    silent = 4,       // the peer answered no keep-alive request
    evicted = 5,      // its listener was full and it had been silent longest
};
// "closed by the peer", "does not read", ...
const char* linkEndText(LinkEnd end);

// Sets no-delay (small packets go out as written, not after the peer's
// delayed acknowledgement) and TCP keep-alive (limits.h) on a connected
// socket.
void tuneSocket(asio::ip::tcp::socket& socket);

// I/O thread only. Made by a PeerListener or a ReconnectingClient; its owner
// starts it and holds it while it wants the peer. Callbacks run on the I/O
// thread and never after close() or once the link has closed itself.
class PeerLink : public std::enable_shared_from_this<PeerLink> {
public:
    using Bytes = std::vector<uint8_t>;
    // What was read; sends made during the call go out in one write after it.
    using OnData = std::function<void(const uint8_t* data, std::size_t size)>;
    // The link closed itself (never for LinkEnd::local); detail is the
    // system's text for failed.
    using OnClosed = std::function<void(LinkEnd end, const std::string& detail)>;

    PeerLink(asio::ip::tcp::socket socket, std::size_t maxWaiting);
    PeerLink(const PeerLink&) = delete;
    PeerLink& operator=(const PeerLink&) = delete;

    void start(OnData onData, OnClosed onClosed);
    // Queues bytes; false (and the link closed as not_reading) when more
    // than the limit would wait.
    bool send(Bytes bytes);
    // After silence without a byte from the peer, sends probe; when the peer
    // then stays silent as long again, closes as silent. Before start.
    void watchSilence(std::chrono::milliseconds silence, Bytes probe);
    void close(LinkEnd end = LinkEnd::local, const std::string& detail = {});
    // The listener's: runs once whenever the link closes, after OnClosed.
    void onDetach(std::function<void()> detach) { detach_ = std::move(detach); }

    bool closed() const { return closed_; }
    LinkEnd end() const { return end_; }               // once closed
    const std::string& peer() const { return peer_; }  // "address:port"
    const asio::ip::address& address() const { return address_; }
    std::chrono::steady_clock::time_point lastHeard() const { return lastHeard_; }
    std::size_t waiting() const { return waiting_; }

private:
    void read();
    void flush();
    void armWatch();
    asio::ip::tcp::socket socket_;
    const std::size_t maxWaiting_;
    std::string peer_;
    asio::ip::address address_;
    OnData onData_;
    OnClosed onClosed_;
    std::function<void()> detach_;
    std::array<uint8_t, 8192> buffer_{};
    std::deque<Bytes> out_;  // the first writing_ are being written
    std::size_t writing_ = 0;
    std::size_t waiting_ = 0;  // bytes in out_
    bool holding_ = false;     // while a read is handled
    bool closed_ = false;
    LinkEnd end_ = LinkEnd::local;
    std::chrono::steady_clock::time_point lastHeard_;
    asio::steady_timer watch_;
    std::chrono::milliseconds silence_{0};
    Bytes probe_;
    bool probed_ = false;   // a probe went out since the peer last spoke
    bool reading_ = false;  // a read is in flight
};

}  // namespace zarn_host::bridges
