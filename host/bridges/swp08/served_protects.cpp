// Protects on a served router: a controller's protect connect locks the
// destination for its device number, its protect disconnect releases a
// lock it holds, a master protect connect takes the lock whoever holds it.
// Every lock made or released, whoever did it, reaches every controller as
// a protect connected or disconnected message (Swp08Module::handOn); a
// refused request is answered to its controller alone with the protect tally
// as it stays.
#include "bridges/swp08/served_protects.h"

#include <algorithm>
#include <optional>

#include "bridges/swp08/served_router.h"
#include "sim/sim_host.h"

namespace zarn_host::bridges {

uint16_t protectDevice(const LockOwner& owner) {
    return owner.kind == LockOwner::Kind::controller ? static_cast<uint16_t>(owner.device) : kHostDevice;
}

namespace {

swp08::Message protectMessage(swp08::Kind kind, const Mirror& mirror, uint16_t destination, uint16_t device,
                              swp08::ProtectState state) {
    swp08::Message m;
    m.kind = kind;
    m.matrix = mirror.matrix;
    m.level = mirror.level;
    m.destination = destination;
    m.device = device;
    m.code = static_cast<uint8_t>(state);
    if (!swp08::fitsPlain(m)) m.form = swp08::Form::extended;
    return m;
}

// A request's answer about one destination, in the request's form (or
// extended when the numbers do not fit).
swp08::Message protectAnswer(swp08::Kind kind, const swp08::Message& request, uint16_t device,
                             swp08::ProtectState state) {
    swp08::Message m;
    m.kind = kind;
    m.form = request.form;
    m.matrix = request.matrix;
    m.level = request.level;
    m.destination = request.destination;
    m.device = device;
    m.code = static_cast<uint8_t>(state);
    if (m.form == swp08::Form::plain && !swp08::fitsPlain(m)) m.form = swp08::Form::extended;
    return m;
}

swp08::Message tallyOf(const swp08::Message& request, const Router* router, int32_t destination) {
    const auto lock = router ? router->locked.find(destination) : std::map<int32_t, LockOwner>::const_iterator{};
    if (!router || lock == router->locked.end())
        return protectAnswer(swp08::Kind::protect_tally, request, 0, swp08::ProtectState::none);
    return protectAnswer(swp08::Kind::protect_tally, request, protectDevice(lock->second),
                         swp08::ProtectState::protect);
}

}  // namespace

std::vector<swp08::Message> lockChanges(const Router& router, const Mirror& mirror,
                                        std::map<int32_t, LockOwner>& seen) {
    std::vector<swp08::Message> out;
    if (router.locked == seen) return out;
    auto wire = [](int32_t d) { return swp08::toWire(swp08::FacilityNumber{d}); };
    for (const auto& entry : seen) {
        if (router.locked.count(entry.first)) continue;
        out.push_back(protectMessage(swp08::Kind::protect_disconnected, mirror, wire(entry.first),
                                     protectDevice(entry.second), swp08::ProtectState::none));
    }
    for (const auto& entry : router.locked) {
        auto before = seen.find(entry.first);
        if (before != seen.end() && before->second == entry.second) continue;
        out.push_back(protectMessage(swp08::Kind::protect_connected, mirror, wire(entry.first),
                                     protectDevice(entry.second), swp08::ProtectState::protect));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const swp08::Message& a, const swp08::Message& b) { return a.destination < b.destination; });
    seen = router.locked;
    return out;
}

void applyProtect(Mirror& mirror, const swp08::Message& m) {
    if (m.kind == swp08::Kind::protect_connected) {
        mirror.protects[m.destination] = m.device;
    } else if (m.kind == swp08::Kind::protect_disconnected) {
        mirror.protects.erase(m.destination);
    }
}

std::vector<swp08::Message> protectDumpFor(const swp08::Message& request, const Mirror& mirror) {
    std::vector<swp08::Message> out;
    const std::size_t size = mirror.sources.size();
    for (std::size_t start = request.first; start < size; start += swp08::kProtectsPerMessage) {
        swp08::Message m;
        m.kind = swp08::Kind::protect_dump;
        m.matrix = request.matrix;
        m.level = request.level;
        m.first = static_cast<uint16_t>(start);
        for (std::size_t d = start; d < size && d < start + swp08::kProtectsPerMessage; ++d) {
            auto held = mirror.protects.find(static_cast<uint16_t>(d));
            m.protects.push_back(
                held == mirror.protects.end()
                    ? swp08::Protect{}
                    : swp08::Protect{static_cast<uint8_t>(swp08::ProtectState::protect), held->second});
        }
        out.push_back(std::move(m));
    }
    return out;
}

void Controller::onProtect(const swp08::Message& m, const Mirror& mirror) {
    if (m.kind == swp08::Kind::protect_dump_request) {
        for (const auto& msg : protectDumpFor(m, mirror)) send(swp08::encodeFrame(msg));
        return;
    }
    const bool inRange = m.destination < mirror.sources.size();
    if (m.kind == swp08::Kind::protect_interrogate || !inRange) {
        // An interrogate, or a request for a destination the router does not
        // have: the protect tally as it is (unprotected when out of range).
        auto held = inRange ? mirror.protects.find(m.destination) : mirror.protects.end();
        send(swp08::encodeFrame(
            held == mirror.protects.end()
                ? protectAnswer(swp08::Kind::protect_tally, m, 0, swp08::ProtectState::none)
                : protectAnswer(swp08::Kind::protect_tally, m, held->second, swp08::ProtectState::protect)));
        return;
    }
    const int32_t device = mirror.device;
    const int32_t destination = swp08::numberFromWire(m.destination).value;
    const swp08::Message request = m;
    Server* server = &server_;
    std::weak_ptr<Controller> weak = shared_from_this();
    const std::string from = peer;
    server_.rt.toHost([=](SimHost& host, bool& changed) {
        Router* router = host.facility().router(device);
        if (!router) return;
        const LockOwner owner = LockOwner::controller(request.device, from);
        auto lock = router->locked.find(destination);
        const bool held = lock != router->locked.end();
        const bool mine = held && lock->second == owner;
        std::string refusal;
        std::optional<swp08::Message> answer;  // to this controller alone; the changes go to all by handOn
        if (request.device >= kHostDevice) {
            refusal = "device numbers are 0-1022 (1023 is the host's)";
        } else if (request.kind == swp08::Kind::protect_disconnect) {
            if (mine) {
                router->unlock(destination, owner, host.clock().now());
                changed = true;
            } else if (held) {
                refusal = "held by " + describe(lock->second);
            } else {
                answer = tallyOf(request, router, destination);  // nothing to release
            }
        } else if (mine) {
            answer = protectAnswer(swp08::Kind::protect_connected, request, request.device,
                                   swp08::ProtectState::protect);  // held already: said again
        } else if (held && request.kind != swp08::Kind::master_protect_connect) {
            refusal = "held by " + describe(lock->second);
        } else {
            router->lock(destination, owner, host.clock().now());
            changed = true;
        }
        if (!refusal.empty()) {
            host.facility().tellRefused(device, destination,
                                        request.kind == swp08::Kind::protect_disconnect
                                            ? DestinationChange::What::unlock
                                            : DestinationChange::What::lock,
                                        owner, refusal);
            answer = tallyOf(request, router, destination);
            host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() +
                                                     " -> controller: " + swp08::describe(*answer) + " (" +
                                                     swp08::describe(request) + " refused: " + refusal + ")");
        }
        if (!answer) return;
        asio::post(server->io, [weak, tally = *answer] {
            if (auto c = weak.lock()) c->send(swp08::encodeFrame(tally));
        });
    });
}

}  // namespace zarn_host::bridges
