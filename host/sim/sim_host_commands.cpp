// SimHost: the commands a script sends with type 0.
#include <zarn/host_commands.h>

#include <algorithm>

#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host {
// Returns the reply text, or nullopt for a null reply. notes say why a command
// was not done, each a refusal of its kind; a malformed text is a protocol fault.
std::optional<std::string> SimHost::execute(const std::string& text, std::vector<CommandNote>& notes) {
    CheckedCommand checked;
    std::string error;
    if (!checkCommand(text, true, checked, error)) {
        if (checked.unknownWord) {
            fault(FaultKind::unknownCommand, "unknown command \"" + printable(text) + "\"");
        } else {
            fault(FaultKind::malformedCommand, "malformed command \"" + printable(text) + "\": " + error);
        }
        return std::nullopt;
    }
    const std::string& word = checked.parsed.word;
    const std::vector<int32_t>& n = checked.numbers;
    const auto& a = checked.parsed.args;
    const std::string ok = "OK";
    auto refuse = [&](RefusalKind kind, std::string why) { notes.push_back({kind, std::move(why)}); };

    // Commands addressed to a device: it must exist and be online.
    auto deviceUsable = [&](int32_t device) {
        if (!facility_.knownDevice(device)) {
            // Device 0 is what a failed look-up gives; any other number the
            // facility never gave out was most likely cut short.
            if (device != 0) {
                fault(FaultKind::unknownDevice, "command \"" + printable(text) + "\" names device " +
                                                    std::to_string(device) +
                                                    ", which the facility does not have (a number cut short?)");
            } else {
                refuse(RefusalKind::unresolved, "no device 0");
            }
            return false;
        }
        if (!facility_.online(device)) {
            refuse(RefusalKind::offline, "device " + std::to_string(device) + " is offline");
            return false;
        }
        return true;
    };
    auto routerUsable = [&](int32_t device) -> Router* {
        if (!deviceUsable(device)) return nullptr;
        Router* router = facility_.router(device);
        if (!router) refuse(RefusalKind::router, "device " + std::to_string(device) + " is not a router");
        return router;
    };
    auto rangeValid = [&](const Router& router, int32_t first, int32_t last) {
        if (first > last || !router.validDestination(first) || !router.validDestination(last)) {
            refuse(first == 0 && last == 0 ? RefusalKind::unresolved : RefusalKind::range,
                   "destination range " + std::to_string(first) + ".." + std::to_string(last) + " is outside 1.." +
                       std::to_string(router.destinations) + " (refused)");
            return false;
        }
        return true;
    };
    auto findControl = [&](const std::string& panelId, const std::string& controlId) -> Control* {
        auto found = panels_.find(panelId);
        if (found == panels_.end()) {
            refuse(RefusalKind::panel, "no panel \"" + printable(panelId) + "\" shown");
            return nullptr;
        }
        Control* control = found->second.control(controlId);
        if (!control)
            refuse(RefusalKind::control, "no control \"" + printable(controlId) + "\" on panel \"" + panelId + "\"");
        return control;
    };

    if (word == "SD") {
        const DeviceInstance* inst = facility_.lookUp(a[0].text);
        if (!inst) {
            refuse(RefusalKind::instance, "no device instance \"" + printable(a[0].text) + "\"");
            return std::nullopt;
        }
        if (!facility_.online(inst->device)) {
            refuse(RefusalKind::offline, "device " + std::to_string(inst->device) + " is offline");
            return std::nullopt;
        }
        return std::to_string(inst->device) + " " + std::to_string(inst->offset);
    }
    if (word == "XI") {
        auto found = panels_.find(a[0].text);
        if (found == panels_.end()) {
            refuse(RefusalKind::panel, "no panel \"" + printable(a[0].text) + "\" shown");
            return std::nullopt;
        }
        return found->second.listIds(a[1].text);
    }
    if (word == "PS") {
        Panel panel;
        if (!Panel::load(a[1].text, panel, error)) {
            notes.push_back({std::nullopt, error});  // counted as a panel file refused
            if (std::find(refusedPanelFiles_.begin(), refusedPanelFiles_.end(), error) == refusedPanelFiles_.end()) {
                refusedPanelFiles_.push_back(error);
            }
            refusedPanels_[a[0].text] = error;
            return std::nullopt;
        }
        for (const auto& warning : panel.warnings) {
            notes.push_back({std::nullopt, "warning: " + warning, true});
            if (std::find(warnings_.begin(), warnings_.end(), warning) == warnings_.end()) {
                warnings_.push_back(warning);
            }
        }
        panel.id = a[0].text;
        panel.file = a[1].text;
        if (a.size() == 3) panel.parameter = a[2].text;
        refusedPanels_.erase(panel.id);
        panels_[panel.id] = std::move(panel);
        return ok;
    }
    if (word == "RC") {
        if (!routerUsable(n[0])) return std::nullopt;
        RouteResult result = facility_.route(n[0], n[2], n[1], Origin::of(Origin::Kind::panel), clock_.now());
        if (result != RouteResult::done) {
            RefusalKind kind = result == RouteResult::badSource ? RefusalKind::source
                               : result == RouteResult::badDestination
                                   ? (n[2] == 0 ? RefusalKind::unresolved : RefusalKind::destination)
                               : result == RouteResult::locked ? RefusalKind::locked
                                                               : RefusalKind::offline;
            refuse(kind, std::string("crosspoint refused: ") + describe(result));
            return std::nullopt;
        }
        const Router* router = facility_.router(n[0]);
        if (router->registered(n[2])) queueRevertive(*router, n[2]);
        return ok;
    }
    if (word == "RN") {
        if (!deviceUsable(n[0])) return std::nullopt;
        if (facility_.invented(n[0])) return std::to_string(n[2]);
        if (!facility_.hasDatabase(n[0], n[1])) {
            refuse(RefusalKind::database,
                   "device " + std::to_string(n[0]) + " has no database " + std::to_string(n[1]));
            return std::nullopt;
        }
        const std::string* entry = facility_.databaseEntry(n[0], n[1], n[2]);
        if (!entry) {
            refuse(RefusalKind::entry, "no entry " + std::to_string(n[2]) + " in database " + std::to_string(n[1]));
            return std::nullopt;
        }
        return *entry;
    }
    if (word == "RP") {
        Router* router = routerUsable(n[0]);
        if (!router || !rangeValid(*router, n[1], n[2])) return std::nullopt;
        for (int32_t d = n[1]; d <= n[2]; ++d) queueRevertive(*router, d);
        return ok;
    }
    if (word == "RR") {
        if (a.size() == 4 && a[3].text != "ADD") {
            fault(FaultKind::malformedCommand,
                  "malformed command \"" + printable(text) + "\": the fourth argument of RR is 'ADD'");
            return std::nullopt;
        }
        Router* router = routerUsable(n[0]);
        if (!router || !rangeValid(*router, n[1], n[2])) return std::nullopt;
        if (a.size() == 3) router->registrations.clear();
        router->registrations.emplace_back(n[1], n[2]);
        return ok;
    }
    if (word == "RU") {
        // Registrations are the host's own books: a panel's RU releases them
        // even when the router is offline and answers nothing.
        Router* router = facility_.router(n[0]);
        if (router && !facility_.online(n[0])) router->registrations.clear();
        router = routerUsable(n[0]);
        if (!router) return std::nullopt;
        router->registrations.clear();
        return ok;
    }
    if (word == "ET") {
        if (a.size() == 1) {
            // Stopping a timer that ran and stopped is harmless; an id never
            // started in this panel's life is a number the panel got wrong.
            if (!clock_.stop(n[0]) && timersStarted_.count(n[0]) == 0) {
                refuse(RefusalKind::timer, "timer " + std::to_string(n[0]) + " was never started");
            }
            return ok;
        }
        if (n[1] <= 0) {
            refuse(RefusalKind::interval, "timer interval " + std::to_string(n[1]) + " is not positive (refused)");
            return std::nullopt;
        }
        clock_.start(n[0], n[1]);
        timersStarted_.insert(n[0]);
        return ok;
    }
    if (word == "TP") {
        std::size_t eq = a[0].text.find('=');
        if (eq == std::string::npos) {
            fault(FaultKind::malformedCommand, "malformed command \"" + printable(text) + "\": TP sets name=value");
            return std::nullopt;
        }
        Control* control = findControl(a[1].text, a[2].text);
        if (!control) return std::nullopt;
        std::string name = a[0].text.substr(0, eq);
        if (name.empty()) {
            if (control->defaultProperty.empty()) {
                refuse(RefusalKind::property,
                       "control \"" + control->id + "\" has no default property for an empty name");
                return std::nullopt;
            }
            name = control->defaultProperty;
        }
        control->setProperty(name, a[0].text.substr(eq + 1));
        return ok;
    }
    if (word == "TG") {
        Control* control = findControl(a[0].text, a[1].text);
        if (!control) return std::nullopt;
        if (a[2].text == "all") return control->allProperties();
        const std::string* value = control->property(a[2].text);
        if (!value) {
            refuse(RefusalKind::property,
                   "control \"" + control->id + "\" has no property \"" + printable(a[2].text) + "\"");
            return std::nullopt;
        }
        return a[2].text + "=" + *value;
    }
    // AS: the script's farewell.
    return ok;
}

}  // namespace zarn_host
