// Facility routers served over Ember+: a Provider per listen address (one
// tree, a node per router), a Consumer per connection. What a consumer asks
// is answered from the provider's tree; a connect goes to the panel thread
// as an outside route.
#pragma once

#include <array>
#include <asio.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bridges/codecs/ember_glow.h"
#include "bridges/codecs/ember_s101.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/emberplus/ember_tree.h"
#include "bridges/runtime/facility_keys.h"
#include "bridges/runtime/runtime.h"

namespace zarn_host::bridges {

struct ProviderLimits {
    std::size_t maxPendingWrite = 4 * 1024 * 1024;  // a consumer that does not read is dropped
    std::size_t maxConsumers = 64;                  // per listen address
    std::size_t maxMessage = 1024 * 1024;           // a longer message from a consumer drops it
};

class Provider;

// One consumer's connection. I/O thread only.
class Consumer : public std::enable_shared_from_this<Consumer> {
public:
    Consumer(Provider& provider, asio::ip::tcp::socket socket);
    void start();
    void send(const ember::GlowMessage& message);
    void sendBytes(const ember::Bytes& bytes);  // a packet
    void close();
    std::string peer;
    std::set<std::size_t> subscribed;  // routers whose connections it follows
    bool panelSubscribed = false;      // it follows the panel node's values

private:
    void read();
    void writeNext();
    void onMessage(const ember::Bytes& bytes);
    void walk(const ember::Element& e, const ember::Path& parent);
    void command(const ember::Element& c, const ember::Path& path);
    void onConnections(const ember::Path& path, const std::vector<ember::Connection>& connections);
    void answer(std::size_t index, int32_t target, int32_t source, ember::ConnectionDisposition disposition);
    // ember_panel.cpp: a write to a list's parameter picks; an invoke presses.
    void onWrite(std::size_t item, const ember::Value& value);
    void onInvoke(std::size_t item, const ember::Element& command);
    Provider& provider_;
    asio::ip::tcp::socket socket_;
    ember::S101Decoder decoder_;
    std::array<uint8_t, 8192> buffer_{};
    std::deque<ember::Bytes> out_;  // the front is being written
    std::size_t pending_ = 0;
    bool closed_ = false;
};

// A listen address and the tree served on it. Made and opened on the panel
// thread before the I/O thread runs; then the I/O thread owns the acceptor,
// the consumers and the tree. The panel thread reads at, the tree's devices
// (never changed after start) and the counters (atomics), and posts
// crosspoint changes.
class Provider {
public:
    Provider(Runtime& rt, Endpoint at, ProviderLimits limits = {})
        : rt(rt), io(rt.io()), at(std::move(at)), limits(limits), acceptor(io) {}
    bool open(std::string& error);
    void accept();
    // The connection of target (0-based) of router index changed.
    void changed(std::size_t index, int32_t target, int32_t source);
    // Panel item index shows value now (ember_panel.cpp).
    void panelChanged(std::size_t index, const std::string& value);
    void close();
    std::string where() const { return "emberplus " + at.text(); }
    Runtime& rt;
    asio::io_context& io;
    const Endpoint at;
    const ProviderLimits limits;
    asio::ip::tcp::acceptor acceptor;
    EmberTree tree;
    std::vector<EmberPanelItem> panelItems;  // what tree.panel serves; constant after start
    std::set<std::shared_ptr<Consumer>> consumers;
    std::atomic<int> count{0};
    std::atomic<uint64_t> badMessages{0};
};

// A short text of a Glow message for the trace.
std::string describeGlow(const ember::GlowMessage& m);

}  // namespace zarn_host::bridges
