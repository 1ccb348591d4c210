// What a protocol does with the facility, as the runtime sees it: serve a
// router to outside controllers, back a router by a real one, send displays.
// A protocol is a folder of host/bridges/ with a Module and a line in the
// table of host/bridges/bridge_modules.cpp.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zarn_host {
class SimHost;
}

namespace zarn_host::bridges {

class Runtime;

// A route made in a watched router (one a change, in the order made, also
// when the source stayed), or a crosspoint that changed without a route; in
// facility numbers (source 0: no source).
struct CrosspointChange {
    int32_t device = 0;
    int32_t destination = 0;
    int32_t source = 0;
    // The router that backs the device said so (Runtime::takeFromRouter):
    // served peers hear it; the backing client does not send it back.
    bool fromRouter = false;
};

// One protocol's bridges, made from its keys of the facility file. The
// runtime owns it and calls start, handOn and status on the panel thread and
// stop on the I/O thread; what the module does on the I/O thread it posts to
// Runtime::io().
class Module {
public:
    virtual ~Module() = default;
    // Once, before the I/O thread runs: checks its configuration against the
    // facility, opens what it listens on, asks rt to watch the routers whose
    // changes it hands on, and posts its first work. False with a one-line
    // error.
    virtual bool start(Runtime& rt, SimHost& host, std::string& error) = 0;
    // At every exchange, after what the peers sent was applied: the routes
    // made and other changes in the watched routers since the last one, and
    // the host to read panels from.
    virtual void handOn(SimHost& host, const std::vector<CrosspointChange>& changes) = 0;
    // Appends its entries to page["bridges"] (and page["umd"]) for the page.
    virtual void status(nlohmann::json& page) const = 0;
    // What the page calls the protocol ("SW-P-08"); the runtime adds it to
    // each of the module's entries as "label".
    virtual const char* label() const = 0;
    // Once, as the runtime stops: closes its sockets and cancels its timers.
    // What the closes complete is not run.
    virtual void stop() = 0;
};

}  // namespace zarn_host::bridges
