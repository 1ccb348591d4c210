#include "bridges/swp08/swp08_module.h"

#include "bridges/swp08/served_protects.h"
#include "sim/sim_host.h"
#include "text/address.h"

namespace zarn_host::bridges {

std::unique_ptr<Module> readSwp08Module(const Json& root, bool allowRemote) {
    std::vector<SwpRouterConfig> routers = readSwp08Routers(root, allowRemote);
    if (routers.empty()) return nullptr;
    return std::make_unique<Swp08Module>(std::move(routers), allowRemote);
}

Server* Swp08Module::serverAt(Runtime& rt, const Endpoint& at, const AllowList& allow, std::string& error) {
    for (auto& s : servers_) {
        if (s->at.text() != at.text()) continue;
        if (s->listener.allow.sameAs(allow)) return s.get();
        error = "swp08 listen " + at.text() + ": the routers served there give different \"allow\" lists";
        return nullptr;
    }
    servers_.push_back(std::make_unique<Server>(rt, at, limits_));
    servers_.back()->listener.allow = allow;
    return servers_.back()->open(error) ? servers_.back().get() : nullptr;
}

bool Swp08Module::start(Runtime& rt, SimHost& host, std::string& error) {
    rt_ = &rt;
    Facility& facility = host.facility();
    for (const auto& rc : routers_) {
        const Router* r = facility.router(rc.device);
        if (!r) {
            error = "swp08 on device " + std::to_string(rc.device) + ": no such router";
            return false;
        }
        rt.watchRouter(host, rc.device, *r);
        if (!rc.listen) {
            if (clientOf_.count(rc.device)) {
                error = "swp08: device " + std::to_string(rc.device) + " is connected twice";
                return false;
            }
            clients_.push_back(std::make_unique<Client>(rt, rc, r->destinations, timing_));
            clientOf_[rc.device] = clients_.back().get();
            // Offline until the router answers.
            host.setOnline(rc.device, false);
            continue;
        }
        if (!isLoopbackHost(rc.at.host) && !allowRemote_) {  // checked with the file too
            error = "swp08 listen " + rc.at.text() + ": an address other machines reach needs --allow-remote";
            return false;
        }
        Server* server = serverAt(rt, rc.at, rc.allow, error);
        if (!server) return false;
        // A source or destination without a name is named by its number, as
        // in revertives: controllers count the names they get.
        Mirror m;
        m.device = rc.device;
        m.matrix = rc.matrix;
        m.level = rc.level;
        m.sourceCount = r->sources;
        m.noSource = swp08::noSourceFor(r->sources);
        for (int32_t d = 1; d <= r->destinations; ++d) {
            int32_t s = r->crosspoints[static_cast<std::size_t>(d)];
            m.sources.push_back(swp08::toWire(swp08::FacilitySource{s}, r->sources));
            auto name = r->destinationNames.find(d);
            m.destinationNames.push_back(name == r->destinationNames.end() ? std::to_string(d) : name->second);
        }
        for (int32_t s = 1; s <= r->sources; ++s) {
            auto name = r->sourceNames.find(s);
            m.sourceNames.push_back(name == r->sourceNames.end() ? std::to_string(s) : name->second);
        }
        for (const auto& lock : r->locked)
            m.protects[swp08::toWire(swp08::FacilityNumber{lock.first})] = protectDevice(lock.second);
        locksSeen_[rc.device] = r->locked;
        server->mirrors.push_back(std::move(m));
    }
    for (auto& s : servers_) {
        for (auto& m : s->mirrors) servedAt_[m.device] = {s.get(), &m};
    }
    for (auto& s : servers_) {
        s->accept();
        host.trace().line(TraceKind::bridge, "swp08 listening on " + s->at.text());
    }
    for (auto& c : clients_) {
        Client* client = c.get();
        asio::post(rt.io(), [client] { client->connect(); });
        host.trace().line(TraceKind::bridge, "swp08 connecting to " + client->at());
    }
    return true;
}

// Each route made goes to every controller of its server as a connected
// message, in the order made; a burst goes to the I/O thread in one post.
void Swp08Module::handOn(SimHost& host, const std::vector<CrosspointChange>& changes) {
    struct Told {
        Server* server;
        Mirror* mirror;
        swp08::Message message;
        bool quiet;  // a salvo's route: the copy follows, no connected message
    };
    std::vector<Told> told;
    std::vector<std::pair<Client*, std::pair<uint16_t, uint16_t>>> routes;
    for (const CrosspointChange& change : changes) {
        uint16_t destination = swp08::toWire(swp08::FacilityNumber{change.destination});
        auto served = servedAt_.find(change.device);
        const Router* router = host.facility().router(change.device);
        uint16_t source = swp08::toWire(swp08::FacilitySource{change.source}, router ? router->sources : 0);
        if (served != servedAt_.end()) {
            Server* server = served->second.first;
            Mirror* mirror = served->second.second;
            swp08::Message m;
            m.kind = swp08::Kind::connected;
            m.matrix = mirror->matrix;
            m.level = mirror->level;
            m.destination = destination;
            m.source = source;
            if (!swp08::fitsPlain(m)) m.form = swp08::Form::extended;
            auto& salvo = server->salvoRoutes;
            const bool quiet = !salvo.empty() && salvo.front().device == change.device &&
                               salvo.front().destination == change.destination && salvo.front().source == change.source;
            if (quiet) salvo.erase(salvo.begin());
            if (server->count > 0 && !quiet) {
                host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> " +
                                                         std::to_string(server->count.load()) +
                                                         " controller(s): " + swp08::describe(m));
            }
            told.push_back({server, mirror, m, quiet});
        }
        auto client = clientOf_.find(change.device);
        if (client != clientOf_.end() && change.source > 0 && !change.fromRouter)
            routes.push_back({client->second, {destination, source}});
    }
    // Then each lock made or released since, as a protect connected or
    // disconnected message to every controller.
    std::vector<Told> protects;
    for (auto& seen : locksSeen_) {
        const Router* r = host.facility().router(seen.first);
        auto served = servedAt_.find(seen.first);
        if (!r || served == servedAt_.end()) continue;
        for (swp08::Message& m : lockChanges(*r, *served->second.second, seen.second)) {
            Server* server = served->second.first;
            if (server->count > 0) {
                host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> " +
                                                         std::to_string(server->count.load()) +
                                                         " controller(s): " + swp08::describe(m));
            }
            protects.push_back({server, served->second.second, std::move(m), false});
        }
    }
    for (auto& s : servers_) s->salvoRoutes.clear();  // all handed on: none is left for a later exchange
    if (told.empty() && routes.empty() && protects.empty()) return;
    asio::post(rt_->io(), [told = std::move(told), routes = std::move(routes), protects = std::move(protects)] {
        for (const Told& t : told) {
            if (t.message.destination < t.mirror->sources.size()) {
                t.mirror->sources[t.message.destination] = t.message.source;
            }
            if (!t.quiet) t.server->broadcast(t.message);
        }
        for (const auto& r : routes) r.first->connectRoute(r.second.first, r.second.second);
        for (const Told& t : protects) {
            applyProtect(*t.mirror, t.message);
            t.server->broadcast(t.message);
        }
    });
}

void Swp08Module::status(nlohmann::json& page) const {
    for (const auto& s : servers_) {
        nlohmann::json routers = nlohmann::json::array();
        for (const auto& m : s->mirrors) {
            routers.push_back(
                {{"device", m.device}, {"name", rt_->deviceName(m.device)}, {"matrix", m.matrix}, {"level", m.level}});
        }
        int n = s->count;
        nlohmann::json row = {{"kind", "swp08"},
                              {"role", "listen"},
                              {"address", s->at.text()},
                              {"controllers", n},
                              {"badFrames", s->badFrames.load()},
                              {"routers", routers},
                              {"status", "listening on " + s->at.text() + " with " + std::to_string(n) +
                                             (n == 1 ? " controller" : " controllers")}};
        s->listener.addCounters(row);
        page["bridges"].push_back(std::move(row));
    }
    for (const auto& c : clients_) {
        page["bridges"].push_back({{"kind", "swp08"},
                                   {"role", "connect"},
                                   {"address", c->at()},
                                   {"device", c->config.device},
                                   {"name", rt_->deviceName(c->config.device)},
                                   {"status", c->statusText()}});
    }
}

void Swp08Module::stop() {
    for (auto& s : servers_) s->close();
    for (auto& c : clients_) c->close();
}

}  // namespace zarn_host::bridges
