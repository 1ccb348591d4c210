// The panel node of a served tree: a list picked by a consumer's write, a
// button pressed by its invoke, both on the panel thread as the scenario's
// pick and press; what the panel shows reaches the consumers that follow
// the node.
#include "bridges/emberplus/ember_provider.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host::bridges {

void Consumer::onWrite(std::size_t item, const ember::Value& value) {
    const ServedPanelItem& served = provider_.tree.panel[item];
    if (served.kind != ServedPanelItem::Kind::writable || value.kind != ember::Value::Kind::string) {
        // Read-only, or not a text: answered with the value it keeps.
        send(provider_.tree.panelItem(item));
        return;
    }
    const EmberPanelItem& config = provider_.panelItems[item];
    const std::string panel = config.panel, control = config.control, entry = value.text;
    Provider* provider = &provider_;
    std::weak_ptr<Consumer> weak = shared_from_this();
    const Origin by = Origin::of(Origin::Kind::consumer, peer);
    provider_.rt.toHost([=](SimHost& host, bool& changed) {
        std::string error;
        // The panel's routes are the consumer's doing (the audit trail).
        const Origin step = host.facility().stepOrigin();
        host.facility().setStepOrigin(by);
        const bool done = host.pick(panel, control, entry, error);
        host.facility().setStepOrigin(step);
        changed = true;
        if (!done) {
            host.trace().line(TraceKind::bridge, provider->where() + " -> consumer: pick " + control + " \"" +
                                                     printable(entry, 80) + "\" refused (" + error + ")");
        }
        asio::post(provider->io, [weak, item, done, entry, provider] {
            if (done) provider->tree.panel[item].value = entry;
            if (auto c = weak.lock()) c->send(provider->tree.panelItem(item));
        });
    });
}

void Consumer::onInvoke(std::size_t item, const ember::Element& command) {
    const int32_t id = command.invocation && command.invocation->id ? *command.invocation->id : 0;
    if (provider_.tree.panel[item].kind != ServedPanelItem::Kind::function) {
        ember::GlowMessage m;
        m.invocationResult = ember::InvocationResult{id, false, {}};
        send(m);
        return;
    }
    const EmberPanelItem& config = provider_.panelItems[item];
    const std::string panel = config.panel, control = config.control;
    Provider* provider = &provider_;
    std::weak_ptr<Consumer> weak = shared_from_this();
    const Origin by = Origin::of(Origin::Kind::consumer, peer);
    provider_.rt.toHost([=](SimHost& host, bool& changed) {
        std::string error;
        const Origin step = host.facility().stepOrigin();
        host.facility().setStepOrigin(by);
        const bool done = host.press(panel, control, std::nullopt, std::nullopt, error);
        host.facility().setStepOrigin(step);
        changed = true;
        if (!done) {
            host.trace().line(TraceKind::bridge,
                              provider->where() + " -> consumer: press " + control + " refused (" + error + ")");
        }
        asio::post(provider->io, [weak, id, done] {
            ember::GlowMessage m;
            m.invocationResult = ember::InvocationResult{id, done, {}};
            if (auto c = weak.lock()) c->send(m);
        });
    });
}

void Provider::panelChanged(std::size_t index, const std::string& value) {
    if (index >= tree.panel.size()) return;
    tree.panel[index].value = value;
    const ember::GlowMessage m = tree.panelItem(index);
    auto all = consumers;  // a send may drop a consumer
    for (const auto& c : all) {
        if (c->panelSubscribed) c->send(m);
    }
}

}  // namespace zarn_host::bridges
