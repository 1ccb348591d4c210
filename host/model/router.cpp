// A router of the facility and who changed it: its destinations' changes,
// locks and names, and the texts an origin or a route result is shown by.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "model/facility.h"
#include "text/command_text.h"

namespace zarn_host {

const char* describe(RouteResult result) {
    switch (result) {
        case RouteResult::done:
            return "routed";
        case RouteResult::unknownDevice:
            return "no such router";
        case RouteResult::offline:
            return "device offline";
        case RouteResult::badSource:
            return "source out of range";
        case RouteResult::badDestination:
            return "destination out of range";
        case RouteResult::locked:
            return "destination locked";
    }
    return "?";
}

std::string describe(const Origin& origin) {
    std::string at = origin.address.empty() ? "" : " at " + origin.address;
    switch (origin.kind) {
        case Origin::Kind::facility:
            return "facility file";
        case Origin::Kind::scenario:
            return "scenario";
        case Origin::Kind::page:
            return origin.address.empty() ? "page" : "page session " + origin.address;
        case Origin::Kind::controller:
            // A connect names no device (-1): the controller is its address.
            return origin.device < 0 ? "controller" + at : "controller " + std::to_string(origin.device) + at;
        case Origin::Kind::panel:
            return "panel";
        case Origin::Kind::api:
            return "API" + at;
        case Origin::Kind::consumer:
            return "consumer" + at;
        case Origin::Kind::router:
            return "router" + at;
    }
    return "?";
}

std::optional<LockOwner> parseLockOwner(const std::string& text) {
    if (text == "scenario") return Origin::of(Origin::Kind::scenario);
    if (text == "page") return Origin::of(Origin::Kind::page);
    if (text.empty() || text.size() > 5) return std::nullopt;
    int32_t device = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        device = device * 10 + (c - '0');
    }
    if (device > 65535) return std::nullopt;
    return LockOwner::controller(device);
}

void Router::note(int32_t destination, DestinationChange change) {
    auto& list = history[destination];
    if (list.size() >= maxHistory) list.erase(list.begin());
    change.serial = ++changes;
    list.push_back(std::move(change));
    if (watcher && *watcher) {
        const DestinationChange& noted = list.back();
        const Origin* step = during && during->kind != Origin::Kind::scenario ? during : nullptr;
        (*watcher)({device, destination, noted.what, noted.source, &noted.origin, step, nullptr});
    }
}

const Origin* Router::routedBy(int32_t destination) const {
    auto found = history.find(destination);
    if (found == history.end()) return nullptr;
    for (auto it = found->second.rbegin(); it != found->second.rend(); ++it) {
        if (it->what == DestinationChange::What::route) return &it->origin;
    }
    return nullptr;
}

void Router::lock(int32_t destination, const Origin& owner, int64_t time) {
    locked[destination] = owner;
    note(destination, {DestinationChange::What::lock, 0, owner, time});
}

void Router::unlock(int32_t destination, const Origin& by, int64_t time) {
    if (locked.erase(destination) == 0) return;
    note(destination, {DestinationChange::What::unlock, 0, by, time});
}

uint64_t Router::lastChange(int32_t destination) const {
    auto found = history.find(destination);
    return found == history.end() || found->second.empty() ? 0 : found->second.back().serial;
}

bool Router::registered(int32_t destination) const {
    for (const auto& range : registrations) {
        if (destination >= range.first && destination <= range.second) return true;
    }
    return false;
}

std::string Router::sourceText(int32_t source) const {
    if (source == 0) return "";
    auto found = sourceNames.find(source);
    return found != sourceNames.end() ? found->second : std::to_string(source);
}

namespace {

// A name from the table, else a number.
template <typename Names>
std::optional<int32_t> findByNameOrNumber(const Names& names, const std::string& nameOrNumber) {
    for (const auto& entry : names) {
        if (entry.second == nameOrNumber) return entry.first;
    }
    int32_t n = 0;
    if (parseInt32(nameOrNumber, n)) return n;
    return std::nullopt;
}

}  // namespace

std::optional<int32_t> Router::findSource(const std::string& nameOrNumber) const {
    return findByNameOrNumber(sourceNames, nameOrNumber);
}

std::optional<int32_t> Router::findDestination(const std::string& nameOrNumber) const {
    return findByNameOrNumber(destinationNames, nameOrNumber);
}

}  // namespace zarn_host
