#include "bridges/swp08/router_client.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "bridges/runtime/tcp.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

using asio::ip::tcp;

uint64_t nowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace

int Backoff::next() {
    int wait = nextMs_;
    nextMs_ = std::min(nextMs_ * 2, timing_.mostBackoffMs);
    return wait;
}

Client::Client(Runtime& rt, SwpRouterConfig config, int32_t destinations, ClientTiming timing)
    : config(std::move(config)),
      destinations(destinations),
      rt_(rt),
      io_(rt.io()),
      timing_(timing),
      backoff_(timing),
      socket_(io_),
      timer_(io_),
      ticker_(io_) {}

void Client::settle() {
    if (settled_) return;
    settled_ = true;
    rt_.firstSettled();
}

void Client::connect() {
    connectTo(io_, socket_, config.at, [this](const std::string& why) {
        if (!why.empty()) {
            lost(why);
            return;
        }
        up_ = true;
        state = ClientState::connected;
        out_.clear();
        writing_ = 0;
        backoff_.reset();
        decoder_.reset();
        transmitter_.reset();
        int32_t device = config.device;
        rt_.trace("swp08 " + at() + ": connected to the router of device " + std::to_string(device));
        rt_.toHost([device](SimHost& host, bool& changed) {
            if (!host.facility().online(device)) {
                host.setOnline(device, true);
                host.trace().line(TraceKind::step, "online " + std::to_string(device) + " (router connected)");
                changed = true;
            }
        });
        read();
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
    });
}

void Client::tick() {
    ticker_.expires_after(std::chrono::milliseconds(timing_.tickMs));
    ticker_.async_wait([this](const asio::error_code& ec) {
        if (ec || !up_) return;
        // A router that does not dump its crosspoints holds up no start.
        if (++ticks_ >= 5) settle();
        write(transmitter_.onTick(nowMs()));
        if (std::size_t dropped = transmitter_.takeDropped()) {
            rt_.trace("swp08 " + at() + ": " + std::to_string(dropped) + " message(s) never acknowledged, dropped");
        }
        tick();
    });
}

void Client::lost(const std::string& why) {
    settle();
    asio::error_code ignored;
    socket_.close(ignored);
    ticker_.cancel();
    if (up_) {
        int32_t device = config.device;
        rt_.trace("swp08 " + at() + ": connection lost (" + why + "); reconnecting");
        rt_.toHost([device](SimHost& host, bool& changed) {
            host.setOnline(device, false);
            host.trace().line(TraceKind::step, "offline " + std::to_string(device) + " (router connection lost)");
            changed = true;
        });
    }
    up_ = false;
    state = ClientState::reconnecting;
    timer_.expires_after(std::chrono::milliseconds(backoff_.next()));
    timer_.async_wait([this](const asio::error_code& ec) {
        if (!ec) connect();
    });
}

void Client::close() {
    up_ = false;
    asio::error_code ec;
    socket_.close(ec);
    timer_.cancel();
    ticker_.cancel();
}

void Client::read() {
    socket_.async_read_some(asio::buffer(buffer_), [this](const asio::error_code& ec, std::size_t n) {
        if (ec) {
            if (ec != asio::error::operation_aborted)
                lost(ec == asio::error::eof ? "closed by the router" : ec.message());
            return;
        }
        holding_ = true;
        for (const auto& e : decoder_.feed(buffer_.data(), n)) {
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
        holding_ = false;
        if (writing_ == 0 && !out_.empty()) writeNext();
        read();
    });
}

void Client::write(const swp08::Bytes& bytes) {
    if (!up_ || bytes.empty()) return;
    out_.push_back(bytes);
    if (!holding_ && writing_ == 0) writeNext();
}

// What is queued goes out in one write: an ACK and the next frame together.
// One write at a time: two async_writes on a socket may interleave.
void Client::writeNext() {
    std::vector<asio::const_buffer> buffers;
    for (std::size_t i = 0; i < out_.size() && i < 64; ++i) buffers.push_back(asio::buffer(out_[i]));
    writing_ = buffers.size();
    asio::async_write(socket_, buffers, [this](const asio::error_code& ec, std::size_t) {
        if (ec) return;  // the read sees the loss; the next connect starts afresh
        for (; writing_ > 0; --writing_) out_.pop_front();
        if (!out_.empty()) writeNext();
    });
}

void Client::connectRoute(uint16_t destination, uint16_t source) {
    if (!up_) return;
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
    switch (m.kind) {
        case swp08::Kind::tally:
        case swp08::Kind::connected: {
            int32_t destination = swp08::numberFromWire(m.destination).value;
            uint16_t wire = m.source;
            rt_.toHost([=](SimHost& host, bool& changed) {
                const Router* r = host.facility().router(device);
                int32_t source = swp08::sourceFromWire(wire, r ? r->sources : 0).value;
                runtime->takeFromRouter(host, device, destination, source);
                changed = true;
            });
            break;
        }
        case swp08::Kind::tally_dump: {
            std::vector<uint16_t> sources = m.sources;
            int32_t first = swp08::numberFromWire(m.first).value;
            if (m.first + static_cast<int32_t>(sources.size()) >= destinations) settle();
            rt_.toHost([=](SimHost& host, bool& changed) {
                const Router* r = host.facility().router(device);
                for (std::size_t i = 0; i < sources.size(); ++i) {
                    int32_t s = swp08::sourceFromWire(sources[i], r ? r->sources : 0).value;
                    runtime->takeFromRouter(host, device, first + static_cast<int32_t>(i), s);
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
