#include "bridges/emberplus/ember_client.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

bool startsWith(const ember::Path& path, const ember::Path& prefix) {
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

}  // namespace

EmberClient::EmberClient(Runtime& rt, EmberRouterConfig config, int32_t destinations, ClientTiming timing,
                         int keepAliveMs)
    : config(std::move(config)),
      destinations(destinations),
      rt_(rt),
      link_(rt, this->config.at,
            ClientOptions{"emberplus", "provider", this->config.device, true, limits::kEmberWaitingBytes, keepAliveMs,
                          ember::keepAliveRequest()},
            timing) {}

void EmberClient::connect() {
    link_.start({[this] { connected(); }, [this](const uint8_t* data, std::size_t n) { onData(data, n); }, nullptr});
}

void EmberClient::connected() {
    decoder_ = ember::S101Decoder();
    labels_.clear();
    labelNodes_.clear();
    rt_.trace(where() + ": reading matrix " + emberPathText(config.matrix));
    request(config.matrix, ember::CommandType::get_directory);
    request(config.matrix, ember::CommandType::subscribe);
}

void EmberClient::close() {
    link_.close();
}

void EmberClient::onData(const uint8_t* data, std::size_t n) {
    std::vector<ember::S101Event> events;
    decoder_.feed(data, n, events);
    for (const auto& e : events) {
        if (e.kind == ember::S101Event::Kind::keep_alive_request) {
            link_.send(ember::keepAliveResponse());
        } else if (e.kind == ember::S101Event::Kind::message) {
            onMessage(e.message);
        } else if (e.kind == ember::S101Event::Kind::error) {
            ++badMessages;
            rt_.trace(where() + " <- provider: bad packet (" + printable(e.detail, 120) + ")");
            if (e.error == ember::S101Error::message_too_long) {
                link_.drop("a message too long");
                return;
            }
        }
    }
}

void EmberClient::send(const ember::GlowMessage& m) {
    for (auto& packet : ember::frameMessage(ember::encodeGlow(m))) link_.send(std::move(packet));
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
    if (!link_.up()) return;
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
            const Origin from = Origin::of(Origin::Kind::router, at());
            rt_.toHost([runtime, device, taken, from](SimHost& host, bool& changed) {
                for (const auto& [destination, source] : taken)
                    runtime->takeFromRouter(host, device, destination, source, from);
                changed = true;
            });
        }
        if (e.hasContents()) link_.settle();
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
