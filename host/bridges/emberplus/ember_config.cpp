#include "bridges/emberplus/ember_config.h"

#include "bridges/codecs/ember_ber.h"
#include "model/json_input.h"

namespace zarn_host::bridges {

bool parseEmberPath(const std::string& text, ember::Path& path) {
    path.clear();
    uint64_t n = 0;
    bool digit = false;
    for (char c : text) {
        if (c == '.') {
            if (!digit) return false;
            path.push_back(static_cast<uint32_t>(n));
            n = 0;
            digit = false;
        } else if (c >= '0' && c <= '9' && n < 0x7FFFFFFF) {
            n = n * 10 + static_cast<uint64_t>(c - '0');
            digit = true;
            if (n > 0x7FFFFFFF) return false;
        } else {
            return false;
        }
    }
    if (!digit || path.size() >= ember::kMaxOidLength) return false;
    path.push_back(static_cast<uint32_t>(n));
    return true;
}

std::string emberPathText(const ember::Path& path) {
    std::string out;
    for (uint32_t n : path) out += (out.empty() ? "" : ".") + std::to_string(n);
    return out;
}

std::vector<EmberRouterConfig> readEmberRouters(const Json& root, bool allowRemote) {
    std::vector<EmberRouterConfig> routers;
    if (!root.contains("routers")) return routers;
    const auto& list = requireArray(root["routers"], "/routers");
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string path = "/routers/" + std::to_string(i);
        const auto& item = list[i];
        if (!item.is_object() || !item.contains("emberplus")) continue;
        std::string ep = path + "/emberplus";
        const auto& e = requireObject(item["emberplus"], ep);
        onlyKeys(e, ep, {"listen", "connect", "allow", "matrix", "names"});
        EmberRouterConfig r;
        if (!item.contains("device")) throw JsonContentError(path, "missing \"device\"");
        r.device = requireInt(item["device"], path + "/device");
        if (e.contains("listen") == e.contains("connect")) {
            throw JsonContentError(ep, "give either \"listen\" or \"connect\"");
        }
        r.listen = e.contains("listen");
        r.at = endpointIn(r.listen ? e["listen"] : e["connect"], ep + (r.listen ? "/listen" : "/connect"), r.listen,
                          allowRemote);
        r.allow = allowIn(e, ep, r.at, r.listen, "consumers");
        for (const char* key : {"matrix", "names"}) {
            if (r.listen && e.contains(key)) throw JsonContentError(ep + "/" + key, "only with \"connect\"");
        }
        if (e.contains("names")) {
            const std::string names = requireText(e["names"], ep + "/names");
            if (names != "provider" && names != "facility") {
                throw JsonContentError(ep + "/names", "\"provider\" or \"facility\"");
            }
            r.providerNames = names == "provider";
        }
        if (!r.listen) {
            if (!e.contains("matrix")) throw JsonContentError(ep, "missing \"matrix\"");
            const std::string text = requireText(e["matrix"], ep + "/matrix");
            if (!parseEmberPath(text, r.matrix)) {
                throw JsonContentError(ep + "/matrix", "not a path of numbers such as \"1.2.1\"");
            }
        }
        for (const auto& other : routers) {
            if (other.device == r.device) throw JsonContentError(ep, "device served or backed twice over Ember+");
            if (r.listen && other.listen && other.at.text() == r.at.text() && !other.allow.sameAs(r.allow)) {
                throw JsonContentError(ep + "/allow", "routers served on " + r.at.text() +
                                                          " share its consumers: give each the same \"allow\" list");
            }
        }
        routers.push_back(r);
    }
    return routers;
}

EmberPanelConfig readEmberPanel(const Json& root, bool allowRemote) {
    EmberPanelConfig out;
    if (!root.contains("emberplus")) return out;
    const auto& e = requireObject(root["emberplus"], "/emberplus");
    onlyKeys(e, "/emberplus", {"listen", "allow", "values", "controls"});
    if (!e.contains("listen")) throw JsonContentError("/emberplus", "missing \"listen\"");
    out.at = endpointIn(e["listen"], "/emberplus/listen", true, allowRemote);
    out.allow = allowIn(e, "/emberplus", out.at, true, "consumers");
    for (const char* list : {"values", "controls"}) {
        if (!e.contains(list)) continue;
        const std::string lp = std::string("/emberplus/") + list;
        const auto& items = requireArray(e[list], lp);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::string ip = lp + "/" + std::to_string(i);
            const auto& item = requireObject(items[i], ip);
            const bool value = std::string(list) == "values";
            if (value) {
                onlyKeys(item, ip, {"identifier", "panel", "control", "property", "map"});
            } else {
                onlyKeys(item, ip, {"identifier", "panel", "control", "action"});
            }
            EmberPanelItem it;
            for (const char* key : {"identifier", "panel", "control"}) {
                if (!item.contains(key)) throw JsonContentError(ip, std::string("missing \"") + key + "\"");
            }
            it.identifier = requireText(item["identifier"], ip + "/identifier");
            it.panel = requireText(item["panel"], ip + "/panel");
            it.control = requireText(item["control"], ip + "/control");
            if (item.contains("property")) it.property = requireText(item["property"], ip + "/property");
            if (item.contains("map")) {
                for (const auto& entry : requireObject(item["map"], ip + "/map").items()) {
                    it.map[entry.key()] = requireText(entry.value(), ip + "/map/" + entry.key());
                }
            }
            if (!value) {
                const std::string action = item.contains("action") ? requireText(item["action"], ip + "/action") : "";
                if (action != "press" && action != "pick") {
                    throw JsonContentError(ip + "/action", "\"press\" or \"pick\"");
                }
                it.action = action == "press" ? EmberPanelItem::Action::press : EmberPanelItem::Action::pick;
            }
            for (const auto& other : out.items) {
                if (other.identifier == it.identifier) throw JsonContentError(ip + "/identifier", "used twice");
            }
            out.items.push_back(std::move(it));
        }
    }
    return out;
}

}  // namespace zarn_host::bridges
