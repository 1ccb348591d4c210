// A TSL UMD sender: shows displays over UDP or TCP, one display a packet,
// each when it changes and all of them again every repeat_ms. A TCP sender
// is a ReconnectingClient (back-off, a bounded queue: a display that does
// not read is dropped and connected again) and sends every display again
// on each connect.
#pragma once

#include <asio.hpp>
#include <cstdint>
#include <map>
#include <memory>

#include "bridges/codecs/tsl_umd.h"
#include "bridges/runtime/reconnecting_client.h"
#include "bridges/runtime/runtime.h"
#include "bridges/tsl_umd/umd_config.h"

namespace zarn_host::bridges {

// Made on the panel thread before the I/O thread runs; then the I/O thread's
// alone (the panel thread posts show()), but for config, which never
// changes, and statusText().
class Sender {
public:
    Sender(Runtime& rt, SenderConfig config);
    // I/O thread.
    void start();
    void show(const tsl::Display& d);
    void close();
    const SenderConfig config;
    std::string target() const { return std::string(config.tcp ? "tcp://" : "udp://") + config.at.text(); }
    // "sending to udp://...", or the TCP connection's state.
    std::string statusText() const;

private:
    void sendOne(const tsl::Display& d);
    void repeat();
    void resolved(const asio::error_code& ec, const asio::ip::udp::resolver::results_type& found);
    Runtime& rt_;
    asio::io_context& io_;
    asio::ip::udp::resolver udpResolver_;
    asio::ip::udp::socket udpSocket_;
    asio::ip::udp::endpoint udpTo_;
    std::unique_ptr<ReconnectingClient> tcp_;
    asio::steady_timer timer_;
    std::map<uint16_t, tsl::Display> shown_;
};

}  // namespace zarn_host::bridges
