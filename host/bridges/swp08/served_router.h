// Facility routers served over SW-P-08 to outside controllers: a Server per
// listen address, a Controller per connection. What a controller asks is
// answered from the server's Mirror of each router; a connect goes to the
// panel thread as an outside route.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bridges/codecs/swp08.h"
#include "bridges/runtime/facility_keys.h"
#include "bridges/runtime/limits.h"
#include "bridges/runtime/listener.h"
#include "bridges/runtime/runtime.h"
#include "model/facility.h"

namespace zarn_host::bridges {

// One router as a server sees it: a copy of its crosspoints (wire numbers,
// noSource for none) and names, kept by the panel thread's posts.
struct Mirror {
    int32_t device = 0;
    uint8_t matrix = 0, level = 0;
    int32_t sourceCount = 0;               // the router's sources
    uint16_t noSource = swp08::kNoSource;  // "no source" on the wire: noSourceFor(sourceCount)
    std::vector<uint16_t> sources;         // by wire destination
    std::vector<std::string> sourceNames, destinationNames;
    std::map<uint16_t, uint16_t> protects;  // wire destination -> the device holding its protect
};

// The crosspoints a salvo group holds: a salvo interrogate's index is a byte.
inline constexpr std::size_t kSalvoEntries = 256;

struct ServerLimits {
    std::size_t maxPendingWrite = limits::kSwp08WaitingBytes;  // a controller that does not read is dropped
    std::size_t maxControllers = limits::kPeersPerListener;    // per listen address, then the silent longest goes
    std::size_t maxPerAddress = limits::kPeersPerAddress;      // from one remote address, likewise
};

class Server;

// One controller's connection (its PeerLink). I/O thread only. A
// controller that only listens is never dropped for silence: controllers
// may be idle for hours. Only its listener's rule makes it go.
class Controller : public std::enable_shared_from_this<Controller> {
public:
    Controller(Server& server, std::shared_ptr<PeerLink> link);
    void start();
    void send(const swp08::Bytes& bytes);
    void close();
    std::string peer;
    bool extended = false;  // it spoke the extended commands: it hears them too

private:
    void onData(const uint8_t* data, std::size_t n);
    void onClosed(LinkEnd end);
    void onFrame(const swp08::Bytes& data);
    void onConnect(const swp08::Message& m, const Mirror& mirror);
    void onSalvo(const swp08::Message& m, const std::string& where);
    void onProtect(const swp08::Message& m, const Mirror& mirror);
    Server& server_;
    std::shared_ptr<PeerLink> link_;
    swp08::Decoder decoder_;
    std::set<uint8_t> unsupported_;  // commands traced as not supported
    bool closed_ = false;
};

// A listen address (a PeerListener) and the routers served on it. Made and
// opened on the panel thread before the I/O thread runs; then the I/O
// thread owns the listener, the controllers and the mirrors' sources, names and
// protects. The panel thread reads at, the mirrors' device, matrix, level,
// sourceCount and noSource (never changed after start) and the counters
// (atomics), and posts crosspoint changes.
class Server {
public:
    Server(Runtime& rt, Endpoint at, ServerLimits limits = {})
        : rt(rt),
          io(rt.io()),
          at(at),
          limits(limits),
          listener(rt, std::move(at), "swp08", "controller",
                   ListenerLimits{limits.maxPerAddress, limits.maxControllers, limits.maxPendingWrite}) {}
    bool open(std::string& error);
    void accept();
    void broadcast(const swp08::Message& m);
    Mirror* mirror(uint8_t matrix, uint8_t level);
    void close();
    Runtime& rt;
    asio::io_context& io;
    const Endpoint at;
    const ServerLimits limits;
    PeerListener listener;
    std::vector<Mirror> mirrors;
    // Salvo groups (0-127): crosspoints stored by connect on go messages,
    // in wire numbers, until a go sets or clears them.
    struct Stored {
        uint8_t matrix, level;
        uint16_t destination, source;
    };
    std::map<uint8_t, std::vector<Stored>> salvos;
    // Panel thread: the routes a salvo go made since the last exchange, in
    // order, which give no connected messages.
    std::vector<RouteMade> salvoRoutes;
    std::set<std::shared_ptr<Controller>> controllers;
    std::atomic<int> count{0};
    std::atomic<uint64_t> badFrames{0};
};

}  // namespace zarn_host::bridges
