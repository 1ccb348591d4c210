#include "bridges/swp08/router_client.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

uint64_t nowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace

Client::Client(Runtime& rt, SwpRouterConfig config, int32_t destinations, ClientTiming timing)
    : config(std::move(config)),
      destinations(destinations),
      rt_(rt),
      timing_(timing),
      link_(rt, this->config.at,
            ClientOptions{"swp08", "router", this->config.device, true, limits::kSwp08WaitingBytes, 0, {}}, timing),
      ticker_(rt.io()) {}

void Client::connect() {
    link_.start({[this] { connected(); }, [this](const uint8_t* data, std::size_t n) { onData(data, n); },
                 [this] { ticker_.cancel(); }});
}

void Client::connected() {
    decoder_.reset();
    transmitter_.reset();
    swp08::Message dump;
    dump.kind = swp08::Kind::tally_dump_request;
    dump.form = swp08::Form::extended;
    dump.matrix = config.matrix;
    dump.level = config.level;
    write(transmitter_.send(swp08::encode(dump).data, nowMs()));
    if (config.names == "router") {
        for (auto kind : {swp08::Kind::source_names_request, swp08::Kind::destination_names_request}) {
            swp08::Message names = dump;
            names.kind = kind;
            // The extended destination names request names the matrix only.
            if (kind == swp08::Kind::destination_names_request) names.level = 0;
            names.nameLength = swp08::NameLength::sixteen;
            write(transmitter_.send(swp08::encode(names).data, nowMs()));
        }
    }
    tick();
}

void Client::tick() {
    ticker_.expires_after(std::chrono::milliseconds(timing_.tickMs));
    ticker_.async_wait([this](const asio::error_code& ec) {
        if (ec || !link_.up()) return;
        write(transmitter_.onTick(nowMs()));
        if (std::size_t dropped = transmitter_.takeDropped()) {
            rt_.trace("swp08 " + at() + ": " + std::to_string(dropped) + " message(s) never acknowledged, dropped");
        }
        tick();
    });
}

void Client::close() {
    ticker_.cancel();
    link_.close();
}

// A read's ACKs and frames go out in one write (the link gathers what is
// sent while it hands on a read).
void Client::onData(const uint8_t* data, std::size_t n) {
    for (const auto& e : decoder_.feed(data, n)) {
        swp08::Bytes reply = swp08::replyFor(e);
        if (!reply.empty()) write(reply);
        switch (e.kind) {
            case swp08::Event::Kind::frame:
                onFrame(e.data);
                break;
            case swp08::Event::Kind::ack:
                write(transmitter_.onAck(nowMs()));
                break;
            case swp08::Event::Kind::nak:
                write(transmitter_.onNak(nowMs()));
                break;
            case swp08::Event::Kind::error:
                rt_.trace("swp08 " + at() + " <- router: bad frame (" + swp08::errorName(e.error) + ": " +
                          printable(e.detail, 120) + ")");
                break;
        }
    }
}

void Client::write(const swp08::Bytes& bytes) {
    if (!bytes.empty()) link_.send(bytes);
}

void Client::connectRoute(uint16_t destination, uint16_t source) {
    if (!link_.up()) return;
    swp08::Message m;
    m.kind = swp08::Kind::connect;
    m.matrix = config.matrix;
    m.level = config.level;
    m.destination = destination;
    m.source = source;
    if (!swp08::fitsPlain(m)) m.form = swp08::Form::extended;
    rt_.trace("swp08 " + at() + " -> router: " + swp08::describe(m));
    write(transmitter_.send(swp08::encode(m).data, nowMs()));
}

// The router's tallies, dumps and names, in wire numbers, reach the panel
// thread in facility numbers.
void Client::onFrame(const swp08::Bytes& data) {
    swp08::Decoded d = swp08::decodeMessage(data);
    if (!d.ok()) {
        rt_.trace("swp08 " + at() + " <- router: not understood (" + printable(d.detail, 120) + ")");
        return;
    }
    const swp08::Message& m = d.message;
    if (m.matrix != config.matrix || (m.level != config.level && m.kind != swp08::Kind::destination_names)) return;
    int32_t device = config.device;
    rt_.trace("swp08 " + at() + " <- router: " + swp08::describe(m));
    Runtime* runtime = &rt_;
    const Origin from = Origin::of(Origin::Kind::router, at());
    switch (m.kind) {
        case swp08::Kind::tally:
        case swp08::Kind::connected: {
            int32_t destination = swp08::numberFromWire(m.destination).value;
            uint16_t wire = m.source;
            rt_.toHost([=](SimHost& host, bool& changed) {
                const Router* r = host.facility().router(device);
                int32_t source = swp08::sourceFromWire(wire, r ? r->sources : 0).value;
                runtime->takeFromRouter(host, device, destination, source, from);
                changed = true;
            });
            break;
        }
        case swp08::Kind::tally_dump: {
            std::vector<uint16_t> sources = m.sources;
            int32_t first = swp08::numberFromWire(m.first).value;
            if (m.first + static_cast<int32_t>(sources.size()) >= destinations) link_.settle();
            rt_.toHost([=](SimHost& host, bool& changed) {
                const Router* r = host.facility().router(device);
                for (std::size_t i = 0; i < sources.size(); ++i) {
                    int32_t s = swp08::sourceFromWire(sources[i], r ? r->sources : 0).value;
                    runtime->takeFromRouter(host, device, first + static_cast<int32_t>(i), s, from);
                }
                changed = true;
            });
            break;
        }
        case swp08::Kind::source_names:
        case swp08::Kind::destination_names: {
            bool sources = m.kind == swp08::Kind::source_names;
            std::vector<std::string> names = m.names;
            int32_t first = swp08::numberFromWire(m.first).value;
            rt_.toHost([=](SimHost& host, bool& changed) {
                Router* r = host.facility().router(device);
                if (!r) return;
                for (std::size_t i = 0; i < names.size(); ++i) {
                    int32_t n = first + static_cast<int32_t>(i);
                    if (names[i].empty() || n > (sources ? r->sources : r->destinations)) continue;
                    (sources ? r->sourceNames : r->destinationNames)[n] = names[i];
                }
                changed = true;
            });
            break;
        }
        default:
            break;
    }
}

}  // namespace zarn_host::bridges
