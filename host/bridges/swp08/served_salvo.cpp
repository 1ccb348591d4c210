// Salvos on a served router: crosspoints a controller stores in a salvo
// group (connect on go), set together by a go or cleared, and read back by
// salvo interrogate. The groups are the server's: every controller of a
// listen address shares them, as a router's ports do.
#include <algorithm>

#include "bridges/swp08/served_router.h"
#include "sim/sim_host.h"

namespace zarn_host::bridges {

namespace {

swp08::Message salvoMessage(swp08::Kind kind, uint8_t salvo, uint8_t code) {
    swp08::Message m;
    m.kind = kind;
    m.salvo = salvo;
    m.code = code;
    return m;
}

}  // namespace

void Controller::onSalvo(const swp08::Message& m, const std::string& where) {
    auto& group = server_.salvos[m.salvo];
    if (m.kind == swp08::Kind::salvo_connect) {
        // Stored only where it could be routed: a router served at its
        // matrix and level, a destination and a source it has (1023, no
        // source, is not one). Else nothing is stored and nothing answers.
        const Mirror* mirror = server_.mirror(m.matrix, m.level);
        const bool routable = mirror && m.destination < mirror->sources.size() &&
                              m.source < mirror->sourceNames.size() && m.source != swp08::kNoSource;
        if (!routable) {
            server_.rt.trace(where + swp08::describe(m) + ": ACK, not stored (no such router, destination or source)");
            return;
        }
        server_.rt.trace(where + "ACK " + swp08::describe(m));
        // A destination stored again keeps its place and takes the new source.
        auto same = std::find_if(group.begin(), group.end(), [&](const Server::Stored& s) {
            return s.matrix == m.matrix && s.level == m.level && s.destination == m.destination;
        });
        if (same != group.end()) {
            same->source = m.source;
        } else {
            group.push_back({m.matrix, m.level, m.destination, m.source});
        }
        swp08::Message ack = m;
        ack.kind = swp08::Kind::salvo_connect_ack;
        ack.badSource = false;
        send(swp08::encodeFrame(ack));
        return;
    }
    server_.rt.trace(where + "ACK " + swp08::describe(m));
    if (m.kind == swp08::Kind::salvo_interrogate) {
        swp08::Message tally = salvoMessage(swp08::Kind::salvo_tally, m.salvo, 2);
        tally.index = m.index;
        if (m.index < group.size()) {
            const Server::Stored& s = group[m.index];
            tally.matrix = s.matrix;
            tally.level = s.level;
            tally.destination = s.destination;
            tally.source = s.source;
            tally.code = m.index + 1u < group.size() ? 0 : 1;
        }
        send(swp08::encodeFrame(tally));
        return;
    }
    // Go: code 0 sets the group's crosspoints, 1 clears them; anything else
    // is answered as nothing to do. Either way the group is emptied.
    if (group.empty() || m.code > 1) {
        send(swp08::encodeFrame(salvoMessage(swp08::Kind::salvo_go_done, m.salvo, 2)));
        return;
    }
    std::vector<Server::Stored> stored;
    stored.swap(group);
    if (m.code == 1) {
        send(swp08::encodeFrame(salvoMessage(swp08::Kind::salvo_go_done, m.salvo, 1)));
        return;
    }
    // Every crosspoint of the go in one event of the panel thread: they
    // reach the facility between the same two steps, and each route made
    // gives its connected message; a refused one is answered to this
    // controller alone with where its destination stays, as a connect is.
    std::vector<std::pair<int32_t, Server::Stored>> routes;
    for (const Server::Stored& s : stored) {
        const Mirror* mirror = server_.mirror(s.matrix, s.level);
        if (mirror) routes.push_back({mirror->device, s});
    }
    Server* server = &server_;
    std::weak_ptr<Controller> weak = shared_from_this();
    server_.rt.toHost([=](SimHost& host, bool& changed) {
        changed = true;
        std::vector<swp08::Message> refused;
        for (const auto& route : routes) {
            const Server::Stored& s = route.second;
            int32_t destination = swp08::numberFromWire(s.destination).value;
            RouteResult result = host.routeFromOutside(route.first, destination, swp08::sourceFromWire(s.source).value);
            if (result == RouteResult::done) continue;
            const Router* r = host.facility().router(route.first);
            int32_t now =
                r && r->validDestination(destination) ? r->crosspoints[static_cast<std::size_t>(destination)] : 0;
            swp08::Message tally;
            tally.kind = swp08::Kind::connected;
            tally.matrix = s.matrix;
            tally.level = s.level;
            tally.destination = s.destination;
            tally.source = swp08::toWire(swp08::FacilitySource{now});
            host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> controller: " +
                                                     swp08::describe(tally) + " (salvo " + describe(result) + ")");
            refused.push_back(tally);
        }
        asio::post(server->io, [server, weak, refused, group = m.salvo] {
            swp08::Bytes done = swp08::encodeFrame(salvoMessage(swp08::Kind::salvo_go_done, group, 0));
            for (const auto& c : std::set<std::shared_ptr<Controller>>(server->controllers)) c->send(done);
            if (auto c = weak.lock()) {
                for (const auto& tally : refused) c->send(swp08::encodeFrame(tally));
            }
        });
    });
}

}  // namespace zarn_host::bridges
