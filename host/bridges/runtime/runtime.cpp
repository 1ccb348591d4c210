// The bridges' I/O runtime: the I/O thread, the hand-over to the panel
// thread, change tracking and the page's status.
#include "bridges/runtime/runtime.h"

#include <optional>

#include "bridges/runtime/limits.h"
#include "sim/sim_host.h"

namespace zarn_host::bridges {

Runtime::Runtime(std::vector<std::unique_ptr<Module>> modules)
    : guard_(asio::make_work_guard(io_)), modules_(std::move(modules)) {}

Runtime::~Runtime() {
    setWake(nullptr);
    asio::post(io_, [this] {
        for (auto& m : modules_) m->stop();
        // What the closes complete is not run: the objects it refers to go next.
        io_.stop();
    });
    guard_.reset();
    if (thread_.joinable()) {
        thread_.join();
    } else {
        io_.stop();
    }
}

bool Runtime::start(SimHost& host, std::string& error) {
    for (const auto& inst : host.facility().instances()) names_.emplace(inst.device, inst.name);
    for (auto& m : modules_) {
        if (!m->start(*this, host, error)) return false;
    }
    thread_ = std::thread([this] { io_.run(); });
    return true;
}

void Runtime::setWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    wake_ = std::move(wake);
}

void Runtime::toHost(HostEvent event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (events_.size() > 100000) return;  // a flood is dropped, not kept
        events_.push_back(std::move(event));
    }
    std::lock_guard<std::mutex> lock(wakeMutex_);
    if (wake_) wake_();
}

void Runtime::trace(const std::string& text) {
    toHost([text](SimHost& host, bool&) { host.trace().line(TraceKind::bridge, text); });
}

void Runtime::firstSettled() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --firstPending_;
    }
    firstCv_.notify_all();
}

void Runtime::watchRouter(SimHost& host, int32_t device, const Router& router) {
    seen_[device] = router.crosspoints;
    host.facility().recordRoutes(true);
}

void Runtime::expectFirstConnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++firstPending_;
}

void Runtime::awaitFirstConnects(std::chrono::milliseconds most) {
    std::unique_lock<std::mutex> lock(mutex_);
    firstCv_.wait_for(lock, most, [&] { return firstPending_ <= 0; });
}

void Runtime::takeFromRouter(SimHost& host, int32_t device, int32_t destination, int32_t source, const Origin& origin) {
    Router* r = host.facility().router(device);
    if (!r || !r->validDestination(destination) || (source != 0 && !r->validSource(source))) return;
    auto& seen = seen_[device];
    if (seen.size() > static_cast<std::size_t>(destination)) seen[static_cast<std::size_t>(destination)] = source;
    if (r->crosspoints[static_cast<std::size_t>(destination)] == source) return;
    if (source == 0) {
        r->crosspoints[static_cast<std::size_t>(destination)] = 0;
        fromRouters_.push_back({device, destination, source, true});
        return;
    }
    auto lock = r->locked.find(destination);
    std::optional<LockOwner> owner;
    if (lock != r->locked.end()) {
        owner = lock->second;
        r->locked.erase(lock);
    }
    std::size_t made = host.facility().routesMadeCount();
    host.routeFromOutside(device, destination, source, origin);
    host.facility().forgetRoutesSince(made);
    if (owner) host.facility().router(device)->locked[destination] = *owner;
    if (host.facility().router(device)->crosspoints[static_cast<std::size_t>(destination)] == source) {
        fromRouters_.push_back({device, destination, source, true});
    }
}

std::string Runtime::deviceName(int32_t device) const {
    auto name = names_.find(device);
    return name == names_.end() ? std::to_string(device) : name->second;
}

bool Runtime::exchange(SimHost& host) {
    std::vector<HostEvent> events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events.swap(events_);
    }
    // Every route made in the watched routers, in the order made, then what
    // changed without a route (a router's crosspoint cleared).
    std::vector<CrosspointChange> changes;
    auto takeRoutesMade = [&] {
        for (const RouteMade& made : host.facility().takeRoutesMade()) {
            auto seen = seen_.find(made.device);
            if (seen == seen_.end()) continue;
            auto d = static_cast<std::size_t>(made.destination);
            if (d < seen->second.size()) seen->second[d] = made.source;
            changes.push_back({made.device, made.destination, made.source});
        }
    };
    // The routes made since the last exchange came before these events: a
    // router's older word on a crosspoint, taken after a route, is not told
    // back to it as a route of its own (it would undo the route).
    takeRoutesMade();
    bool changed = false;
    for (auto& e : events) e(host, changed);
    changes.insert(changes.end(), fromRouters_.begin(), fromRouters_.end());
    fromRouters_.clear();
    takeRoutesMade();
    for (auto& entry : seen_) {
        const Router* r = host.facility().router(entry.first);
        if (!r) continue;
        auto& seen = entry.second;
        for (std::size_t d = 1; d < r->crosspoints.size() && d < seen.size(); ++d) {
            int32_t now = r->crosspoints[d];
            if (now == seen[d]) continue;
            seen[d] = now;
            changes.push_back({entry.first, static_cast<int32_t>(d), now});
        }
    }
    for (auto& m : modules_) m->handOn(host, changes);
    return changed;
}

std::string Runtime::statusJson() const {
    nlohmann::json page{{"bridges", nlohmann::json::array()}, {"umd", nlohmann::json::array()}};
    for (const auto& m : modules_) {
        const std::size_t before = page["bridges"].size();
        m->status(page);
        for (std::size_t i = before; i < page["bridges"].size(); ++i) page["bridges"][i]["label"] = m->label();
    }
    nlohmann::json& published = page["limits"];
    for (const limits::Row& row : limits::table()) published[row.key] = row.value;
    return page.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zarn_host::bridges
