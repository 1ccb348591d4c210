// Over 400 lines: the one Asio I/O thread and everything it owns (served
// routers, router clients, UMD senders), which share its queue and its
// hand-over to the panel thread; split by role when it grows further.
// The bridges' I/O thread (standalone Asio): SW-P-08 servers that outside
// controllers connect to, SW-P-08 clients of real routers with reconnect
// back-off, and TSL UMD senders. Nothing here touches the host: what peers
// send is queued for the panel thread (exchange()), and what the panel
// thread sees change is posted to the I/O thread to send.
#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "bridges/bridges.h"
#include "bridges/codecs/swp08.h"
#include "bridges/codecs/tsl_umd.h"
#include "bridges/runtime/bridge_config.h"
#include "model/json_input.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

using namespace bridges;
using asio::ip::tcp;
using asio::ip::udp;
using HostEvent = std::function<void(SimHost& host, bool& changed)>;

constexpr std::size_t maxPendingWrite = 256 * 1024;  // a controller that does not read is dropped
constexpr std::size_t maxControllers = 64;           // per listen address
constexpr uint16_t unrouted = 1023;                  // a tally of no source

uint64_t nowMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

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

class Runtime;

// One router as a server sees it: a copy of its crosspoints and names,
// kept by the panel thread's posts.
struct Mirror {
    int32_t device = 0;
    uint8_t matrix = 0, level = 0;
    std::vector<uint16_t> sources;  // 0-based by destination; unrouted for none
    std::vector<std::string> sourceNames, destinationNames;
};

class Server;

class Controller : public std::enable_shared_from_this<Controller> {
public:
    Controller(Server& server, tcp::socket socket);
    void start();
    void send(const swp08::Bytes& bytes);
    void close();
    std::string peer;
    bool extended = false;  // it spoke the extended commands: it hears them too

private:
    void read();
    void writeNext();
    void onFrame(const swp08::Bytes& data);
    Server& server_;
    tcp::socket socket_;
    swp08::Decoder decoder_;
    std::array<uint8_t, 4096> buffer_{};
    std::deque<swp08::Bytes> out_;
    std::size_t pending_ = 0;
    bool closed_ = false;
};

class Server {
public:
    Server(Runtime& rt, asio::io_context& io, Endpoint at) : rt(rt), io(io), at(std::move(at)), acceptor(io) {}
    bool open(std::string& error);
    void accept();
    void broadcast(const swp08::Message& m);
    Mirror* mirror(uint8_t matrix, uint8_t level);
    Runtime& rt;
    asio::io_context& io;
    Endpoint at;
    tcp::acceptor acceptor;
    std::vector<Mirror> mirrors;
    std::set<std::shared_ptr<Controller>> controllers;
    std::atomic<int> count{0};
    std::atomic<uint64_t> badFrames{0};
};

class Client;

class Sender {
public:
    Sender(Runtime& rt, asio::io_context& io, SenderConfig config)
        : rt(rt), io(io), config(std::move(config)), udpSocket(io), tcpSocket(io), timer(io), retry(io) {}
    void start();
    void show(const tsl::Display& d);
    void sendOne(const tsl::Display& d);
    void repeat();
    void connectTcp();
    Runtime& rt;
    asio::io_context& io;
    SenderConfig config;
    udp::socket udpSocket;
    udp::endpoint udpTo;
    tcp::socket tcpSocket;
    bool tcpUp = false;
    asio::steady_timer timer, retry;
    std::map<uint16_t, tsl::Display> shown;
    std::atomic<uint64_t> packets{0};
};

class Runtime : public Bridges {
public:
    Runtime(BridgeConfig config) : config_(std::move(config)), guard_(asio::make_work_guard(io_)) {}
    ~Runtime() override;
    bool start(SimHost& host, bool allowRemote, std::string& error);
    bool exchange(SimHost& host) override;
    // Once this returns, the wake it replaces is neither running nor will run:
    // the I/O thread calls the wake under wakeMutex_, so a front-end can clear
    // it and then go away.
    void setWake(std::function<void()> wake) override {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        wake_ = std::move(wake);
    }
    std::string statusJson() const override;

    // I/O thread: queues an event for the panel thread.
    void toHost(HostEvent event) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (events_.size() > 100000) return;  // a flood is dropped, not kept
            events_.push_back(std::move(event));
        }
        std::lock_guard<std::mutex> lock(wakeMutex_);
        if (wake_) wake_();
    }
    void trace(const std::string& text) {
        toHost([text](SimHost& host, bool&) { host.trace().line(TraceKind::bridge, text); });
    }

private:
    friend class Client;
    BridgeConfig config_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
    std::vector<std::unique_ptr<Server>> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<std::unique_ptr<Sender>> senders_;
    mutable std::mutex mutex_;
    std::condition_variable firstCv_;
    int firstPending_ = 0;  // clients whose first connect has not settled
    std::vector<HostEvent> events_;
    std::mutex wakeMutex_;  // held while the wake runs; never taken with mutex_
    std::function<void()> wake_;
    // Panel thread.
    std::map<int32_t, std::vector<int32_t>> seen_;  // crosspoints as last handed on
    std::map<int32_t, std::string> names_;          // device -> instance name, for the page
    std::vector<std::vector<tsl::Display>> umd_;    // per sender, as last sent

public:
    // I/O thread: a client's first connect has settled (failed, or its
    // crosspoints read).
    void firstSettled() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --firstPending_;
        }
        firstCv_.notify_all();
    }
    // Panel thread, before the panel loads: waits for the first connects so
    // that a panel finds its backed routers online with their crosspoints.
    void awaitFirstConnects(std::chrono::milliseconds most) {
        std::unique_lock<std::mutex> lock(mutex_);
        firstCv_.wait_for(lock, most, [&] { return firstPending_ <= 0; });
    }
    // Panel thread: the crosspoints of a backed router as its router says.
    void takeFromRouter(SimHost& host, int32_t device, int32_t destination, int32_t source) {
        Router* r = host.facility().router(device);
        if (!r || !r->validDestination(destination) || (source != 0 && !r->validSource(source))) return;
        auto& seen = seen_[device];
        if (seen.size() > static_cast<std::size_t>(destination)) seen[static_cast<std::size_t>(destination)] = source;
        if (r->crosspoints[static_cast<std::size_t>(destination)] == source) return;
        if (source == 0) {
            r->crosspoints[static_cast<std::size_t>(destination)] = 0;
            return;
        }
        // The router's state wins over the facility's locks.
        bool wasLocked = r->locked.erase(destination) != 0;
        host.routeFromOutside(device, destination, source);
        if (wasLocked) host.facility().router(device)->locked.insert(destination);
    }
    std::map<int32_t, Client*> clientOf_;
    std::map<int32_t, std::pair<Server*, Mirror*>> servedAt_;
};

// ---- Controllers of a served router ----------------------------------------

Controller::Controller(Server& server, tcp::socket socket) : server_(server), socket_(std::move(socket)) {
    asio::error_code ec;
    auto remote = socket_.remote_endpoint(ec);
    peer = ec ? "?" : remote.address().to_string() + ":" + std::to_string(remote.port());
}

void Controller::start() {
    read();
}

void Controller::read() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(buffer_), [this, self](const asio::error_code& ec, std::size_t n) {
        if (ec) {
            if (!closed_) server_.rt.trace("swp08 " + server_.at.text() + ": controller " + peer + " disconnected");
            close();
            return;
        }
        std::vector<swp08::Event> events;
        decoder_.feed(buffer_.data(), n, events);
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
        }
        if (!closed_) read();
    });
}

void Controller::onFrame(const swp08::Bytes& data) {
    std::string where = "swp08 " + server_.at.text() + " <- " + peer + ": ";
    swp08::Decoded d = swp08::decodeMessage(data);
    if (!d.ok()) {
        ++server_.badFrames;
        server_.rt.trace(where + "ACK, message not understood (" + swp08::errorName(d.error) + ": " +
                         printable(d.detail, 120) + "; " + hex(data.data(), data.size()) + ")");
        return;
    }
    const swp08::Message& m = d.message;
    if (m.form == swp08::Form::extended) extended = true;
    Mirror* mirror = server_.mirror(m.matrix, m.level);
    bool destinationNames = m.kind == swp08::Kind::destination_names_request;
    if (destinationNames && m.form == swp08::Form::extended) {
        // The extended form names no level: any level of the matrix has the names.
        for (auto& candidate : server_.mirrors) {
            if (candidate.matrix == m.matrix) mirror = &candidate;
        }
    }
    if (!mirror) {
        server_.rt.trace(where + swp08::describe(m) + ": ACK, no router at that matrix and level");
        return;
    }
    server_.rt.trace(where + "ACK " + swp08::describe(m));
    switch (m.kind) {
        case swp08::Kind::interrogate: {
            uint16_t s = m.destination < mirror->sources.size() ? mirror->sources[m.destination] : unrouted;
            send(swp08::encodeFrame(swp08::tallyFor(m, s)));
            break;
        }
        case swp08::Kind::connect: {
            if (m.destination >= mirror->sources.size()) {
                send(swp08::encodeFrame(swp08::tallyFor(m, unrouted)));
                break;
            }
            int32_t device = mirror->device;
            int32_t destination = m.destination + 1, source = m.source + 1;
            Runtime& rt = server_.rt;
            swp08::Message request = m;
            Server* server = &server_;
            std::weak_ptr<Controller> weak = shared_from_this();
            rt.toHost([=](SimHost& host, bool& changed) {
                RouteResult result = host.routeFromOutside(device, destination, source);
                changed = true;
                if (result == RouteResult::done) return;  // the change goes out to every controller
                // Refused: the controller hears where the destination stays.
                const Router* r = host.facility().router(device);
                int32_t now =
                    r && r->validDestination(destination) ? r->crosspoints[static_cast<std::size_t>(destination)] : 0;
                swp08::Message tally = swp08::connectedFor(request);
                tally.source = now > 0 ? static_cast<uint16_t>(now - 1) : unrouted;
                host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> controller: " +
                                                         swp08::describe(tally) + " (" + describe(result) + ")");
                asio::post(server->io, [weak, tally] {
                    if (auto c = weak.lock()) c->send(swp08::encodeFrame(tally));
                });
            });
            break;
        }
        case swp08::Kind::tally_dump_request:
            for (const auto& msg : swp08::tallyDumpFor(m, mirror->sources)) send(swp08::encodeFrame(msg));
            break;
        case swp08::Kind::source_names_request:
            for (const auto& msg : swp08::namesFor(m, mirror->sourceNames)) send(swp08::encodeFrame(msg));
            break;
        case swp08::Kind::destination_names_request:
            for (const auto& msg : swp08::namesFor(m, mirror->destinationNames)) send(swp08::encodeFrame(msg));
            break;
        default:
            break;  // answers and dumps from a controller: nothing to do
    }
}

void Controller::send(const swp08::Bytes& bytes) {
    if (closed_ || bytes.empty()) return;
    if (pending_ + bytes.size() > maxPendingWrite) {
        server_.rt.trace("swp08 " + server_.at.text() + ": controller " + peer + " does not read; dropped");
        close();
        return;
    }
    pending_ += bytes.size();
    out_.push_back(bytes);
    if (out_.size() == 1) writeNext();
}

void Controller::writeNext() {
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(out_.front()), [this, self](const asio::error_code& ec, std::size_t) {
        if (ec) {
            close();
            return;
        }
        pending_ -= out_.front().size();
        out_.pop_front();
        if (!out_.empty()) writeNext();
    });
}

void Controller::close() {
    if (closed_) return;
    closed_ = true;
    asio::error_code ec;
    socket_.close(ec);
    if (server_.controllers.erase(shared_from_this())) --server_.count;
}

bool Server::open(std::string& error) {
    asio::error_code ec;
    tcp::endpoint endpoint(asio::ip::make_address(at.host == "localhost" ? "127.0.0.1" : at.host, ec), at.port);
    if (ec) {
        error = "swp08 listen " + at.text() + ": not an IP address";
        return false;
    }
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "swp08 listen " + at.text() + ": " + ec.message();
        return false;
    }
    return true;
}

void Server::accept() {
    acceptor.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) {
            auto c = std::make_shared<Controller>(*this, std::move(socket));
            if (controllers.size() >= maxControllers) {
                rt.trace("swp08 " + at.text() + ": controller " + c->peer +
                         " refused: " + std::to_string(maxControllers) + " connected already");
            } else {
                controllers.insert(c);
                ++count;
                rt.trace("swp08 " + at.text() + ": controller " + c->peer + " connected");
                c->start();
            }
        }
        accept();
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

// ---- A real router behind a facility router --------------------------------

class Client {
public:
    Client(Runtime& rt, asio::io_context& io, SwpRouterConfig config, int32_t destinations)
        : rt(rt), io(io), config(std::move(config)), destinations(destinations), socket(io), timer(io), ticker(io) {}
    void connect();
    void connectRoute(uint16_t destination, uint16_t source);
    void read();
    void lost(const std::string& why);
    void write(const swp08::Bytes& bytes);
    void writeNext();
    void onFrame(const swp08::Bytes& data);
    void tick();
    Runtime& rt;
    asio::io_context& io;
    SwpRouterConfig config;
    int32_t destinations;
    tcp::socket socket;
    asio::steady_timer timer, ticker;
    swp08::Decoder decoder;
    swp08::Transmitter transmitter;
    std::array<uint8_t, 4096> buffer{};
    std::deque<swp08::Bytes> out;  // the front is being written
    int ticks = 0;
    int backoffMs = 250;
    std::atomic<int> state{0};  // 0 connecting, 1 connected, 2 reconnecting
    bool up = false;
    bool settled = false;  // the first connect has failed or read the crosspoints
    void settle() {
        if (settled) return;
        settled = true;
        rt.firstSettled();
    }
    std::string at() const { return config.at.text(); }
};

void Client::connect() {
    tcp::resolver resolver(io);
    asio::error_code ec;
    auto endpoints = resolver.resolve(config.at.host, std::to_string(config.at.port), ec);
    if (ec) {
        lost("cannot resolve " + config.at.host);
        return;
    }
    asio::async_connect(socket, endpoints, [this](const asio::error_code& error, const tcp::endpoint&) {
        if (error) {
            lost(error.message());
            return;
        }
        up = true;
        state = 1;
        out.clear();
        backoffMs = 250;
        decoder.reset();
        transmitter.reset();
        int32_t device = config.device;
        rt.trace("swp08 " + at() + ": connected to the router of device " + std::to_string(device));
        rt.toHost([device](SimHost& host, bool& changed) {
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
        write(transmitter.send(swp08::encode(dump).data, nowMs()));
        if (config.names == "router") {
            for (auto kind : {swp08::Kind::source_names_request, swp08::Kind::destination_names_request}) {
                swp08::Message names = dump;
                names.kind = kind;
                names.nameLength = swp08::NameLength::sixteen;
                write(transmitter.send(swp08::encode(names).data, nowMs()));
            }
        }
        tick();
    });
}

void Client::tick() {
    ticker.expires_after(std::chrono::milliseconds(200));
    ticker.async_wait([this](const asio::error_code& ec) {
        if (ec || !up) return;
        // A router that does not dump its crosspoints holds up no start.
        if (++ticks >= 5) settle();
        write(transmitter.onTick(nowMs()));
        if (std::size_t dropped = transmitter.takeDropped()) {
            rt.trace("swp08 " + at() + ": " + std::to_string(dropped) + " message(s) never acknowledged, dropped");
        }
        tick();
    });
}

void Client::lost(const std::string& why) {
    settle();
    asio::error_code ignored;
    socket.close(ignored);
    ticker.cancel();
    if (up) {
        int32_t device = config.device;
        rt.trace("swp08 " + at() + ": connection lost (" + why + "); reconnecting");
        rt.toHost([device](SimHost& host, bool& changed) {
            host.setOnline(device, false);
            host.trace().line(TraceKind::step, "offline " + std::to_string(device) + " (router connection lost)");
            changed = true;
        });
    }
    up = false;
    state = 2;
    timer.expires_after(std::chrono::milliseconds(backoffMs));
    backoffMs = std::min(backoffMs * 2, 5000);
    timer.async_wait([this](const asio::error_code& ec) {
        if (!ec) connect();
    });
}

void Client::read() {
    socket.async_read_some(asio::buffer(buffer), [this](const asio::error_code& ec, std::size_t n) {
        if (ec) {
            if (ec != asio::error::operation_aborted)
                lost(ec == asio::error::eof ? "closed by the router" : ec.message());
            return;
        }
        for (const auto& e : decoder.feed(buffer.data(), n)) {
            swp08::Bytes reply = swp08::replyFor(e);
            if (!reply.empty()) write(reply);
            switch (e.kind) {
                case swp08::Event::Kind::frame:
                    onFrame(e.data);
                    break;
                case swp08::Event::Kind::ack:
                    write(transmitter.onAck(nowMs()));
                    break;
                case swp08::Event::Kind::nak:
                    write(transmitter.onNak(nowMs()));
                    break;
                case swp08::Event::Kind::error:
                    rt.trace("swp08 " + at() + " <- router: bad frame (" + swp08::errorName(e.error) + ": " +
                             printable(e.detail, 120) + ")");
                    break;
            }
        }
        read();
    });
}

void Client::write(const swp08::Bytes& bytes) {
    if (!up || bytes.empty()) return;
    // One write at a time: two async_writes on a socket may interleave.
    out.push_back(bytes);
    if (out.size() == 1) writeNext();
}

void Client::writeNext() {
    asio::async_write(socket, asio::buffer(out.front()), [this](const asio::error_code& ec, std::size_t) {
        if (ec) return;  // the read sees the loss; the next connect starts afresh
        out.pop_front();
        if (!out.empty()) writeNext();
    });
}

void Client::connectRoute(uint16_t destination, uint16_t source) {
    if (!up) return;
    swp08::Message m;
    m.kind = swp08::Kind::connect;
    m.matrix = config.matrix;
    m.level = config.level;
    m.destination = destination;
    m.source = source;
    if (!swp08::fitsPlain(m)) m.form = swp08::Form::extended;
    rt.trace("swp08 " + at() + " -> router: " + swp08::describe(m));
    write(transmitter.send(swp08::encode(m).data, nowMs()));
}

void Client::onFrame(const swp08::Bytes& data) {
    swp08::Decoded d = swp08::decodeMessage(data);
    if (!d.ok()) {
        rt.trace("swp08 " + at() + " <- router: not understood (" + printable(d.detail, 120) + ")");
        return;
    }
    const swp08::Message& m = d.message;
    if (m.matrix != config.matrix || (m.level != config.level && m.kind != swp08::Kind::destination_names)) return;
    int32_t device = config.device;
    rt.trace("swp08 " + at() + " <- router: " + swp08::describe(m));
    Runtime* runtime = &rt;
    switch (m.kind) {
        case swp08::Kind::tally:
        case swp08::Kind::connected: {
            int32_t destination = m.destination + 1;
            int32_t source = m.source >= unrouted ? 0 : m.source + 1;
            rt.toHost([=](SimHost& host, bool& changed) {
                runtime->takeFromRouter(host, device, destination, source);
                changed = true;
            });
            break;
        }
        case swp08::Kind::tally_dump: {
            std::vector<uint16_t> sources = m.sources;
            int32_t first = m.first + 1;
            if (first - 1 + static_cast<int32_t>(sources.size()) >= destinations) settle();
            rt.toHost([=](SimHost& host, bool& changed) {
                for (std::size_t i = 0; i < sources.size(); ++i) {
                    int32_t s = sources[i] >= unrouted ? 0 : sources[i] + 1;
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
            int32_t first = m.first + 1;
            rt.toHost([=](SimHost& host, bool& changed) {
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

// ---- TSL UMD displays -------------------------------------------------------

void Sender::start() {
    asio::error_code ec;
    if (config.tcp) {
        connectTcp();
    } else {
        udp::resolver resolver(io);
        auto found = resolver.resolve(udp::v4(), config.at.host, std::to_string(config.at.port), ec);
        if (!ec && !found.empty()) {
            udpTo = *found.begin();
            udpSocket.open(udp::v4(), ec);
        }
        if (ec) rt.trace("umd " + config.at.text() + ": " + ec.message());
    }
    repeat();
}

void Sender::connectTcp() {
    tcp::resolver resolver(io);
    asio::error_code ec;
    auto endpoints = resolver.resolve(config.at.host, std::to_string(config.at.port), ec);
    asio::async_connect(tcpSocket, endpoints, [this](const asio::error_code& error, const tcp::endpoint&) {
        if (error) {
            retry.expires_after(std::chrono::seconds(2));
            retry.async_wait([this](const asio::error_code& e) {
                if (!e) {
                    asio::error_code ignored;
                    tcpSocket.close(ignored);
                    connectTcp();
                }
            });
            return;
        }
        tcpUp = true;
        rt.trace("umd tcp://" + config.at.text() + ": connected");
        for (const auto& entry : shown) sendOne(entry.second);
    });
}

void Sender::sendOne(const tsl::Display& d) {
    // One display a packet: some listeners read only the first of a packet.
    for (const auto& packet : tsl::encode(config.screen, {d})) {
        ++packets;
        if (!config.tcp) {
            if (!udpSocket.is_open()) return;
            asio::error_code ignored;
            udpSocket.send_to(asio::buffer(packet), udpTo, 0, ignored);
        } else if (tcpUp) {
            auto copy = std::make_shared<tsl::Bytes>(tsl::wrapTcp(packet));
            asio::async_write(tcpSocket, asio::buffer(*copy), [this, copy](const asio::error_code& ec, std::size_t) {
                if (ec && tcpUp) {
                    tcpUp = false;
                    rt.trace("umd tcp://" + config.at.text() + ": connection lost; reconnecting");
                    asio::error_code ignored;
                    tcpSocket.close(ignored);
                    connectTcp();
                }
            });
        }
    }
}

void Sender::show(const tsl::Display& d) {
    shown[d.index] = d;
    sendOne(d);
}

void Sender::repeat() {
    timer.expires_after(std::chrono::milliseconds(config.repeatMs));
    timer.async_wait([this](const asio::error_code& ec) {
        if (ec) return;
        for (const auto& entry : shown) sendOne(entry.second);
        repeat();
    });
}

// ---- The runtime ------------------------------------------------------------

bool loopbackName(const std::string& host) {
    if (host == "localhost") return true;
    asio::error_code ec;
    auto address = asio::ip::make_address(host, ec);
    return !ec && address.is_loopback();
}

Runtime::~Runtime() {
    setWake(nullptr);
    asio::post(io_, [this] {
        for (auto& s : servers_) {
            asio::error_code ec;
            s->acceptor.close(ec);
            auto all = s->controllers;
            for (const auto& c : all) c->close();
        }
        for (auto& c : clients_) {
            c->up = false;
            asio::error_code ec;
            c->socket.close(ec);
            c->timer.cancel();
            c->ticker.cancel();
        }
        for (auto& s : senders_) {
            s->timer.cancel();
            s->retry.cancel();
            asio::error_code ec;
            s->tcpSocket.close(ec);
            s->udpSocket.close(ec);
        }
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

bool Runtime::start(SimHost& host, bool allowRemote, std::string& error) {
    Facility& facility = host.facility();
    for (const auto& inst : facility.instances()) names_.emplace(inst.device, inst.name);
    for (const auto& rc : config_.routers) {
        const Router* r = facility.router(rc.device);
        if (!r) {
            error = "swp08 on device " + std::to_string(rc.device) + ": no such router";
            return false;
        }
        seen_[rc.device] = r->crosspoints;
        if (!rc.listen) {
            if (clientOf_.count(rc.device)) {
                error = "swp08: device " + std::to_string(rc.device) + " is connected twice";
                return false;
            }
            clients_.push_back(std::make_unique<Client>(*this, io_, rc, r->destinations));
            ++firstPending_;
            clientOf_[rc.device] = clients_.back().get();
            // Offline until the router answers.
            host.setOnline(rc.device, false);
            continue;
        }
        if (!loopbackName(rc.at.host) && !allowRemote) {  // checked with the file too
            error = "swp08 listen " + rc.at.text() + ": an address other machines reach needs --allow-remote";
            return false;
        }
        Server* server = nullptr;
        for (auto& s : servers_) {
            if (s->at.text() == rc.at.text()) server = s.get();
        }
        if (!server) {
            servers_.push_back(std::make_unique<Server>(*this, io_, rc.at));
            server = servers_.back().get();
            if (!server->open(error)) return false;
        }
        // A source or destination without a name is named by its number, as
        // in revertives: controllers count the names they get.
        Mirror m;
        m.device = rc.device;
        m.matrix = rc.matrix;
        m.level = rc.level;
        for (int32_t d = 1; d <= r->destinations; ++d) {
            int32_t s = r->crosspoints[static_cast<std::size_t>(d)];
            m.sources.push_back(s > 0 ? static_cast<uint16_t>(s - 1) : unrouted);
            auto name = r->destinationNames.find(d);
            m.destinationNames.push_back(name == r->destinationNames.end() ? std::to_string(d) : name->second);
        }
        for (int32_t s = 1; s <= r->sources; ++s) {
            auto name = r->sourceNames.find(s);
            m.sourceNames.push_back(name == r->sourceNames.end() ? std::to_string(s) : name->second);
        }
        server->mirrors.push_back(std::move(m));
    }
    for (auto& s : servers_) {
        for (auto& m : s->mirrors) servedAt_[m.device] = {s.get(), &m};
    }
    for (const auto& sc : config_.senders) {
        senders_.push_back(std::make_unique<Sender>(*this, io_, sc));
        umd_.emplace_back(sc.displays.size());
    }
    for (auto& s : servers_) {
        s->accept();
        host.trace().line(TraceKind::bridge, "swp08 listening on " + s->at.text());
    }
    for (auto& c : clients_) {
        Client* client = c.get();
        asio::post(io_, [client] { client->connect(); });
        host.trace().line(TraceKind::bridge, "swp08 connecting to " + client->at());
    }
    for (auto& s : senders_) {
        Sender* sender = s.get();
        asio::post(io_, [sender] { sender->start(); });
        host.trace().line(TraceKind::bridge, std::string("umd sending to ") +
                                                 (sender->config.tcp ? "tcp://" : "udp://") + sender->config.at.text());
    }
    thread_ = std::thread([this] { io_.run(); });
    return true;
}

std::string propertyOf(SimHost& host, const PanelValue& v) {
    const Panel* panel = host.panel(v.panel);
    const Control* control = panel ? panel->control(v.control) : nullptr;
    if (!control) return "";
    // The named property, else the control's default one, else its text.
    std::string name = !v.property.empty()                 ? v.property
                       : !control->defaultProperty.empty() ? control->defaultProperty
                                                           : "text";
    const std::string* value = control->property(name);
    return value ? *value : "";
}

tsl::Lamp lampOf(SimHost& host, const PanelValue& v) {
    if (!v.set) return tsl::Lamp::off;
    auto found = v.map.find(propertyOf(host, v));
    return found == v.map.end() ? tsl::Lamp::off : found->second;
}

bool Runtime::exchange(SimHost& host) {
    std::vector<HostEvent> events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events.swap(events_);
    }
    bool changed = false;
    for (auto& e : events) e(host, changed);
    // What changed in the facility goes to the peers.
    for (auto& entry : seen_) {
        const Router* r = host.facility().router(entry.first);
        if (!r) continue;
        auto& seen = entry.second;
        for (std::size_t d = 1; d < r->crosspoints.size() && d < seen.size(); ++d) {
            int32_t now = r->crosspoints[d];
            if (now == seen[d]) continue;
            seen[d] = now;
            uint16_t destination = static_cast<uint16_t>(d - 1);
            uint16_t source = now > 0 ? static_cast<uint16_t>(now - 1) : unrouted;
            auto served = servedAt_.find(entry.first);
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
                if (server->count > 0) {
                    host.trace().line(TraceKind::bridge, "swp08 " + server->at.text() + " -> " +
                                                             std::to_string(server->count.load()) +
                                                             " controller(s): " + swp08::describe(m));
                }
                asio::post(io_, [server, mirror, m] {
                    mirror->sources[m.destination] = m.source;
                    server->broadcast(m);
                });
            }
            auto client = clientOf_.find(entry.first);
            if (client != clientOf_.end() && now > 0) {
                Client* c = client->second;
                asio::post(io_, [c, destination, source] { c->connectRoute(destination, source); });
            }
        }
    }
    // Displays whose text or tallies changed.
    for (std::size_t i = 0; i < senders_.size(); ++i) {
        const SenderConfig& sc = config_.senders[i];
        for (std::size_t k = 0; k < sc.displays.size(); ++k) {
            const DisplayConfig& dc = sc.displays[k];
            tsl::Display d;
            d.index = dc.index;
            d.text = dc.text.set ? propertyOf(host, dc.text) : "";
            d.leftTally = lampOf(host, dc.lh);
            d.rightTally = lampOf(host, dc.rh);
            d.textTally = lampOf(host, dc.textTally);
            if (umd_[i][k] == d) continue;
            umd_[i][k] = d;
            Sender* sender = senders_[i].get();
            asio::post(io_, [sender, d] { sender->show(d); });
        }
    }
    return changed;
}

const char* lampName(tsl::Lamp lamp) {
    switch (lamp) {
        case tsl::Lamp::red:
            return "red";
        case tsl::Lamp::green:
            return "green";
        case tsl::Lamp::amber:
            return "amber";
        case tsl::Lamp::off:
            break;
    }
    return "off";
}

std::string Runtime::statusJson() const {
    nlohmann::json out{{"bridges", nlohmann::json::array()}, {"umd", nlohmann::json::array()}};
    for (const auto& s : servers_) {
        nlohmann::json routers = nlohmann::json::array();
        for (const auto& m : s->mirrors) {
            auto name = names_.find(m.device);
            routers.push_back({{"device", m.device},
                               {"name", name == names_.end() ? std::to_string(m.device) : name->second},
                               {"matrix", m.matrix},
                               {"level", m.level}});
        }
        int n = s->count;
        out["bridges"].push_back({{"kind", "swp08"},
                                  {"role", "listen"},
                                  {"address", s->at.text()},
                                  {"controllers", n},
                                  {"badFrames", s->badFrames.load()},
                                  {"routers", routers},
                                  {"status", "listening on " + s->at.text() + " with " + std::to_string(n) +
                                                 (n == 1 ? " controller" : " controllers")}});
    }
    for (const auto& c : clients_) {
        int state = c->state;
        auto name = names_.find(c->config.device);
        out["bridges"].push_back({{"kind", "swp08"},
                                  {"role", "connect"},
                                  {"address", c->at()},
                                  {"device", c->config.device},
                                  {"name", name == names_.end() ? std::to_string(c->config.device) : name->second},
                                  {"status", (state == 1   ? "connected to "
                                              : state == 0 ? "connecting to "
                                                           : "reconnecting to ") +
                                                 c->at()}});
    }
    for (std::size_t i = 0; i < senders_.size(); ++i) {
        const auto& sc = config_.senders[i];
        out["bridges"].push_back(
            {{"kind", "umd"},
             {"role", "send"},
             {"address", std::string(sc.tcp ? "tcp://" : "udp://") + sc.at.text()},
             {"status", std::string("sending to ") + (sc.tcp ? "tcp://" : "udp://") + sc.at.text()}});
        for (const auto& d : umd_[i]) {
            out["umd"].push_back({{"screen", sc.screen},
                                  {"index", d.index},
                                  {"text", d.text},
                                  {"lh", lampName(d.leftTally)},
                                  {"text_tally", lampName(d.textTally)},
                                  {"rh", lampName(d.rightTally)}});
        }
    }
    return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::unique_ptr<Bridges> startBridges(const std::string& facilityPath, SimHost& host, bool allowRemote,
                                      std::string& error) {
    std::string text;
    if (!readTextFile(facilityPath, text, error)) return nullptr;
    BridgeConfig config;
    if (!parseBridgeConfig(text, facilityPath, allowRemote, config, error)) return nullptr;
    if (config.empty()) return nullptr;
    auto runtime = std::make_unique<Runtime>(std::move(config));
    if (!runtime->start(host, allowRemote, error)) return nullptr;
    // The panel loads next: it finds a backed router online with the
    // router's crosspoints when the router answers within three seconds.
    runtime->awaitFirstConnects(std::chrono::seconds(3));
    runtime->exchange(host);
    return runtime;
}

}  // namespace zarn_host
