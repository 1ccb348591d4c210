#include "bridges/emberplus/ember_client.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "bridges/runtime/tcp.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

using asio::ip::tcp;

bool startsWith(const ember::Path& path, const ember::Path& prefix) {
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

}  // namespace

EmberClient::EmberClient(Runtime& rt, EmberRouterConfig config, int32_t destinations, EmberClientTiming timing)
    : config(std::move(config)),
      destinations(destinations),
      rt_(rt),
      io_(rt.io()),
      timing_(timing),
      nextBackoffMs_(timing.firstBackoffMs),
      socket_(io_),
      timer_(io_),
      settleTimer_(io_) {}

void EmberClient::settle() {
    if (settled_) return;
    settled_ = true;
    rt_.firstSettled();
}

void EmberClient::connect() {
    connectTo(io_, socket_, config.at, [this](const std::string& why) {
        if (!why.empty()) {
            lost(why);
            return;
        }
        up_ = true;
        state = EmberClientState::connected;
        out_.clear();
        nextBackoffMs_ = timing_.firstBackoffMs;
        decoder_ = ember::S101Decoder();
        labels_.clear();
        labelNodes_.clear();
        int32_t device = config.device;
        rt_.trace(where() + ": connected to the provider of device " + std::to_string(device) + "'s matrix " +
                  emberPathText(config.matrix));
        rt_.toHost([device](SimHost& host, bool& changed) {
            if (!host.facility().online(device)) {
                host.setOnline(device, true);
                host.trace().line(TraceKind::step, "online " + std::to_string(device) + " (provider connected)");
                changed = true;
            }
        });
        read();
        request(config.matrix, ember::CommandType::get_directory);
        request(config.matrix, ember::CommandType::subscribe);
        settleTimer_.expires_after(std::chrono::milliseconds(timing_.settleMs));
        settleTimer_.async_wait([this](const asio::error_code& ec) {
            if (!ec) settle();
        });
    });
}

void EmberClient::lost(const std::string& why) {
    settle();
    asio::error_code ignored;
    socket_.close(ignored);
    settleTimer_.cancel();
    if (up_) {
        int32_t device = config.device;
        rt_.trace(where() + ": connection lost (" + why + "); reconnecting");
        rt_.toHost([device](SimHost& host, bool& changed) {
            host.setOnline(device, false);
            host.trace().line(TraceKind::step, "offline " + std::to_string(device) + " (provider connection lost)");
            changed = true;
        });
    }
    up_ = false;
    state = EmberClientState::reconnecting;
    const int wait = nextBackoffMs_;
    nextBackoffMs_ = std::min(nextBackoffMs_ * 2, timing_.mostBackoffMs);
    timer_.expires_after(std::chrono::milliseconds(wait));
    timer_.async_wait([this](const asio::error_code& ec) {
        if (!ec) connect();
    });
}

void EmberClient::close() {
    up_ = false;
    asio::error_code ec;
    socket_.close(ec);
    timer_.cancel();
    settleTimer_.cancel();
}

void EmberClient::read() {
    socket_.async_read_some(asio::buffer(buffer_), [this](const asio::error_code& ec, std::size_t n) {
        if (ec) {
            if (ec != asio::error::operation_aborted)
                lost(ec == asio::error::eof ? "closed by the provider" : ec.message());
            return;
        }
        std::vector<ember::S101Event> events;
        decoder_.feed(buffer_.data(), n, events);
        for (const auto& e : events) {
            if (e.kind == ember::S101Event::Kind::keep_alive_request) {
                out_.push_back(ember::keepAliveResponse());
                if (out_.size() == 1) writeNext();
            } else if (e.kind == ember::S101Event::Kind::message) {
                onMessage(e.message);
            } else if (e.kind == ember::S101Event::Kind::error) {
                ++badMessages;
                rt_.trace(where() + " <- provider: bad packet (" + printable(e.detail, 120) + ")");
                if (e.error == ember::S101Error::message_too_long) {
                    lost("a message too long");
                    return;
                }
            }
        }
        read();
    });
}

void EmberClient::send(const ember::GlowMessage& m) {
    if (!up_) return;
    // One write at a time: two async_writes on a socket may interleave.
    for (auto& packet : ember::frameMessage(ember::encodeGlow(m))) {
        out_.push_back(std::move(packet));
        if (out_.size() == 1) writeNext();
    }
}

void EmberClient::writeNext() {
    asio::async_write(socket_, asio::buffer(out_.front()), [this](const asio::error_code& ec, std::size_t) {
        if (ec) return;  // the read sees the loss; the next connect starts afresh
        out_.pop_front();
        if (!out_.empty()) writeNext();
    });
}

// A command on the element at path, as a qualified node (or matrix) holding it.
void EmberClient::request(const ember::Path& path, ember::CommandType command) {
    ember::Element target;
    target.kind = path == config.matrix ? ember::ElementKind::matrix : ember::ElementKind::node;
    target.qualified = true;
    target.path = path;
    ember::Element c = ember::Element::makeCommand(command);
    if (command == ember::CommandType::get_directory) c.dirFieldMask = 0xFFFFFFFFu;
    target.children = std::vector<ember::Element>{c};
    ember::GlowMessage m;
    m.elements.push_back(std::move(target));
    send(m);
}

void EmberClient::connectRoute(int32_t target, int32_t source) {
    if (!up_) return;
    ember::Element matrix;
    matrix.kind = ember::ElementKind::matrix;
    matrix.qualified = true;
    matrix.path = config.matrix;
    ember::Connection c;
    c.target = target;
    c.sources = {static_cast<uint32_t>(source)};
    c.operation = ember::ConnectionOperation::absolute;
    matrix.connections = std::vector<ember::Connection>{c};
    ember::GlowMessage m;
    m.elements.push_back(std::move(matrix));
    rt_.trace(where() + " -> provider: connect " + emberPathText(config.matrix) + " target " + std::to_string(target) +
              " <- source " + std::to_string(source));
    send(m);
}

void EmberClient::onMessage(const ember::Bytes& bytes) {
    const ember::GlowDecoded d = ember::decodeGlow(bytes);
    if (!d.ok()) {
        ++badMessages;
        rt_.trace(where() + " <- provider: message not understood (" + printable(d.error, 120) + ")");
        return;
    }
    // Every element with its whole path, depth first.
    std::vector<std::pair<const ember::Element*, ember::Path>> stack;
    for (const auto& e : d.message.elements) stack.push_back({&e, {}});
    while (!stack.empty()) {
        auto [e, parent] = stack.back();
        stack.pop_back();
        if (e->kind == ember::ElementKind::command) continue;
        ember::Path path = e->qualified ? e->path : parent;
        if (!e->qualified) path.push_back(static_cast<uint32_t>(e->number));
        onElement(*e, path);
        if (e->children) {
            for (const auto& c : *e->children) stack.push_back({&c, path});
        }
    }
}

// The matrix's connections reach the panel thread in facility numbers
// (target t is destination t+1, source s source s+1, none 0); its labels
// are read and, with "names": "provider", become the router's names.
void EmberClient::onElement(const ember::Element& e, const ember::Path& path) {
    const int32_t device = config.device;
    Runtime* runtime = &rt_;
    if (path == config.matrix && e.kind == ember::ElementKind::matrix) {
        if (!e.labels.empty() && labels_.empty()) {
            labels_ = e.labels[0].basePath;
            request(labels_, ember::CommandType::get_directory);
        }
        if (e.connections) {
            std::vector<std::pair<int32_t, int32_t>> taken;
            for (const auto& c : *e.connections) {
                if (c.target < 0 || c.target >= destinations) continue;
                const int32_t source = c.sources.empty() ? 0 : static_cast<int32_t>(c.sources[0]) + 1;
                taken.push_back({c.target + 1, source});
            }
            rt_.trace(where() + " <- provider: " + std::to_string(taken.size()) + " connection(s)");
            rt_.toHost([runtime, device, taken](SimHost& host, bool& changed) {
                for (const auto& [destination, source] : taken)
                    runtime->takeFromRouter(host, device, destination, source);
                changed = true;
            });
        }
        if (e.hasContents()) settle();
        return;
    }
    if (labels_.empty() || !startsWith(path, labels_)) return;
    if (path.size() == labels_.size() + 1 && e.kind == ember::ElementKind::node && e.identifier) {
        const bool targets = *e.identifier == "targets";
        if (!targets && *e.identifier != "sources") return;
        if (!labelNodes_.count(path.back())) request(path, ember::CommandType::get_directory);
        labelNodes_[path.back()] = targets;
        return;
    }
    if (path.size() != labels_.size() + 2 || e.kind != ember::ElementKind::parameter || !e.value ||
        e.value->kind != ember::Value::Kind::string) {
        return;
    }
    auto node = labelNodes_.find(path[labels_.size()]);
    if (node == labelNodes_.end()) return;
    const bool targets = node->second;
    if (!config.providerNames) return;  // the facility's names stay
    const int32_t n = static_cast<int32_t>(path.back()) + 1;
    const std::string name = e.value->text;
    rt_.toHost([device, targets, n, name](SimHost& host, bool& changed) {
        Router* r = host.facility().router(device);
        if (!r || name.empty() || n > (targets ? r->destinations : r->sources)) return;
        (targets ? r->destinationNames : r->sourceNames)[n] = name;
        changed = true;
    });
}

}  // namespace zarn_host::bridges
