// A TSL UMD sender: shows displays over UDP or TCP, one display a packet,
// each when it changes and all of them again every repeat_ms; a TCP sender
// reconnects every 2 s.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <map>

#include "bridges/codecs/tsl_umd.h"
#include "bridges/runtime/runtime.h"
#include "bridges/tsl_umd/umd_config.h"

namespace zarn_host::bridges {

// Made on the panel thread before the I/O thread runs; then the I/O thread's
// alone (the panel thread posts show()), but for config, which never changes.
class Sender {
public:
    Sender(Runtime& rt, SenderConfig config)
        : config(std::move(config)),
          rt_(rt),
          io_(rt.io()),
          udpSocket_(io_),
          tcpSocket_(io_),
          timer_(io_),
          retry_(io_) {}
    // I/O thread.
    void start();
    void show(const tsl::Display& d);
    void close();
    const SenderConfig config;
    std::string target() const { return std::string(config.tcp ? "tcp://" : "udp://") + config.at.text(); }

private:
    void sendOne(const tsl::Display& d);
    void repeat();
    void connectTcp();
    Runtime& rt_;
    asio::io_context& io_;
    asio::ip::udp::socket udpSocket_;
    asio::ip::udp::endpoint udpTo_;
    asio::ip::tcp::socket tcpSocket_;
    bool tcpUp_ = false;
    asio::steady_timer timer_, retry_;
    std::map<uint16_t, tsl::Display> shown_;
};

}  // namespace zarn_host::bridges
