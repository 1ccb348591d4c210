#include "bridges/swp08/served_router.h"

#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

std::string hex(const uint8_t* data, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n && i < 24; ++i) {
        if (i) out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    if (n > 24) out += " ...";
    return out;
}

}  // namespace

// ---- A controller ------------------------------------------------------------

Controller::Controller(Server& server, std::shared_ptr<PeerLink> link)
    : peer(link->peer()), server_(server), link_(std::move(link)) {}

void Controller::start() {
    std::weak_ptr<Controller> weak = shared_from_this();
    link_->start(
        [weak](const uint8_t* data, std::size_t n) {
            if (auto c = weak.lock()) c->onData(data, n);
        },
        [weak](LinkEnd end, const std::string&) {
            if (auto c = weak.lock()) c->onClosed(end);
        });
}

void Controller::onClosed(LinkEnd end) {
    if (closed_) return;
    if (end == LinkEnd::peer_closed) {
        server_.rt.trace("swp08 " + server_.at.text() + ": controller " + peer + " disconnected");
    } else if (end != LinkEnd::evicted) {  // the listener traced why
        server_.rt.trace("swp08 " + server_.at.text() + ": controller " + peer + " " + linkEndText(end) + "; dropped");
    }
    close();
}

// A read's ACKs and answers go out in one write: the link gathers what is
// sent while it hands on a read.
void Controller::onData(const uint8_t* data, std::size_t n) {
    std::vector<swp08::Event> events;
    decoder_.feed(data, n, events);
    for (const auto& e : events) {
        swp08::Bytes reply = swp08::replyFor(e);
        if (!reply.empty()) send(reply);
        if (e.kind == swp08::Event::Kind::frame) {
            onFrame(e.data);
        } else if (e.kind == swp08::Event::Kind::error) {
            ++server_.badFrames;
            server_.rt.trace("swp08 " + server_.at.text() + " <- " + peer + ": bad frame (" +
                             swp08::errorName(e.error) + ": " + printable(e.detail, 120) + ")" +
                             (reply.empty() ? ", dropped" : ", NAK"));
        }
        if (closed_) return;
    }
}

void Controller::onFrame(const swp08::Bytes& data) {
    std::string where = "swp08 " + server_.at.text() + " <- " + peer + ": ";
    swp08::Decoded d = swp08::decodeMessage(data);
    if (d.error == swp08::Error::unknown_command) {
        // Traced once per command and controller: a controller that polls
        // with one does not flood the trace.
        ++server_.badFrames;
        if (unsupported_.insert(data[0]).second) {
            server_.rt.trace(where + "ACK, message not understood (" + swp08::errorName(d.error) + ": " +
                             printable(d.detail, 120) + "; traced once for this controller; " +
                             hex(data.data(), data.size()) + ")");
        }
        return;
    }
    if (!d.ok()) {
        ++server_.badFrames;
        server_.rt.trace(where + "ACK, message not understood (" + swp08::errorName(d.error) + ": " +
                         printable(d.detail, 120) + "; " + hex(data.data(), data.size()) + ")");
        return;
    }
    const swp08::Message& m = d.message;
    if (m.form == swp08::Form::extended) extended = true;
    switch (m.kind) {
        case swp08::Kind::dual_status_request: {
            // One controller, always the active one, with nothing at fault.
            server_.rt.trace(where + "ACK " + swp08::describe(m));
            swp08::Message status;
            status.kind = swp08::Kind::dual_status_response;
            send(swp08::encodeFrame(status));
            return;
        }
        case swp08::Kind::salvo_connect:
        case swp08::Kind::salvo_go:
        case swp08::Kind::salvo_interrogate:
            onSalvo(m, where);
            return;
        default:
            break;
    }
    Mirror* mirror = server_.mirror(m.matrix, m.level);
    if (m.kind == swp08::Kind::destination_names_request && m.form == swp08::Form::extended) {
        // The extended form names no level: the matrix's destinations are
        // those of its level 0 (else its lowest level served).
        for (auto& candidate : server_.mirrors) {
            if (candidate.matrix == m.matrix && (!mirror || candidate.level < mirror->level)) mirror = &candidate;
        }
    }
    if (!mirror) {
        server_.rt.trace(where + swp08::describe(m) + ": ACK, no router at that matrix and level");
        return;
    }
    server_.rt.trace(where + "ACK " + swp08::describe(m));
    switch (m.kind) {
        case swp08::Kind::interrogate: {
            uint16_t s = m.destination < mirror->sources.size() ? mirror->sources[m.destination] : mirror->noSource;
            send(swp08::encodeFrame(swp08::tallyFor(m, s)));
            break;
        }
        case swp08::Kind::connect:
            onConnect(m, *mirror);
            break;
        case swp08::Kind::tally_dump_request:
            for (const auto& msg : swp08::tallyDumpFor(m, mirror->sources)) send(swp08::encodeFrame(msg));
            break;
        case swp08::Kind::source_names_request:
            for (const auto& msg : swp08::namesFor(m, mirror->sourceNames)) send(swp08::encodeFrame(msg));
            break;
        case swp08::Kind::destination_names_request:
            for (const auto& msg : swp08::namesFor(m, mirror->destinationNames)) send(swp08::encodeFrame(msg));
            break;
        case swp08::Kind::protect_interrogate:
        case swp08::Kind::protect_connect:
        case swp08::Kind::protect_disconnect:
        case swp08::Kind::master_protect_connect:
        case swp08::Kind::protect_dump_request:
            onProtect(m, *mirror);
            break;
        default:
            break;  // answers and dumps from a controller: nothing to do
    }
}

// A connect is an outside route on the panel thread. Its change goes out to
// every controller as a connected message; a refused one (a lock, an offline
// router, a source outside the router, which includes no source: the
// facility has no disconnect) is answered to this controller alone with a
// connected message of where the destination stays (no source for a
// destination the router does not have).
void Controller::onConnect(const swp08::Message& m, const Mirror& mirror) {
    if (m.destination >= mirror.sources.size()) {
        swp08::Message none = m;
        none.source = mirror.noSource;
        send(swp08::encodeFrame(swp08::connectedFor(none)));
        return;
    }
    int32_t device = mirror.device;
    int32_t destination = swp08::numberFromWire(m.destination).value;
    int32_t source = swp08::sourceFromWire(m.source, mirror.sourceCount).value;
    int32_t sourceCount = mirror.sourceCount;
    swp08::Message request = m;
    Server* server = &server_;
    std::weak_ptr<Controller> weak = shared_from_this();
    const Origin origin = Origin::controller(-1, peer);  // a connect names no device
    server_.rt.toHost([=](SimHost& host, bool& changed) {
        RouteResult result = host.routeFromOutside(device, destination, source, origin);
        changed = true;
        if (result == RouteResult::done) return;
        const Router* r = host.facility().router(device);
        int32_t now = r && r->validDestination(destination) ? r->crosspoints[static_cast<std::size_t>(destination)] : 0;
        swp08::Message kept = request;
        kept.source = swp08::toWire(swp08::FacilitySource{now}, sourceCount);
        const swp08::Message tally = swp08::connectedFor(kept);  // extended when the kept source needs it
        swp08::Bytes bytes = swp08::encodeFrame(tally);
        host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> controller: " +
                                                 swp08::describe(tally) + " (" + describe(result) + ")");
        asio::post(server->io, [weak, bytes] {
            if (auto c = weak.lock()) c->send(bytes);
        });
    });
}

void Controller::send(const swp08::Bytes& bytes) {
    if (!closed_) link_->send(bytes);
}

void Controller::close() {
    if (closed_) return;
    closed_ = true;
    auto self = shared_from_this();
    link_->close();
    if (server_.controllers.erase(self)) --server_.count;
}

// ---- A listen address ----------------------------------------------------------

bool Server::open(std::string& error) {
    return listener.open(error);
}

void Server::accept() {
    listener.accept([this](std::shared_ptr<PeerLink> link) {
        auto c = std::make_shared<Controller>(*this, std::move(link));
        controllers.insert(c);
        ++count;
        c->start();
    });
}

void Server::broadcast(const swp08::Message& m) {
    swp08::Message ext = m;
    ext.form = swp08::Form::extended;
    swp08::Bytes plainBytes = swp08::fitsPlain(m) ? swp08::encodeFrame(m) : swp08::Bytes();
    swp08::Bytes extBytes = swp08::encodeFrame(ext);
    auto all = controllers;  // a send may drop a controller
    for (const auto& c : all) c->send(c->extended || plainBytes.empty() ? extBytes : plainBytes);
}

Mirror* Server::mirror(uint8_t matrix, uint8_t level) {
    for (auto& m : mirrors) {
        if (m.matrix == matrix && m.level == level) return &m;
    }
    return nullptr;
}

void Server::close() {
    auto all = controllers;
    for (const auto& c : all) c->close();
    listener.close();
}

}  // namespace zarn_host::bridges
