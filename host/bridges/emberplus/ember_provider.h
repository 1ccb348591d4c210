// Facility routers served over Ember+: a Provider per listen address (one
// tree, a node per router), a Consumer per connection. What a consumer asks
// is answered from the provider's tree; a connect goes to the panel thread
// as an outside route.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
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
#include "bridges/runtime/limits.h"
#include "bridges/runtime/listener.h"
#include "bridges/runtime/runtime.h"

namespace zarn_host::bridges {

struct ProviderLimits {
    std::size_t maxPendingWrite = limits::kEmberWaitingBytes;  // a consumer that does not read is dropped
    std::size_t maxConsumers = limits::kPeersPerListener;      // per listen address, then the silent longest goes
    std::size_t maxPerAddress = limits::kPeersPerAddress;      // from one remote address, likewise
    std::size_t maxMessage = limits::kEmberMessageBytes;       // a longer message from a consumer drops it
    int keepAliveMs = limits::kEmberKeepAliveMs;               // silent this long: asked; as long again: dropped
    int requestsPerSecond = limits::kEmberRequestsPerSecond;   // beyond (and the burst), read at this rate
    int requestBurst = limits::kEmberRequestBurst;
    std::size_t maxQueued = limits::kEmberQueuedMessages;  // more waiting for the rate: dropped
};

class Provider;

// One consumer's connection (its PeerLink). I/O thread only. A consumer
// silent for a while is sent a keep-alive request and dropped when it
// answers none; one sending messages faster than requestsPerSecond (past
// the burst) is answered at that rate, and dropped when more than
// maxQueued messages (or maxMessage bytes of them) wait.
class Consumer : public std::enable_shared_from_this<Consumer> {
public:
    Consumer(Provider& provider, std::shared_ptr<PeerLink> link);
    void start();
    void send(const ember::GlowMessage& message);
    void sendBytes(const ember::Bytes& bytes);  // a packet
    void close();
    std::string peer;
    std::set<std::size_t> subscribed;  // routers whose connections it follows
    bool panelSubscribed = false;      // it follows the panel node's values

private:
    void onData(const uint8_t* data, std::size_t n);
    void onClosed(LinkEnd end);
    void onMessage(const ember::Bytes& bytes);
    void walk(const ember::Element& e, const ember::Path& parent);
    void command(const ember::Element& c, const ember::Path& path);
    // Handles the waiting messages while the budget lasts; the rest wait
    // until it is back.
    void drain();
    void onConnections(const ember::Path& path, const std::vector<ember::Connection>& connections);
    void answer(std::size_t index, int32_t target, int32_t source, ember::ConnectionDisposition disposition);
    // ember_panel.cpp: a write to a list's parameter picks; an invoke presses.
    void onWrite(std::size_t item, const ember::Value& value);
    void onInvoke(std::size_t item, const ember::Element& command);
    Provider& provider_;
    std::shared_ptr<PeerLink> link_;
    ember::S101Decoder decoder_;
    double budget_;  // messages it may send now
    std::chrono::steady_clock::time_point refilled_;
    std::deque<ember::Bytes> waiting_;  // messages read, not handled yet
    asio::steady_timer drainTimer_;
    std::size_t waitingBytes_ = 0;  // in waiting_
    bool draining_ = false;         // drainTimer_ runs
    bool closed_ = false;
};

// A listen address (a PeerListener) and the tree served on it. Made and
// opened on the panel thread before the I/O thread runs; then the I/O
// thread owns the listener,
// the consumers and the tree. The panel thread reads at, the tree's devices
// (never changed after start) and the counters (atomics), and posts
// crosspoint changes.
class Provider {
public:
    Provider(Runtime& rt, Endpoint at, ProviderLimits limits = {})
        : rt(rt),
          io(rt.io()),
          at(at),
          limits(limits),
          listener(rt, std::move(at), "emberplus", "consumer",
                   ListenerLimits{limits.maxPerAddress, limits.maxConsumers, limits.maxPendingWrite}) {}
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
    PeerListener listener;
    EmberTree tree;
    std::vector<EmberPanelItem> panelItems;  // what tree.panel serves; constant after start
    std::set<std::shared_ptr<Consumer>> consumers;
    std::atomic<int> count{0};
    std::atomic<uint64_t> badMessages{0};
    std::atomic<uint64_t> throttled{0};  // times a consumer's messages waited for its rate
    std::atomic<uint64_t> floods{0};     // consumers dropped for asking far ahead of what they read
};

// A short text of a Glow message for the trace.
std::string describeGlow(const ember::GlowMessage& m);

}  // namespace zarn_host::bridges
