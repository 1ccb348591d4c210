#include "model/facility.h"

#include <algorithm>
#include <cstdint>

#include "model/json_input.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

// Routers bigger than this are refused: the model keeps one slot per destination.
constexpr int32_t maxRouterSize = 100000;

// Names by number; a key "FIRST-LAST" names every number of the range with
// its text, "{n}" in it standing for the number. Keys apply in order, so a
// single name after a range overrides it.
std::map<int32_t, std::string> readNames(const nlohmann::ordered_json& j, const std::string& path, int32_t size) {
    std::map<int32_t, std::string> names;
    for (const auto& item : requireObject(j, path).items()) {
        std::string itemPath = path + "/" + item.key();
        std::size_t dash = item.key().find('-', 1);
        int32_t first = keyAsInt(item.key().substr(0, dash), itemPath);
        int32_t last = dash == std::string::npos ? first : keyAsInt(item.key().substr(dash + 1), itemPath);
        if (first < 1 || last > size || last < first) {
            throw JsonContentError(itemPath, "index outside 1.." + std::to_string(size));
        }
        std::string name = requireText(item.value(), itemPath);
        // A name travels in a revertive record as a NUL-terminated text of any length.
        if (name.find('\0') != std::string::npos) throw JsonContentError(itemPath, "name holds a NUL byte");
        std::size_t at = dash == std::string::npos ? std::string::npos : name.find("{n}");
        for (int32_t n = first; n <= last; ++n) {
            names[n] = at == std::string::npos ? name : name.substr(0, at) + std::to_string(n) + name.substr(at + 3);
        }
    }
    return names;
}

}  // namespace

bool Facility::load(const std::string& path, Facility& facility, std::string& error) {
    std::string text;
    if (!readTextFile(path, text, error)) return false;
    return parse(text, path, facility, error);
}

bool Facility::parse(const std::string& text, const std::string& fileName, Facility& facility, std::string& error) {
    Facility f;
    bool read = readJsonDocument(
        text, fileName,
        [&](nlohmann::ordered_json& root) {
            requireObject(root, "/");
            if (root.contains("instances")) {
                const auto& list = requireArray(root["instances"], "/instances");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/instances/" + std::to_string(i);
                    const auto& item = requireObject(list[i], path);
                    DeviceInstance inst;
                    if (!item.contains("name")) throw JsonContentError(path, "missing \"name\"");
                    if (!item.contains("device")) throw JsonContentError(path, "missing \"device\"");
                    inst.name = requireText(item["name"], path + "/name");
                    inst.device = requireInt(item["device"], path + "/device");
                    if (item.contains("offset")) inst.offset = requireInt(item["offset"], path + "/offset");
                    if (inst.device == 0) throw JsonContentError(path + "/device", "device 0 means none");
                    if (f.instance(inst.name)) throw JsonContentError(path + "/name", "instance named twice");
                    f.instances_.push_back(inst);
                }
            }
            if (root.contains("databases")) {
                const auto& list = requireArray(root["databases"], "/databases");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/databases/" + std::to_string(i);
                    const auto& item = requireObject(list[i], path);
                    if (!item.contains("device") || !item.contains("database") || !item.contains("entries")) {
                        throw JsonContentError(path, "needs \"device\", \"database\" and \"entries\"");
                    }
                    int32_t device = requireInt(item["device"], path + "/device");
                    int32_t database = requireInt(item["database"], path + "/database");
                    auto& entries = f.databases_[{device, database}];
                    for (const auto& entry : requireObject(item["entries"], path + "/entries").items()) {
                        std::string entryPath = path + "/entries/" + entry.key();
                        entries[keyAsInt(entry.key(), entryPath)] = requireText(entry.value(), entryPath);
                    }
                }
            }
            if (root.contains("routers")) {
                const auto& list = requireArray(root["routers"], "/routers");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/routers/" + std::to_string(i);
                    const auto& item = requireObject(list[i], path);
                    if (!item.contains("device") || !item.contains("sources") || !item.contains("destinations")) {
                        throw JsonContentError(path, "needs \"device\", \"sources\" and \"destinations\"");
                    }
                    Router r;
                    r.device = requireInt(item["device"], path + "/device");
                    r.sources = requireInt(item["sources"], path + "/sources");
                    r.destinations = requireInt(item["destinations"], path + "/destinations");
                    if (r.sources < 1 || r.sources > maxRouterSize) {
                        throw JsonContentError(path + "/sources", "size outside 1.." + std::to_string(maxRouterSize));
                    }
                    if (r.destinations < 1 || r.destinations > maxRouterSize) {
                        throw JsonContentError(path + "/destinations",
                                               "size outside 1.." + std::to_string(maxRouterSize));
                    }
                    if (f.routers_.count(r.device)) throw JsonContentError(path + "/device", "router listed twice");
                    if (item.contains("sourceNames")) {
                        r.sourceNames = readNames(item["sourceNames"], path + "/sourceNames", r.sources);
                    }
                    if (item.contains("destinationNames")) {
                        r.destinationNames =
                            readNames(item["destinationNames"], path + "/destinationNames", r.destinations);
                    }
                    r.crosspoints.assign(static_cast<std::size_t>(r.destinations) + 1, 0);
                    if (item.contains("crosspoints")) {
                        for (const auto& xp : requireObject(item["crosspoints"], path + "/crosspoints").items()) {
                            std::string xpPath = path + "/crosspoints/" + xp.key();
                            int32_t dest = keyAsInt(xp.key(), xpPath);
                            int32_t src = requireInt(xp.value(), xpPath);
                            if (!r.validDestination(dest)) throw JsonContentError(xpPath, "destination out of range");
                            if (src != 0 && !r.validSource(src)) throw JsonContentError(xpPath, "source out of range");
                            r.crosspoints[static_cast<std::size_t>(dest)] = src;
                        }
                    }
                    if (item.contains("locked")) {
                        const auto& locked = requireArray(item["locked"], path + "/locked");
                        for (std::size_t k = 0; k < locked.size(); ++k) {
                            int32_t dest = requireInt(locked[k], path + "/locked/" + std::to_string(k));
                            if (!r.validDestination(dest)) {
                                throw JsonContentError(path + "/locked/" + std::to_string(k),
                                                       "destination out of range");
                            }
                            r.locked[dest] = Origin::of(Origin::Kind::facility);
                        }
                    }
                    f.routers_[r.device] = std::move(r);
                }
            }
            if (root.contains("offline")) {
                const auto& list = requireArray(root["offline"], "/offline");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/offline/" + std::to_string(i);
                    auto device = f.findDevice(requireText(list[i], path));
                    if (!device) throw JsonContentError(path, "no such device instance");
                    f.setOnline(*device, false);
                }
            }
            for (const auto& item : root.items()) {
                if (item.key() != "instances" && item.key() != "databases" && item.key() != "routers" &&
                    item.key() != "offline" && item.key() != "comment" && item.key() != "umd" &&
                    item.key() != "emberplus") {
                    throw JsonContentError("/" + printable(item.key(), 40), "unknown key");
                }
            }
        },
        error);
    if (!read) return false;
    facility = std::move(f);
    return true;
}

const std::vector<std::string>& Facility::routerKeys() {
    static const std::vector<std::string> keys = {"device",           "sources",     "destinations", "sourceNames",
                                                  "destinationNames", "crosspoints", "locked",       "comment"};
    return keys;
}

Facility Facility::builtIn() {
    Facility f;
    f.inventing_ = true;
    return f;
}

const DeviceInstance* Facility::lookUp(const std::string& name) {
    if (const DeviceInstance* inst = instance(name)) return inst;
    // A panel that looks up names without end gets null past this many.
    if (!inventing_ || instances_.size() >= 10000) return nullptr;
    DeviceInstance inst;
    inst.name = name;
    inst.device = builtInFirstDevice + 11 * static_cast<int32_t>(instances_.size());
    Router r;
    r.device = inst.device;
    r.sources = r.destinations = builtInRouterSize;
    r.crosspoints.assign(static_cast<std::size_t>(builtInRouterSize) + 1, 0);
    attach(r);
    routers_[r.device] = std::move(r);
    instances_.push_back(inst);
    return &instances_.back();
}

const DeviceInstance* Facility::instance(const std::string& name) const {
    for (const auto& inst : instances_) {
        if (inst.name == name) return &inst;
    }
    return nullptr;
}

std::optional<int32_t> Facility::findDevice(const std::string& nameOrNumber) const {
    if (const DeviceInstance* inst = instance(nameOrNumber)) return inst->device;
    int32_t n = 0;
    if (parseInt32(nameOrNumber, n) && knownDevice(n)) return n;
    return std::nullopt;
}

std::optional<std::pair<int32_t, int32_t>> Facility::instanceDestinations(const DeviceInstance& instance) const {
    const Router* found = router(instance.device);
    if (!found) return std::nullopt;
    int64_t end = found->destinations;
    for (const auto& other : instances_) {
        if (other.device == instance.device && other.offset > instance.offset && other.offset < end) end = other.offset;
    }
    int64_t first = int64_t{instance.offset} + 1;
    return std::make_pair(static_cast<int32_t>(std::min<int64_t>(first, INT32_MAX)), static_cast<int32_t>(end));
}

bool Facility::knownDevice(int32_t device) const {
    if (device == 0) return false;
    if (routers_.count(device)) return true;
    for (const auto& inst : instances_) {
        if (inst.device == device) return true;
    }
    for (const auto& db : databases_) {
        if (db.first.first == device) return true;
    }
    return false;
}

Router* Facility::router(int32_t device) {
    auto found = routers_.find(device);
    return found == routers_.end() ? nullptr : &found->second;
}

const Router* Facility::router(int32_t device) const {
    auto found = routers_.find(device);
    return found == routers_.end() ? nullptr : &found->second;
}

const std::string* Facility::databaseEntry(int32_t device, int32_t database, int32_t index) const {
    auto db = databases_.find({device, database});
    if (db == databases_.end()) return nullptr;
    auto entry = db->second.find(index);
    return entry == db->second.end() ? nullptr : &entry->second;
}

bool Facility::hasDatabase(int32_t device, int32_t database) const {
    return databases_.count({device, database}) != 0;
}

void Facility::setOnline(int32_t device, bool on) {
    if (on) {
        offline_.erase(device);
    } else {
        offline_.insert(device);
    }
}

void Facility::watchChanges(ChangeWatcher watcher) {
    watcher_ = std::make_shared<const ChangeWatcher>(std::move(watcher));
    for (auto& entry : routers_) attach(entry.second);
}

void Facility::setStepOrigin(const Origin& origin) {
    *stepOrigin_ = origin;
}

void Facility::tellRefused(int32_t device, int32_t destination, DestinationChange::What what, const Origin& origin,
                           const std::string& why) const {
    if (!watcher_ || !*watcher_) return;
    const Origin* during = stepOrigin_->kind == Origin::Kind::scenario ? nullptr : stepOrigin_.get();
    (*watcher_)({device, destination, what, 0, &origin, during, why.c_str()});
}

void Facility::attach(Router& r) const {
    r.watcher = watcher_;
    r.during = stepOrigin_.get();
}

RouteResult Facility::route(int32_t device, int32_t destination, int32_t source, const Origin& origin, int64_t time) {
    Router* r = router(device);
    RouteResult refused = !r                                  ? RouteResult::unknownDevice
                          : !online(device)                   ? RouteResult::offline
                          : !r->validDestination(destination) ? RouteResult::badDestination
                          : !r->validSource(source)           ? RouteResult::badSource
                          : r->locked.count(destination)      ? RouteResult::locked
                                                              : RouteResult::done;
    if (refused != RouteResult::done) {
        if (watcher_ && *watcher_) {
            const Origin* during = stepOrigin_->kind == Origin::Kind::scenario ? nullptr : stepOrigin_.get();
            (*watcher_)(
                {device, destination, DestinationChange::What::route, source, &origin, during, describe(refused)});
        }
        return refused;
    }
    r->crosspoints[static_cast<std::size_t>(destination)] = source;
    r->note(destination, {DestinationChange::What::route, source, origin, time});
    if (recording_) routesMade_.push_back({device, destination, source});
    return RouteResult::done;
}

}  // namespace zarn_host
