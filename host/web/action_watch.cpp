#include "host/web/action_watch.h"

#include <cctype>
#include <sstream>

#include "host/command_text.h"
#include "host/facility.h"

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

bool toInt(const std::string& text, int32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    long long v = 0;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// The quoted texts of a command line: 'a' 'b' 'c'.
std::vector<std::string> quotedTexts(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while ((i = text.find('\'', i)) != std::string::npos) {
        std::size_t end = text.find('\'', i + 1);
        if (end == std::string::npos) break;
        out.push_back(text.substr(i + 1, end - i - 1));
        i = end + 1;
    }
    return out;
}

}  // namespace

void ActionWatch::line(int64_t time, const std::string& text) {
    if (time < 0) return;
    if (text.rfind("== ", 0) == 0) {
        std::string keyword;
        std::istringstream(text.substr(3)) >> keyword;
        stepKeyword_ = keyword;
        havePending_ = false;
        control_ = {};
        revertiveDevice_ = -1;
        if (operatorStep(keyword)) {
            lastStep_ = text.substr(3, 200);
            refusals_.clear();
            accepted_ = 0;
        }
        return;
    }
    if (text.rfind("<- ", 0) == 0) {
        havePending_ = false;
        revertiveDevice_ = -1;
        control_ = {};
        if (text.rfind("<- button ", 0) == 0) {
            std::string rest = text.substr(10);
            std::size_t slash = rest.find('/');
            std::size_t end = rest.find(" (");
            if (slash != std::string::npos) {
                control_ = {rest.substr(0, slash),
                            rest.substr(slash + 1, end == std::string::npos ? std::string::npos : end - slash - 1)};
                if (stepKeyword_ == "press") pressed_ = control_;
            }
        } else if (text.rfind("<- revertive ", 0) == 0) {
            std::string rest = text.substr(13);
            int32_t device = -1;
            if (toInt(rest.substr(0, rest.find('/')), device)) revertiveDevice_ = device;
        }
        return;
    }
    if (text.rfind("-> ", 0) == 0) {
        command(text.substr(3));
        return;
    }
    if (text.rfind("   ! ", 0) == 0) {
        std::string reason = text.substr(5, 200);
        if (reason.rfind("crosspoint refused: ", 0) == 0) reason = reason.substr(20);
        if (reason.rfind("outside route refused: ", 0) == 0) {
            ActionRefusal r;
            r.command = lastStep_;
            r.reason = reason.substr(23);
            refusals_.push_back(r);
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
}

void ActionWatch::command(const std::string& text) {
    std::string body = text.substr(0, text.find("  => "));
    std::istringstream in(body);
    std::string word;
    in >> word;
    havePending_ = false;
    if (word == "TP" && revertiveDevice_ >= 0) {
        auto texts = quotedTexts(body);
        if (texts.size() >= 3 && depends_.size() < maxDependencies)
            depends_[{texts[1], texts[2]}].insert(revertiveDevice_);
        return;
    }
    if (word != "RC" && word != "RR" && word != "RU" && word != "RP" && word != "RN") return;
    std::string a, b, c;
    in >> a >> b >> c;
    ActionRefusal r;
    r.command = printable(body, 200);
    r.control = control_.second;
    if (!toInt(a, r.device)) return;
    if (word == "RC") {
        toInt(b, r.source);
        toInt(c, r.destination);
        ++accepted_;
    } else if (word != "RN") {
        toInt(b, r.destination);
    }
    if (!control_.second.empty() && r.device > 0 && depends_.size() < maxDependencies) {
        depends_[control_].insert(r.device);
    }
    pending_ = r;
    havePending_ = true;
}

nlohmann::json ActionWatch::lastActionJson(const Facility& facility) const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& r : refusals_) {
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
        list.push_back({{"command", r.command},
                        {"device", r.device},
                        {"deviceName", deviceName},
                        {"destination", r.destination},
                        {"destinationName", destinationName},
                        {"source", r.source},
                        {"reason", r.reason},
                        {"control", r.control}});
    }
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
