// The facility a simulated host serves: named device instances, device
// databases and routers, read from a JSON file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zarn_host {

struct DeviceInstance {
    std::string name;
    int32_t device = 0;
    int32_t offset = 0;
};

// Who holds a destination's lock: the host's own side (the facility file, a
// scenario step, the page) or an outside controller by its device number.
struct LockOwner {
    enum class Kind : uint8_t { facility, scenario, page, controller };
    Kind kind = Kind::scenario;
    int32_t device = 0;  // a controller's device number
    bool operator==(const LockOwner& o) const {
        return kind == o.kind && (kind != Kind::controller || device == o.device);
    }
    bool operator!=(const LockOwner& o) const { return !(*this == o); }
    static LockOwner controller(int32_t device) { return {Kind::controller, device}; }
};
// "facility file", "scenario", "page", "controller 5".
std::string describe(const LockOwner& owner);
// A lock owner as a step names it: "scenario", "page", or a controller's
// device number (0-65535).
std::optional<LockOwner> parseLockOwner(const std::string& text);

// Sources and destinations are numbered from 1; source 0 means not routed.
struct Router {
    int32_t device = 0;
    int32_t sources = 0;
    int32_t destinations = 0;
    std::map<int32_t, std::string> sourceNames;
    std::map<int32_t, std::string> destinationNames;
    std::vector<int32_t> crosspoints;     // by destination, index 0 unused
    std::map<int32_t, LockOwner> locked;  // destination -> who holds its lock
    // Destination ranges the panel registered for revertives.
    std::vector<std::pair<int32_t, int32_t>> registrations;

    bool validDestination(int32_t d) const { return d >= 1 && d <= destinations; }
    bool validSource(int32_t s) const { return s >= 1 && s <= sources; }
    bool registered(int32_t destination) const;
    // Revertive text: the source's name, or its number when it has none; an
    // empty text when the destination carries no source (0), which a panel
    // can show as it is or tell apart from every source.
    std::string sourceText(int32_t source) const;
    std::optional<int32_t> findSource(const std::string& nameOrNumber) const;
    std::optional<int32_t> findDestination(const std::string& nameOrNumber) const;
};

enum class RouteResult { done, unknownDevice, offline, badSource, badDestination, locked };
// A route made, whoever made it (the panel, a scenario step, the page, a
// peer), also one that left the source as it was.
struct RouteMade {
    int32_t device = 0;
    int32_t destination = 0;
    int32_t source = 0;
};
const char* describe(RouteResult result);

class Facility {
public:
    // Reads and checks a facility file; on failure error names the file and
    // the line (syntax) or the JSON path (content) at fault.
    static bool load(const std::string& path, Facility& facility, std::string& error);
    static bool parse(const std::string& text, const std::string& fileName, Facility& facility, std::string& error);
    // The keys of a router entry the facility itself reads; the bridges
    // read their protocols' keys and refuse any other.
    static const std::vector<std::string>& routerKeys();

    const DeviceInstance* instance(const std::string& name) const;
    // A device given by instance name or by number.
    std::optional<int32_t> findDevice(const std::string& nameOrNumber) const;
    // The router destinations a router instance spans: from its offset + 1 to
    // the next instance's offset on the same router (the router's last
    // destination for the highest one); first > last when it spans none, and
    // nullopt when the instance's device is no router.
    std::optional<std::pair<int32_t, int32_t>> instanceDestinations(const DeviceInstance& instance) const;
    bool knownDevice(int32_t device) const;
    Router* router(int32_t device);
    const Router* router(int32_t device) const;
    // Null when the device, database or entry does not exist.
    const std::string* databaseEntry(int32_t device, int32_t database, int32_t index) const;
    bool hasDatabase(int32_t device, int32_t database) const;

    bool online(int32_t device) const { return offline_.count(device) == 0; }
    void setOnline(int32_t device, bool on);

    RouteResult route(int32_t device, int32_t destination, int32_t source);
    // While on, every route made is kept, in order, until taken: the bridges
    // tell their peers of each one, not only of the crosspoints that changed.
    void recordRoutes(bool on) { recording_ = on; }
    std::vector<RouteMade> takeRoutesMade() { return std::exchange(routesMade_, {}); }
    // Forgets the routes made since the count was `count` (a route the
    // bridges took from a router is not told back to it).
    std::size_t routesMadeCount() const { return routesMade_.size(); }
    void forgetRoutesSince(std::size_t count) {
        if (count < routesMade_.size()) routesMade_.resize(count);
    }

    const std::vector<DeviceInstance>& instances() const { return instances_; }
    const std::map<int32_t, Router>& routers() const { return routers_; }

    // The built-in facility, for a panel tried without a facility file: every
    // device instance looked up exists (a router of builtInRouterSize sources
    // and destinations, numbered from builtInFirstDevice on in look-up order,
    // large so that a cut digit shows), and each of its database entries
    // reads as its own index. Look-ups of anything else answer null.
    static Facility builtIn();
    // The instance named, created when the facility invents instances; null otherwise.
    const DeviceInstance* lookUp(const std::string& name);
    bool invented(int32_t device) const { return inventing_ && routers_.count(device) != 0; }

    static constexpr int32_t builtInFirstDevice = 2000000011;
    static constexpr int32_t builtInRouterSize = 4096;

private:
    std::vector<DeviceInstance> instances_;
    std::map<std::pair<int32_t, int32_t>, std::map<int32_t, std::string>> databases_;
    std::map<int32_t, Router> routers_;
    std::set<int32_t> offline_;
    bool inventing_ = false;
    bool recording_ = false;
    std::vector<RouteMade> routesMade_;
};

}  // namespace zarn_host
