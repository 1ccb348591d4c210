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
    auto toAll = [this](const swp08::Message& message) {
        const swp08::Bytes bytes = swp08::encodeFrame(message);
        for (const auto& c : std::set<std::shared_ptr<Controller>>(server_.controllers)) c->send(bytes);
    };
    if (m.kind == swp08::Kind::salvo_connect) {
        // Stored only where it could be routed: a router served at its
        // matrix and level, a destination and a source it has (no source is
        // outside it), and room in the group for an index the salvo
        // interrogate reaches. Else nothing is stored and nothing answers.
        const Mirror* mirror = server_.mirror(m.matrix, m.level);
        const bool routable =
            mirror && m.destination < mirror->sources.size() && static_cast<int32_t>(m.source) < mirror->sourceCount;
        auto same = std::find_if(group.begin(), group.end(), [&](const Server::Stored& s) {
            return s.matrix == m.matrix && s.level == m.level && s.destination == m.destination;
        });
        if (!routable || (same == group.end() && group.size() >= kSalvoEntries)) {
            server_.rt.trace(
                where + swp08::describe(m) + ": ACK, not stored (" +
                (routable ? "the group holds 256 crosspoints already" : "no such router, destination or source") + ")");
            return;
        }
        server_.rt.trace(where + "ACK " + swp08::describe(m));
        // A destination stored again keeps its place and takes the new source.
        if (same != group.end()) {
            same->source = m.source;
        } else {
            group.push_back({m.matrix, m.level, m.destination, m.source});
        }
        // Every controller keeps its tallies by the acknowledges and the go
        // done: all of them hear it.
        swp08::Message ack = m;
        ack.kind = swp08::Kind::salvo_connect_ack;
        ack.badSource = false;
        toAll(ack);
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
    // Go: code 0 sets the group's crosspoints, 1 clears them; an empty group
    // or another code is answered to this controller as nothing to do.
    if (group.empty() || m.code > 1) {
        send(swp08::encodeFrame(salvoMessage(swp08::Kind::salvo_go_done, m.salvo, 2)));
        return;
    }
    std::vector<Server::Stored> stored;
    stored.swap(group);
    if (m.code == 1) {
        toAll(salvoMessage(swp08::Kind::salvo_go_done, m.salvo, 1));
        return;
    }
    // Every crosspoint of the go in one event of the panel thread: they
    // reach the facility between the same two steps. The routes made give no
    // connected messages (the controllers have them from the acknowledges);
    // the go done goes to every controller, then, for a crosspoint the
    // facility refused (a lock), a connected message of where its
    // destination stays, since every controller took it as set.
    std::vector<std::pair<const Mirror*, Server::Stored>> routes;
    for (const Server::Stored& s : stored) {
        const Mirror* mirror = server_.mirror(s.matrix, s.level);
        if (mirror) routes.push_back({mirror, s});
    }
    Server* server = &server_;
    const Origin origin = Origin::controller(-1, peer);  // the go's controller
    server_.rt.toHost([=](SimHost& host, bool& changed) {
        changed = true;
        std::vector<swp08::Message> refused;
        for (const auto& route : routes) {
            const Server::Stored& s = route.second;
            const int32_t device = route.first->device, sources = route.first->sourceCount;
            int32_t destination = swp08::numberFromWire(s.destination).value;
            int32_t source = swp08::sourceFromWire(s.source, sources).value;
            RouteResult result = host.routeFromOutside(device, destination, source, origin);
            if (result == RouteResult::done) {
                server->salvoRoutes.push_back({device, destination, source});
                continue;
            }
            const Router* r = host.facility().router(device);
            int32_t now =
                r && r->validDestination(destination) ? r->crosspoints[static_cast<std::size_t>(destination)] : 0;
            swp08::Message tally;
            tally.kind = swp08::Kind::connected;
            tally.matrix = s.matrix;
            tally.level = s.level;
            tally.destination = s.destination;
            tally.source = swp08::toWire(swp08::FacilitySource{now}, sources);
            if (!swp08::fitsPlain(tally)) tally.form = swp08::Form::extended;
            host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> every controller: " +
                                                     swp08::describe(tally) + " (salvo " + describe(result) + ")");
            refused.push_back(tally);
        }
        asio::post(server->io, [server, refused, group = m.salvo] {
            swp08::Bytes done = swp08::encodeFrame(salvoMessage(swp08::Kind::salvo_go_done, group, 0));
            for (const auto& c : std::set<std::shared_ptr<Controller>>(server->controllers)) c->send(done);
            for (const auto& tally : refused) server->broadcast(tally);
        });
    });
}

}  // namespace zarn_host::bridges
