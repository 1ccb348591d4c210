// The facility a simulated host serves: named device instances, device
// databases and routers, read from a JSON file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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

// Who made a route or holds a lock: the host's own side (the facility file,
// a scenario step, the page, a caller of the JSON API, the panel) or a peer
// (an SW-P-08 controller by its device number, an Ember+ consumer, a real
// router backing a facility router), with the peer's address or the page's
// session when known.
struct Origin {
    enum class Kind : uint8_t { facility, scenario, page, controller, panel, api, consumer, router };
    Kind kind = Kind::scenario;
    int32_t device = 0;   // a controller's device number; -1: not named (a connect)
    std::string address;  // a peer's address, a page's session; may be empty
    std::string login;    // how a page or API client logged in, when a login was asked
    Origin() = default;
    Origin(Kind k, int32_t d = 0, std::string a = {}) : kind(k), device(d), address(std::move(a)) {}
    // Two owners are the same holder by kind (and a controller's device);
    // the address only says where it was seen.
    bool operator==(const Origin& o) const {
        return kind == o.kind && (kind != Kind::controller || device == o.device);
    }
    bool operator!=(const Origin& o) const { return !(*this == o); }
    bool sameAs(const Origin& o) const { return *this == o && address == o.address; }
    static Origin controller(int32_t device, std::string address = {}) {
        return {Kind::controller, device, std::move(address)};
    }
    static Origin of(Kind kind, std::string address = {}) { return {kind, 0, std::move(address)}; }
};
// A lock's holder is an origin.
using LockOwner = Origin;
// "facility file", "scenario", "page", "page session s1", "API", "panel",
// "controller 5", "controller 5 at 127.0.0.1:4001", "consumer at 127.0.0.1:4002",
// "router at 10.1.2.9:8910".
std::string describe(const Origin& origin);
// A lock owner as a step names it: "scenario", "page", or a controller's
// device number (0-65535).
std::optional<LockOwner> parseLockOwner(const std::string& text);

// One change of a destination: its route or its lock, who made it, when (the
// virtual clock's ms).
struct DestinationChange {
    enum class What : uint8_t { route, lock, unlock };
    What what = What::route;
    int32_t source = 0;  // a route's
    Origin origin;
    int64_t time = 0;
    uint64_t serial = 0;  // the router's change count when noted: tells two changes apart
};

// A change of a destination as it is noted, or a route refused, for a watcher
// of the facility (the audit trail). Its pointers live for the call.
struct FacilityChange {
    int32_t device = 0;
    int32_t destination = 0;
    DestinationChange::What what = DestinationChange::What::route;
    int32_t source = 0;
    const Origin* origin = nullptr;
    // The origin of the step being run when it is not the scenario's own (a
    // page's or an API client's): what made the panel route, say. Else null.
    const Origin* during = nullptr;
    const char* refused = nullptr;  // why a route was not made; null when it was
};
using ChangeWatcher = std::function<void(const FacilityChange& change)>;

// Sources and destinations are numbered from 1; source 0 means not routed.
struct Router {
    int32_t device = 0;
    int32_t sources = 0;
    int32_t destinations = 0;
    std::map<int32_t, std::string> sourceNames;
    std::map<int32_t, std::string> destinationNames;
    std::vector<int32_t> crosspoints;     // by destination, index 0 unused
    std::map<int32_t, LockOwner> locked;  // destination -> who holds its lock
    // Destination -> its last changes, oldest first (at most maxHistory each);
    // the last route's origin is the newest route entry.
    std::map<int32_t, std::vector<DestinationChange>> history;
    static constexpr std::size_t maxHistory = 8;
    uint64_t changes = 0;  // bumps with every change noted, so a watcher can tell
    // Destination ranges the panel registered for revertives.
    std::vector<std::pair<int32_t, int32_t>> registrations;
    // Told of every change noted (Facility::watchChanges sets it).
    std::shared_ptr<const ChangeWatcher> watcher;
    const Origin* during = nullptr;  // the facility's step origin, for the watcher

    bool validDestination(int32_t d) const { return d >= 1 && d <= destinations; }
    bool validSource(int32_t s) const { return s >= 1 && s <= sources; }
    bool registered(int32_t destination) const;
    // Keeps change as destination's newest, dropping its oldest beyond maxHistory.
    void note(int32_t destination, DestinationChange change);
    // Who made destination's current route: null when no origin was noted.
    const Origin* routedBy(int32_t destination) const;
    // The serial of destination's newest change, 0 for none.
    uint64_t lastChange(int32_t destination) const;
    // Locks or unlocks destination, noting who did.
    void lock(int32_t destination, const Origin& owner, int64_t time);
    void unlock(int32_t destination, const Origin& by, int64_t time);
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

    // A route made is noted in the router's history with its origin at time.
    RouteResult route(int32_t device, int32_t destination, int32_t source, const Origin& origin = {}, int64_t time = 0);
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

    // From now on watcher hears of every change noted in a router (routes,
    // locks, unlocks, whoever made them) and of every route refused, as it
    // happens: the one place every change of the facility passes.
    void watchChanges(ChangeWatcher watcher);
    // The origin of the step being run (a page's, an API client's), told to
    // the watcher with the changes made meanwhile; the scenario's own: none.
    void setStepOrigin(const Origin& origin);
    const Origin& stepOrigin() const { return *stepOrigin_; }
    // Tells the watcher of a lock or unlock refused by whoever keeps the
    // rule (a protect another controller holds): why, such as "held by
    // controller 5".
    void tellRefused(int32_t device, int32_t destination, DestinationChange::What what, const Origin& origin,
                     const std::string& why) const;

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
    std::shared_ptr<const ChangeWatcher> watcher_;
    // Heap-held so that routers can point at it across a move of the facility.
    std::shared_ptr<Origin> stepOrigin_ = std::make_shared<Origin>();
    void attach(Router& r) const;
};

}  // namespace zarn_host
