// A facility router backed by a real router over SW-P-08: a client that
// connects (and reconnects with back-off), reads the router's crosspoints
// (and names) on every connect, sends the panel's routes as connects and
// hands the router's tallies to the panel thread.
#pragma once

#include <array>
#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "bridges/codecs/swp08.h"
#include "bridges/runtime/runtime.h"
#include "bridges/swp08/swp08_config.h"

namespace zarn_host::bridges {

// The client's times: reconnects wait firstMs, doubling up to mostMs, reset
// by a connect; tickMs paces resends of unacknowledged frames.
struct ClientTiming {
    int firstBackoffMs = 250;
    int mostBackoffMs = 5000;
    int tickMs = 200;
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

// Made on the panel thread before the I/O thread runs; then everything but
// state (an atomic the panel thread reads for the page) and the constants
// config and destinations is the I/O thread's.
class Client {
public:
    Client(Runtime& rt, SwpRouterConfig config, int32_t destinations, ClientTiming timing = {});
    // I/O thread.
    void connect();
    void connectRoute(uint16_t destination, uint16_t source);
    void close();

    const SwpRouterConfig config;
    const int32_t destinations;
    std::atomic<ClientState> state{ClientState::connecting};
    std::string at() const { return config.at.text(); }

private:
    void read();
    void lost(const std::string& why);
    void write(const swp08::Bytes& bytes);
    void writeNext();
    void onFrame(const swp08::Bytes& data);
    void tick();
    void settle();
    Runtime& rt_;
    asio::io_context& io_;
    ClientTiming timing_;
    Backoff backoff_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_, ticker_;
    swp08::Decoder decoder_;
    swp08::Transmitter transmitter_;
    std::array<uint8_t, 4096> buffer_{};
    std::deque<swp08::Bytes> out_;  // the first writing_ are being written
    std::size_t writing_ = 0;
    bool holding_ = false;  // while a read is handled: its ACKs and frames go out in one write
    int ticks_ = 0;
    bool up_ = false;
    bool settled_ = false;  // the first connect has failed or read the crosspoints
};

}  // namespace zarn_host::bridges
