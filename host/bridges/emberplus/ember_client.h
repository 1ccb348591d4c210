// A facility router backed by a matrix of an Ember+ provider: a client that
// connects (ReconnectingClient: reconnects with back-off), reads the matrix, its
// connections and labels and subscribes to it on every connect, sends the
// panel's routes as connection requests and hands the provider's connection
// changes to the panel thread.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "bridges/codecs/ember_glow.h"
#include "bridges/codecs/ember_s101.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/runtime/reconnecting_client.h"
#include "bridges/runtime/runtime.h"

namespace zarn_host::bridges {

// Made on the panel thread before the I/O thread runs; then everything but
// statusText() and badMessages (the panel thread reads them for the page)
// and the constants config and destinations is the I/O thread's. A
// provider silent for a while is sent a keep-alive request; one that
// answers none is taken for lost, as when the connection drops.
class EmberClient {
public:
    EmberClient(Runtime& rt, EmberRouterConfig config, int32_t destinations, ClientTiming timing = {},
                int keepAliveMs = limits::kEmberKeepAliveMs);
    // I/O thread.
    void connect();
    void connectRoute(int32_t target, int32_t source);  // 0-based
    void close();

    const EmberRouterConfig config;
    const int32_t destinations;
    std::atomic<uint64_t> badMessages{0};
    std::string at() const { return config.at.text(); }
    std::string statusText() const { return link_.statusText(); }

private:
    void connected();
    void onData(const uint8_t* data, std::size_t n);
    void send(const ember::GlowMessage& m);
    void request(const ember::Path& path, ember::CommandType command);
    void onMessage(const ember::Bytes& bytes);
    void onElement(const ember::Element& e, const ember::Path& path);
    std::string where() const { return "emberplus " + at(); }
    Runtime& rt_;
    ReconnectingClient link_;
    ember::S101Decoder decoder_;
    ember::Path labels_;                   // the matrix's labels node, once known
    std::map<uint32_t, bool> labelNodes_;  // a child of labels_: true for targets, false for sources
};

}  // namespace zarn_host::bridges
