#include "bridges/emberplus/ember_module.h"

#include "model/json_input.h"
#include "sim/sim_host.h"
#include "text/address.h"

namespace zarn_host::bridges {
namespace {

// The named property, else the control's default one, else its text; mapped
// when the item has a map (a value not in it is "off").
std::string panelValue(SimHost& host, const EmberPanelItem& item) {
    const Panel* panel = host.panel(item.panel);
    const Control* control = panel ? panel->control(item.control) : nullptr;
    std::string value;
    if (control) {
        const std::string name = !item.property.empty()              ? item.property
                                 : !control->defaultProperty.empty() ? control->defaultProperty
                                                                     : "text";
        const std::string* p = control->property(name);
        if (p) value = *p;
    }
    if (item.map.empty()) return value;
    auto found = item.map.find(value);
    return found == item.map.end() ? "off" : found->second;
}

}  // namespace

std::unique_ptr<Module> readEmberModule(const Json& root, bool allowRemote) {
    std::vector<EmberRouterConfig> routers = readEmberRouters(root, allowRemote);
    EmberPanelConfig panel = readEmberPanel(root, allowRemote);
    for (const EmberRouterConfig& r : routers) {
        if (r.listen && !panel.items.empty() && r.at.text() == panel.at.text() && !r.allow.sameAs(panel.allow)) {
            throw JsonContentError("/emberplus/allow", "the routers served on " + r.at.text() +
                                                           " share its consumers: give the same \"allow\" list");
        }
    }
    if (routers.empty() && panel.items.empty()) return nullptr;
    return std::make_unique<EmberModule>(std::move(routers), std::move(panel), allowRemote);
}

Provider* EmberModule::providerAt(Runtime& rt, const Endpoint& at, const AllowList& allow, std::string& error) {
    for (auto& p : providers_) {
        if (p->at.text() != at.text()) continue;
        if (p->listener.allow.sameAs(allow)) return p.get();
        error = "emberplus listen " + at.text() + ": the tree's entries give different \"allow\" lists";
        return nullptr;
    }
    providers_.push_back(std::make_unique<Provider>(rt, at, limits_));
    providers_.back()->listener.allow = allow;
    return providers_.back()->open(error) ? providers_.back().get() : nullptr;
}

bool EmberModule::start(Runtime& rt, SimHost& host, std::string& error) {
    rt_ = &rt;
    Facility& facility = host.facility();
    for (const auto& rc : routers_) {
        const Router* r = facility.router(rc.device);
        if (!r) {
            error = "emberplus on device " + std::to_string(rc.device) + ": no such router";
            return false;
        }
        rt.watchRouter(host, rc.device, *r);
        if (!rc.listen) {
            clients_.push_back(std::make_unique<EmberClient>(rt, rc, r->destinations, timing_, limits_.keepAliveMs));
            clientOf_[rc.device] = clients_.back().get();
            // Offline until the provider answers.
            host.setOnline(rc.device, false);
            continue;
        }
        if (!isLoopbackHost(rc.at.host) && !allowRemote_) {  // checked with the file too
            error = "emberplus listen " + rc.at.text() + ": an address other machines reach needs --allow-remote";
            return false;
        }
        Provider* provider = providerAt(rt, rc.at, rc.allow, error);
        if (!provider) return false;
        // An unnamed target or source is labelled with its facility number.
        ServedMatrix m;
        m.device = rc.device;
        m.name = rt.deviceName(rc.device);
        m.sourceCount = r->sources;
        for (int32_t d = 1; d <= r->destinations; ++d) {
            m.sources.push_back(r->crosspoints[static_cast<std::size_t>(d)]);
            auto name = r->destinationNames.find(d);
            m.targetNames.push_back(name == r->destinationNames.end() ? std::to_string(d) : name->second);
        }
        for (int32_t s = 1; s <= r->sources; ++s) {
            auto name = r->sourceNames.find(s);
            m.sourceNames.push_back(name == r->sourceNames.end() ? std::to_string(s) : name->second);
        }
        servedAt_[rc.device] = {provider, provider->tree.routers.size()};
        provider->tree.routers.push_back(std::move(m));
    }
    if (!panel_.items.empty()) {
        if (!isLoopbackHost(panel_.at.host) && !allowRemote_) {
            error = "emberplus listen " + panel_.at.text() + ": an address other machines reach needs --allow-remote";
            return false;
        }
        panelProvider_ = providerAt(rt, panel_.at, panel_.allow, error);
        if (!panelProvider_) return false;
        panelProvider_->panelItems = panel_.items;
        for (const EmberPanelItem& item : panel_.items) {
            ServedPanelItem served;
            served.identifier = item.identifier;
            served.kind = item.action == EmberPanelItem::Action::press  ? ServedPanelItem::Kind::function
                          : item.action == EmberPanelItem::Action::pick ? ServedPanelItem::Kind::writable
                                                                        : ServedPanelItem::Kind::value;
            served.value = panelValue(host, item);
            shown_.push_back(served.value);
            panelProvider_->tree.panel.push_back(std::move(served));
        }
    }
    for (auto& p : providers_) {
        p->accept();
        host.trace().line(TraceKind::bridge, "emberplus listening on " + p->at.text());
    }
    for (auto& c : clients_) {
        EmberClient* client = c.get();
        asio::post(rt.io(), [client] { client->connect(); });
        host.trace().line(TraceKind::bridge, "emberplus connecting to " + client->at());
    }
    return true;
}

void EmberModule::handOn(SimHost& host, const std::vector<CrosspointChange>& changes) {
    for (std::size_t k = 0; k < shown_.size(); ++k) {
        std::string now = panelValue(host, panel_.items[k]);
        if (now == shown_[k]) continue;
        shown_[k] = now;
        Provider* provider = panelProvider_;
        asio::post(rt_->io(), [provider, k, now] { provider->panelChanged(k, now); });
    }
    for (const CrosspointChange& change : changes) {
        auto client = clientOf_.find(change.device);
        if (client != clientOf_.end() && change.source > 0 && !change.fromRouter) {
            EmberClient* c = client->second;
            const int32_t target = change.destination - 1;
            const int32_t source = change.source - 1;
            asio::post(rt_->io(), [c, target, source] { c->connectRoute(target, source); });
        }
        auto served = servedAt_.find(change.device);
        if (served == servedAt_.end()) continue;
        Provider* provider = served->second.first;
        const std::size_t index = served->second.second;
        const int32_t target = change.destination - 1;
        const int32_t source = change.source;
        if (provider->count > 0) {
            host.trace().line(TraceKind::bridge, provider->where() +
                                                     " -> consumers: " + rt_->deviceName(change.device) + " target " +
                                                     std::to_string(target) + " <- source " +
                                                     (source > 0 ? std::to_string(source - 1) : "none"));
        }
        asio::post(rt_->io(), [provider, index, target, source] { provider->changed(index, target, source); });
    }
}

void EmberModule::status(nlohmann::json& page) const {
    for (const auto& p : providers_) {
        nlohmann::json routers = nlohmann::json::array();
        for (const auto& [device, at] : servedAt_) {
            if (at.first != p.get()) continue;
            routers.push_back({{"device", device},
                               {"name", rt_->deviceName(device)},
                               {"matrix", emberPathText(EmberTree::matrixPath(at.second))}});
        }
        int n = p->count;
        nlohmann::json row = {{"kind", "emberplus"},
                              {"role", "listen"},
                              {"address", p->at.text()},
                              {"consumers", n},
                              {"badMessages", p->badMessages.load()},
                              {"routers", routers},
                              {"status", "listening on " + p->at.text() + " with " + std::to_string(n) +
                                             (n == 1 ? " consumer" : " consumers")}};
        row["throttled"] = p->throttled.load();
        row["floods"] = p->floods.load();
        p->listener.addCounters(row);
        page["bridges"].push_back(std::move(row));
    }
    for (const auto& c : clients_) {
        page["bridges"].push_back({{"kind", "emberplus"},
                                   {"role", "connect"},
                                   {"address", c->at()},
                                   {"device", c->config.device},
                                   {"name", rt_->deviceName(c->config.device)},
                                   {"matrix", emberPathText(c->config.matrix)},
                                   {"badMessages", c->badMessages.load()},
                                   {"status", c->statusText() + " (matrix " + emberPathText(c->config.matrix) + ")"}});
    }
}

void EmberModule::stop() {
    for (auto& p : providers_) p->close();
    for (auto& c : clients_) c->close();
}

}  // namespace zarn_host::bridges
