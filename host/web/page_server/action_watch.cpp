#include "web/page_server/action_watch.h"

#include <zarn/host_commands.h>

#include <cctype>
#include <sstream>

#include "model/facility.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

constexpr std::size_t maxDependencies = 1000;  // controls named by button events the page may make up

// Steps an operator takes; waits, pictures and expectations leave the last
// action's refusals in place.
bool operatorStep(const std::string& keyword) {
    static const char* const steps[] = {"load",  "unload", "panel",  "press",   "pick",   "parent",
                                        "route", "lock",   "unlock", "offline", "online", "notify"};
    for (const char* s : steps) {
        if (keyword == s) return true;
    }
    return false;
}

}  // namespace

void ActionWatch::line(TraceKind kind, const std::string& text) {
    switch (kind) {
        case TraceKind::step:
            step(text);
            return;
        case TraceKind::in:
            notification(text);
            return;
        case TraceKind::out:
            command(text);
            return;
        case TraceKind::refusal:
            refusal(text);
            return;
        default:
            return;
    }
}

void ActionWatch::step(const std::string& text) {
    std::string keyword;
    std::istringstream(text) >> keyword;
    stepKeyword_ = keyword;
    havePending_ = false;
    control_ = {};
    revertiveDevice_ = -1;
    if (operatorStep(keyword)) {
        lastStep_ = text.substr(0, 200);
        refusals_.clear();
        accepted_ = 0;
    }
}

void ActionWatch::notification(const std::string& text) {
    havePending_ = false;
    revertiveDevice_ = -1;
    control_ = {};
    if (text.rfind("button ", 0) == 0) {
        std::string rest = text.substr(7);
        std::size_t slash = rest.find('/');
        std::size_t end = rest.find(" (");
        if (slash != std::string::npos) {
            control_ = {rest.substr(0, slash),
                        rest.substr(slash + 1, end == std::string::npos ? std::string::npos : end - slash - 1)};
            if (stepKeyword_ == "press") pressed_ = control_;
        }
    } else if (text.rfind("revertive ", 0) == 0) {
        std::string rest = text.substr(10);
        int32_t device = -1;
        if (parseInt32(rest.substr(0, rest.find('/')), device)) revertiveDevice_ = device;
    }
}

void ActionWatch::refusal(const std::string& text) {
    std::string reason = text.substr(0, 200);
    if (reason.rfind("crosspoint refused: ", 0) == 0) reason = reason.substr(20);
    if (reason.rfind("outside route refused: ", 0) == 0) {
        // "outside route refused: router D, destination X, source S, by ORIGIN: REASON"
        ActionRefusal r;
        r.command = lastStep_;
        r.outside = true;
        std::string rest = reason.substr(23);
        std::size_t colon = rest.rfind(": ");
        r.reason = colon == std::string::npos ? rest : rest.substr(colon + 2);
        std::string where = colon == std::string::npos ? "" : rest.substr(0, colon);
        std::size_t by = where.find(", by ");
        if (by != std::string::npos) r.by = where.substr(by + 5);
        std::istringstream in(where.substr(0, by));
        std::string word;
        int32_t numbers[3] = {-1, -1, -1};
        for (int32_t& n : numbers) {
            std::string number;
            if (!(in >> word >> number)) break;
            if (!number.empty() && number.back() == ',') number.pop_back();
            if (!parseInt32(number, n)) n = -1;
        }
        r.device = numbers[0];
        r.destination = numbers[1];
        r.source = numbers[2];
        refusals_.push_back(r);
        ++outsideRefused_;
        return;
    }
    if (havePending_) {
        ActionRefusal r = pending_;
        r.reason = reason;
        refusals_.push_back(r);
        havePending_ = false;
        if (r.device >= 0 && accepted_ > 0) --accepted_;
    }
}

void ActionWatch::command(const std::string& text) {
    havePending_ = false;
    std::string body = text.substr(0, text.find("  => "));
    const zarn::HostCommand* known = zarn::findHostCommand(std::string_view(body).substr(0, 2));
    ParsedCommand cmd;
    std::string error;
    if (!known || !parseCommand(body, cmd, error, known->minArguments == known->maxArguments ? known->minArguments : 0))
        return;
    const auto& a = cmd.args;
    if (cmd.word == "TP") {
        if (revertiveDevice_ >= 0 && depends_.size() < maxDependencies)
            depends_[{a[1].text, a[2].text}].insert(revertiveDevice_);
        return;
    }
    if (cmd.word != "RC" && cmd.word != "RR" && cmd.word != "RU" && cmd.word != "RP" && cmd.word != "RN") return;
    ActionRefusal r;
    r.command = printable(body, 200);
    r.control = control_.second;
    if (!parseInt32(a[0].text, r.device)) return;
    if (cmd.word == "RC") {
        parseInt32(a[1].text, r.source);
        parseInt32(a[2].text, r.destination);
        ++accepted_;
    } else if (cmd.word != "RN" && a.size() > 1) {
        parseInt32(a[1].text, r.destination);
    }
    if (!control_.second.empty() && r.device > 0 && depends_.size() < maxDependencies) {
        depends_[control_].insert(r.device);
    }
    pending_ = r;
    havePending_ = true;
}

nlohmann::json ActionWatch::refusalJson(const Facility& facility, const ActionRefusal& r) {
    std::string deviceName, destinationName;
    if (r.device >= 0) {
        deviceName = "device " + std::to_string(r.device);
        for (const auto& i : facility.instances()) {
            if (i.device == r.device) deviceName = i.name;
        }
    }
    if (const Router* router = r.device > 0 ? facility.router(r.device) : nullptr) {
        auto name = router->destinationNames.find(r.destination);
        if (name != router->destinationNames.end()) destinationName = name->second;
    }
    return {{"command", r.command},
            {"device", r.device},
            {"deviceName", deviceName},
            {"destination", r.destination},
            {"destinationName", destinationName},
            {"source", r.source},
            {"reason", r.reason},
            {"control", r.control},
            {"outside", r.outside},
            {"by", r.by}};
}

nlohmann::json ActionWatch::lastActionJson(const Facility& facility) const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& r : refusals_) list.push_back(refusalJson(facility, r));
    nlohmann::json pressed = nullptr;
    if (!pressed_.second.empty()) pressed = {{"panel", pressed_.first}, {"control", pressed_.second}};
    return {{"step", lastStep_}, {"pressed", pressed}, {"refusals", list}, {"accepted", accepted_}};
}

nlohmann::json ActionWatch::dependenciesJson() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& d : depends_) {
        list.push_back({{"panel", d.first.first}, {"control", d.first.second}, {"devices", d.second}});
    }
    return list;
}

}  // namespace zarn_host
