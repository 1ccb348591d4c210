// A facility router backed by a real router over SW-P-08: a client that
// connects (ReconnectingClient: reconnects with back-off), reads the router's crosspoints
// (and names) on every connect, sends the panel's routes as connects and
// hands the router's tallies to the panel thread.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <string>

#include "bridges/codecs/swp08.h"
#include "bridges/runtime/reconnecting_client.h"
#include "bridges/runtime/runtime.h"
#include "bridges/swp08/swp08_config.h"

namespace zarn_host::bridges {

// Made on the panel thread before the I/O thread runs; then everything but
// link_.state and statusText() (the panel thread reads them for the page)
// and the constants config and destinations is the I/O thread's.
class Client {
public:
    Client(Runtime& rt, SwpRouterConfig config, int32_t destinations, ClientTiming timing = {});
    // I/O thread.
    void connect();
    void connectRoute(uint16_t destination, uint16_t source);
    void close();

    const SwpRouterConfig config;
    const int32_t destinations;
    std::string at() const { return config.at.text(); }
    ClientState state() const { return link_.state; }
    std::string statusText() const { return link_.statusText(); }

private:
    void connected();
    void onData(const uint8_t* data, std::size_t n);
    void write(const swp08::Bytes& bytes);
    void onFrame(const swp08::Bytes& data);
    void tick();
    Runtime& rt_;
    ClientTiming timing_;
    ReconnectingClient link_;
    asio::steady_timer ticker_;
    swp08::Decoder decoder_;
    swp08::Transmitter transmitter_;
};

}  // namespace zarn_host::bridges
