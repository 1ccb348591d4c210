#include "bridges/tsl_umd/umd_module.h"

#include "sim/sim_host.h"

namespace zarn_host::bridges {
namespace {

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

}  // namespace

std::unique_ptr<Module> readUmdModule(const Json& root, bool) {
    std::vector<SenderConfig> senders = readUmdSenders(root);
    if (senders.empty()) return nullptr;
    return std::make_unique<UmdModule>(std::move(senders));
}

bool UmdModule::start(Runtime& rt, SimHost& host, std::string&) {
    rt_ = &rt;
    for (const auto& sc : configs_) {
        senders_.push_back(std::make_unique<Sender>(rt, sc));
        shown_.emplace_back(sc.displays.size());
    }
    for (auto& s : senders_) {
        Sender* sender = s.get();
        asio::post(rt.io(), [sender] { sender->start(); });
        host.trace().line(TraceKind::bridge, "umd sending to " + sender->target());
    }
    return true;
}

// Displays whose text or tallies changed go to their sender.
void UmdModule::handOn(SimHost& host, const std::vector<CrosspointChange>&) {
    for (std::size_t i = 0; i < senders_.size(); ++i) {
        const SenderConfig& sc = configs_[i];
        for (std::size_t k = 0; k < sc.displays.size(); ++k) {
            const DisplayConfig& dc = sc.displays[k];
            tsl::Display d;
            d.index = dc.index;
            d.text = dc.text.set ? propertyOf(host, dc.text) : "";
            d.leftTally = lampOf(host, dc.lh);
            d.rightTally = lampOf(host, dc.rh);
            d.textTally = lampOf(host, dc.textTally);
            if (shown_[i][k] == d) continue;
            shown_[i][k] = d;
            Sender* sender = senders_[i].get();
            asio::post(rt_->io(), [sender, d] { sender->show(d); });
        }
    }
}

void UmdModule::status(nlohmann::json& page) const {
    for (std::size_t i = 0; i < senders_.size(); ++i) {
        const auto& sc = configs_[i];
        const std::string target = senders_[i]->target();
        page["bridges"].push_back(
            {{"kind", "umd"}, {"role", "send"}, {"address", target}, {"status", senders_[i]->statusText()}});
        for (const auto& d : shown_[i]) {
            page["umd"].push_back({{"screen", sc.screen},
                                   {"index", d.index},
                                   {"text", d.text},
                                   {"lh", lampName(d.leftTally)},
                                   {"text_tally", lampName(d.textTally)},
                                   {"rh", lampName(d.rightTally)}});
        }
    }
}

void UmdModule::stop() {
    for (auto& s : senders_) s->close();
}

}  // namespace zarn_host::bridges
