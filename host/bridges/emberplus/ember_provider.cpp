#include "bridges/emberplus/ember_provider.h"

#include <algorithm>

#include "bridges/emberplus/ember_config.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

using ember::ConnectionDisposition;

const char* commandName(ember::CommandType c) {
    switch (c) {
        case ember::CommandType::get_directory:
            return "GetDirectory";
        case ember::CommandType::subscribe:
            return "Subscribe";
        case ember::CommandType::unsubscribe:
            return "Unsubscribe";
        case ember::CommandType::invoke:
            return "Invoke";
    }
    return "command";
}

void describeInto(const ember::Element& e, const ember::Path& parent, std::string& out, int& budget) {
    if (--budget < 0) return;
    ember::Path path = parent;
    if (e.kind == ember::ElementKind::command) {
        out += std::string(out.empty() ? "" : ", ") + commandName(e.command) + " " +
               (path.empty() ? "root" : emberPathText(path));
        return;
    }
    if (e.qualified) {
        path = e.path;
    } else {
        path.push_back(static_cast<uint32_t>(e.number));
    }
    if (e.connections) {
        for (const auto& c : *e.connections) {
            out += std::string(out.empty() ? "" : ", ") + "connection " + emberPathText(path) + " target " +
                   std::to_string(c.target) + " <- [";
            for (std::size_t i = 0; i < c.sources.size() && i < 4; ++i) {
                out += (i ? " " : "") + std::to_string(c.sources[i]);
            }
            out += "]";
        }
    } else if (!e.children) {
        out += std::string(out.empty() ? "" : ", ") + "element " + emberPathText(path);
    }
    if (e.children) {
        for (const auto& c : *e.children) describeInto(c, path, out, budget);
    }
}

}  // namespace

std::string describeGlow(const ember::GlowMessage& m) {
    std::string out;
    int budget = 8;
    for (const auto& e : m.elements) describeInto(e, {}, out, budget);
    if (budget < 0) out += ", ...";
    if (m.invocationResult) out += "invocation result " + std::to_string(m.invocationResult->id);
    return out.empty() ? "empty message" : out;
}

// ---- A consumer ----------------------------------------------------------------

Consumer::Consumer(Provider& provider, std::shared_ptr<PeerLink> link)
    : peer(link->peer()),
      provider_(provider),
      link_(std::move(link)),
      decoder_(provider.limits.maxMessage),
      budget_(provider.limits.requestBurst),
      refilled_(std::chrono::steady_clock::now()),
      drainTimer_(provider.io) {
    link_->watchSilence(std::chrono::milliseconds(provider.limits.keepAliveMs), ember::keepAliveRequest());
}

void Consumer::start() {
    std::weak_ptr<Consumer> weak = shared_from_this();
    link_->start(
        [weak](const uint8_t* data, std::size_t n) {
            if (auto c = weak.lock()) c->onData(data, n);
        },
        [weak](LinkEnd end, const std::string&) {
            if (auto c = weak.lock()) c->onClosed(end);
        });
}

void Consumer::onClosed(LinkEnd end) {
    if (closed_) return;
    if (end == LinkEnd::peer_closed) {
        provider_.rt.trace(provider_.where() + ": consumer " + peer + " disconnected");
    } else if (end != LinkEnd::evicted) {  // the listener traced why
        provider_.rt.trace(provider_.where() + ": consumer " + peer + " " + linkEndText(end) + "; dropped");
    }
    close();
}

void Consumer::onData(const uint8_t* data, std::size_t n) {
    std::vector<ember::S101Event> events;
    decoder_.feed(data, n, events);
    for (const auto& e : events) {
        if (closed_) return;
        switch (e.kind) {
            case ember::S101Event::Kind::keep_alive_request:
                sendBytes(ember::keepAliveResponse());
                break;
            case ember::S101Event::Kind::keep_alive_response:
                break;
            case ember::S101Event::Kind::message:
                waitingBytes_ += e.message.size();
                waiting_.push_back(e.message);
                break;
            case ember::S101Event::Kind::error: {
                ++provider_.badMessages;
                const bool drop = e.error == ember::S101Error::message_too_long;
                provider_.rt.trace(provider_.where() + " <- " + peer + ": bad packet (" + printable(e.detail, 120) +
                                   ")" + (drop ? ", dropped" : ""));
                if (drop) close();
                break;
            }
        }
    }
    if (!closed_ && (waiting_.size() > provider_.limits.maxQueued || waitingBytes_ > provider_.limits.maxMessage)) {
        ++provider_.floods;
        provider_.rt.trace(provider_.where() + ": consumer " + peer + " has " + std::to_string(waiting_.size()) +
                           " messages waiting to be answered; dropped");
        close();
        return;
    }
    drain();
}

// A flood is answered at the rate, not as fast as it comes: past the
// budget the rest waits until it is back.
void Consumer::drain() {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - refilled_).count();
    refilled_ = now;
    budget_ = std::min<double>(provider_.limits.requestBurst, budget_ + seconds * provider_.limits.requestsPerSecond);
    while (!closed_ && !waiting_.empty() && budget_ >= 1) {
        budget_ -= 1;
        ember::Bytes message = std::move(waiting_.front());
        waiting_.pop_front();
        waitingBytes_ -= message.size();
        onMessage(message);
    }
    if (closed_ || waiting_.empty()) return;
    if (!draining_) ++provider_.throttled;
    draining_ = true;
    const double wait = (1 - budget_) / provider_.limits.requestsPerSecond;
    std::weak_ptr<Consumer> weak = shared_from_this();
    drainTimer_.expires_after(std::chrono::milliseconds(static_cast<int64_t>(wait * 1000) + 1));
    drainTimer_.async_wait([weak](const asio::error_code& ec) {
        auto c = weak.lock();
        if (!c || ec) return;
        c->draining_ = false;
        c->drain();
    });
}

void Consumer::onMessage(const ember::Bytes& bytes) {
    const ember::GlowDecoded d = ember::decodeGlow(bytes);
    const std::string where = provider_.where() + " <- " + peer + ": ";
    if (!d.ok()) {
        ++provider_.badMessages;
        provider_.rt.trace(where + "message not understood (" + printable(d.error, 120) + ")");
        return;
    }
    provider_.rt.trace(where + describeGlow(d.message));
    for (const auto& note : d.notes) provider_.rt.trace(where + note);
    for (const auto& e : d.message.elements) {
        if (e.kind == ember::ElementKind::command) {
            command(e, {});
        } else {
            walk(e, {});
        }
    }
}

void Consumer::walk(const ember::Element& e, const ember::Path& parent) {
    ember::Path path = e.qualified ? e.path : parent;
    if (!e.qualified) path.push_back(static_cast<uint32_t>(e.number));
    if (e.kind == ember::ElementKind::matrix && e.connections) onConnections(path, *e.connections);
    const int item = provider_.tree.panelAt(path);
    if (e.kind == ember::ElementKind::parameter && e.value && item >= 0)
        onWrite(static_cast<std::size_t>(item), *e.value);
    if (!e.children) return;
    for (const auto& child : *e.children) {
        if (closed_) return;
        if (child.kind == ember::ElementKind::command && child.command == ember::CommandType::invoke && item >= 0) {
            onInvoke(static_cast<std::size_t>(item), child);
        } else if (child.kind == ember::ElementKind::command) {
            command(child, path);
        } else {
            walk(child, path);
        }
    }
}

void Consumer::command(const ember::Element& c, const ember::Path& path) {
    const int index = provider_.tree.matrixAt(path);
    switch (c.command) {
        case ember::CommandType::get_directory: {
            ember::GlowMessage answer;
            if (!provider_.tree.directory(path, answer)) {
                provider_.rt.trace(provider_.where() + " -> " + peer + ": no element at " + emberPathText(path));
                return;
            }
            // Asking for a matrix's directory is asking for its connections;
            // the panel node's, for its values.
            if (index >= 0) subscribed.insert(static_cast<std::size_t>(index));
            if (path == ember::Path{kPanelNode}) panelSubscribed = true;
            send(answer);
            break;
        }
        case ember::CommandType::subscribe:
            if (index >= 0) subscribed.insert(static_cast<std::size_t>(index));
            if (path == ember::Path{kPanelNode}) panelSubscribed = true;
            break;
        case ember::CommandType::unsubscribe:
            if (index >= 0) subscribed.erase(static_cast<std::size_t>(index));
            if (path == ember::Path{kPanelNode}) panelSubscribed = false;
            break;
        case ember::CommandType::invoke: {
            ember::GlowMessage answer;
            answer.invocationResult = ember::InvocationResult{};
            answer.invocationResult->id = c.invocation && c.invocation->id ? *c.invocation->id : 0;
            answer.invocationResult->success = false;
            send(answer);
            break;
        }
    }
}

// A connect is an outside route on the panel thread. Its change goes out to
// every consumer that follows the matrix; this consumer is answered either
// way with where the target is now (locked when refused: a lock, an offline
// router, or a disconnect: the facility has none).
void Consumer::onConnections(const ember::Path& path, const std::vector<ember::Connection>& connections) {
    const int found = provider_.tree.matrixAt(path);
    if (found < 0) {
        provider_.rt.trace(provider_.where() + " -> " + peer + ": no matrix at " + emberPathText(path));
        return;
    }
    const auto index = static_cast<std::size_t>(found);
    const ServedMatrix& m = provider_.tree.routers[index];
    for (const ember::Connection& c : connections) {
        if (c.target < 0 || static_cast<std::size_t>(c.target) >= m.sources.size()) continue;
        const bool disconnect = c.operation && *c.operation == ember::ConnectionOperation::disconnect;
        if (disconnect || c.sources.size() != 1 || c.sources[0] >= static_cast<uint32_t>(m.sourceCount)) {
            answer(index, c.target, m.sources[static_cast<std::size_t>(c.target)], ConnectionDisposition::locked);
            continue;
        }
        const int32_t device = m.device;
        const int32_t target = c.target;
        const int32_t source = static_cast<int32_t>(c.sources[0]) + 1;
        Provider* provider = &provider_;
        std::weak_ptr<Consumer> weak = shared_from_this();
        const Origin origin = Origin::of(Origin::Kind::consumer, peer);
        provider_.rt.toHost([=](SimHost& host, bool& changed) {
            RouteResult result = host.routeFromOutside(device, target + 1, source, origin);
            changed = true;
            const Router* r = host.facility().router(device);
            int32_t now =
                r && r->validDestination(target + 1) ? r->crosspoints[static_cast<std::size_t>(target + 1)] : 0;
            if (result != RouteResult::done) {
                host.trace().line(TraceKind::bridge, provider->where() + " -> consumer: target " +
                                                         std::to_string(target) + " stays (" + describe(result) + ")");
            }
            const auto disposition =
                result == RouteResult::done ? ConnectionDisposition::modified : ConnectionDisposition::locked;
            asio::post(provider->io, [weak, index, target, now, disposition] {
                if (auto c = weak.lock()) c->answer(index, target, now, disposition);
            });
        });
    }
}

void Consumer::answer(std::size_t index, int32_t target, int32_t source, ConnectionDisposition disposition) {
    ServedMatrix& m = provider_.tree.routers[index];
    m.sources[static_cast<std::size_t>(target)] = source;
    send(provider_.tree.connections(index, {target}, disposition));
}

void Consumer::send(const ember::GlowMessage& message) {
    for (const ember::Bytes& packet : ember::frameMessage(ember::encodeGlow(message))) sendBytes(packet);
}

void Consumer::sendBytes(const ember::Bytes& bytes) {
    if (!closed_ && !bytes.empty()) link_->send(bytes);
}

void Consumer::close() {
    if (closed_) return;
    closed_ = true;
    auto self = shared_from_this();
    drainTimer_.cancel();
    link_->close();
    if (provider_.consumers.erase(self)) --provider_.count;
}

// ---- A listen address -------------------------------------------------------------

bool Provider::open(std::string& error) {
    return listener.open(error);
}

void Provider::accept() {
    listener.accept([this](std::shared_ptr<PeerLink> link) {
        auto c = std::make_shared<Consumer>(*this, std::move(link));
        consumers.insert(c);
        ++count;
        c->start();
    });
}

void Provider::changed(std::size_t index, int32_t target, int32_t source) {
    tree.routers[index].sources[static_cast<std::size_t>(target)] = source;
    const ember::GlowMessage m = tree.connections(index, {target}, ConnectionDisposition::tally);
    const std::vector<ember::Bytes> packets = ember::frameMessage(ember::encodeGlow(m));
    auto all = consumers;  // a send may drop a consumer
    for (const auto& c : all) {
        if (!c->subscribed.count(index)) continue;
        for (const auto& p : packets) c->sendBytes(p);
    }
}

void Provider::close() {
    auto all = consumers;
    for (const auto& c : all) c->close();
    listener.close();
}

}  // namespace zarn_host::bridges
