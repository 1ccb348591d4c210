// A facility router backed by a matrix of an Ember+ provider: a client that
// connects (and reconnects with back-off), reads the matrix, its
// connections and labels and subscribes to it on every connect, sends the
// panel's routes as connection requests and hands the provider's connection
// changes to the panel thread.
#pragma once

#include <array>
#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "bridges/codecs/ember_glow.h"
#include "bridges/codecs/ember_s101.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/runtime/runtime.h"

namespace zarn_host::bridges {

// Reconnects wait firstBackoffMs, doubling up to mostBackoffMs, reset by a
// connect; a provider that has not sent the matrix settleMs after the
// connect holds up no start.
struct EmberClientTiming {
    int firstBackoffMs = 250;
    int mostBackoffMs = 5000;
    int settleMs = 1000;
};

enum class EmberClientState { connecting, connected, reconnecting };

// Made on the panel thread before the I/O thread runs; then everything but
// state (an atomic the panel thread reads for the page) and the constants
// config and destinations is the I/O thread's.
class EmberClient {
public:
    EmberClient(Runtime& rt, EmberRouterConfig config, int32_t destinations, EmberClientTiming timing = {});
    // I/O thread.
    void connect();
    void connectRoute(int32_t target, int32_t source);  // 0-based
    void close();

    const EmberRouterConfig config;
    const int32_t destinations;
    std::atomic<EmberClientState> state{EmberClientState::connecting};
    std::atomic<uint64_t> badMessages{0};
    std::string at() const { return config.at.text(); }

private:
    void read();
    void lost(const std::string& why);
    void send(const ember::GlowMessage& m);
    void writeNext();
    void request(const ember::Path& path, ember::CommandType command);
    void onMessage(const ember::Bytes& bytes);
    void onElement(const ember::Element& e, const ember::Path& path);
    void settle();
    std::string where() const { return "emberplus " + at(); }
    Runtime& rt_;
    asio::io_context& io_;
    EmberClientTiming timing_;
    int nextBackoffMs_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_, settleTimer_;
    ember::S101Decoder decoder_;
    std::array<uint8_t, 8192> buffer_{};
    std::deque<ember::Bytes> out_;  // the front is being written
    bool up_ = false;
    bool settled_ = false;                 // the first connect has failed or read the matrix
    ember::Path labels_;                   // the matrix's labels node, once known
    std::map<uint32_t, bool> labelNodes_;  // a child of labels_: true for targets, false for sources
};

}  // namespace zarn_host::bridges
