#include "bridges/runtime/bridge_config.h"

#include "model/json_input.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

using Json = nlohmann::ordered_json;

int32_t intIn(const Json& item, const std::string& key, const std::string& path, int32_t low, int32_t high,
              std::optional<int32_t> fallback = std::nullopt) {
    if (!item.contains(key)) {
        if (fallback) return *fallback;
        throw JsonContentError(path, "missing \"" + key + "\"");
    }
    int32_t value = requireInt(item[key], path + "/" + key);
    if (value < low || value > high) {
        throw JsonContentError(path + "/" + key, "outside " + std::to_string(low) + ".." + std::to_string(high));
    }
    return value;
}

// A misspelt key would leave a bridge quietly unconfigured: refused.
void onlyKeys(const Json& item, const std::string& path, std::initializer_list<const char*> known) {
    for (const auto& entry : item.items()) {
        bool found = entry.key() == "comment";
        for (const char* k : known) found = found || entry.key() == k;
        if (!found) throw JsonContentError(path, "unknown key \"" + printable(entry.key(), 40) + "\"");
    }
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// An IPv4 or IPv6 address literal, or "localhost".
bool isAddress(const std::string& host) {
    if (host == "localhost") return true;
    if (host.find(':') != std::string::npos) {
        return host.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
    }
    int parts = 0;
    std::size_t at = 0;
    while (at <= host.size()) {
        std::size_t dot = host.find('.', at);
        if (dot == std::string::npos) dot = host.size();
        std::string part = host.substr(at, dot - at);
        int32_t n = 0;
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
            !parseInt32(part, n) || n > 255) {
            return false;
        }
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

// A host name or address literal, as a connect or send target.
bool isHostName(const std::string& host) {
    if (isAddress(host)) return true;
    // Digits and dots only is a mistyped address, not a name.
    bool numeric = host.find_first_not_of("0123456789.") == std::string::npos;
    return !numeric && host.size() <= 253 && host.front() != '-' && host.front() != '.' &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
               std::string::npos;
}

Endpoint endpointIn(const Json& value, const std::string& path, bool listen, bool allowRemote) {
    Endpoint at;
    std::string why;
    if (!parseEndpoint(requireText(value, path), at, why)) throw JsonContentError(path, why);
    if (listen && !isAddress(at.host)) {
        throw JsonContentError(path, "listen on an IP address or localhost, not \"" + printable(at.host, 80) + "\"");
    }
    if (!listen && !isHostName(at.host)) {
        throw JsonContentError(path, "not a host name or IP address: \"" + printable(at.host, 80) + "\"");
    }
    if (listen && !allowRemote && !isLoopback(at.host)) {
        throw JsonContentError(path,
                               "listening on " + at.text() + ", which other machines reach, needs --allow-remote");
    }
    return at;
}

PanelValue panelValue(const Json& j, const std::string& path, bool lamps) {
    const auto& item = requireObject(j, path);
    if (lamps) {
        onlyKeys(item, path, {"panel", "control", "property", "map"});
    } else {
        onlyKeys(item, path, {"panel", "control", "property"});
    }
    PanelValue v;
    v.set = true;
    if (!item.contains("panel") || !item.contains("control")) {
        throw JsonContentError(path, "needs \"panel\" and \"control\"");
    }
    v.panel = requireText(item["panel"], path + "/panel");
    v.control = requireText(item["control"], path + "/control");
    if (item.contains("property")) v.property = requireText(item["property"], path + "/property");
    if (lamps) {
        if (!item.contains("map")) throw JsonContentError(path, "missing \"map\"");
        for (const auto& entry : requireObject(item["map"], path + "/map").items()) {
            std::string lamp = requireText(entry.value(), path + "/map/" + entry.key());
            static const std::map<std::string, tsl::Lamp> lampNames = {{"off", tsl::Lamp::off},
                                                                       {"red", tsl::Lamp::red},
                                                                       {"green", tsl::Lamp::green},
                                                                       {"amber", tsl::Lamp::amber}};
            auto found = lampNames.find(lamp);
            if (found == lampNames.end()) {
                throw JsonContentError(path + "/map/" + entry.key(), "a lamp is red, green, amber or off");
            }
            v.map[entry.key()] = found->second;
        }
    }
    return v;
}

}  // namespace

bool parseEndpoint(const std::string& text, Endpoint& at, std::string& error) {
    std::size_t colon = text.rfind(':');
    int32_t port = 0;
    if (colon == std::string::npos || colon == 0 || !parseInt32(text.substr(colon + 1), port) || port < 1 ||
        port > 65535) {
        error = "give HOST:PORT with a port from 1 to 65535, not \"" + printable(text, 80) + "\"";
        return false;
    }
    at.host = text.substr(0, colon);
    if (at.host.size() > 2 && at.host.front() == '[' && at.host.back() == ']') {
        at.host = at.host.substr(1, at.host.size() - 2);
    }
    at.port = static_cast<uint16_t>(port);
    return true;
}

bool parseBridgeConfig(const std::string& text, const std::string& fileName, bool allowRemote, BridgeConfig& config,
                       std::string& error) {
    BridgeConfig c;
    bool read = readJsonDocument(
        text, fileName,
        [&](Json& root) {
            if (root.contains("routers")) {
                const auto& list = requireArray(root["routers"], "/routers");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/routers/" + std::to_string(i);
                    const auto& item = list[i];
                    if (!item.is_object() || !item.contains("swp08")) continue;
                    std::string sp = path + "/swp08";
                    const auto& s = requireObject(item["swp08"], sp);
                    onlyKeys(s, sp, {"listen", "connect", "matrix", "level", "names"});
                    SwpRouterConfig r;
                    if (!item.contains("device")) throw JsonContentError(path, "missing \"device\"");
                    r.device = requireInt(item["device"], path + "/device");
                    r.matrix = static_cast<uint8_t>(intIn(s, "matrix", sp, 0, 255));
                    r.level = static_cast<uint8_t>(intIn(s, "level", sp, 0, 255));
                    if (s.contains("listen") == s.contains("connect")) {
                        throw JsonContentError(sp, "give either \"listen\" or \"connect\"");
                    }
                    r.listen = s.contains("listen");
                    r.at = endpointIn(r.listen ? s["listen"] : s["connect"], sp + (r.listen ? "/listen" : "/connect"),
                                      r.listen, allowRemote);
                    r.names = "facility";
                    if (s.contains("names")) {
                        r.names = requireText(s["names"], sp + "/names");
                        if (r.names != "router" && r.names != "facility") {
                            throw JsonContentError(sp + "/names", "\"router\" or \"facility\"");
                        }
                    }
                    for (const auto& other : c.routers) {
                        if (r.listen && other.listen && other.at.text() == r.at.text() && other.matrix == r.matrix &&
                            other.level == r.level) {
                            throw JsonContentError(sp, "matrix and level served twice on " + r.at.text());
                        }
                    }
                    c.routers.push_back(r);
                }
            }
            if (root.contains("umd")) {
                const auto& list = requireArray(root["umd"], "/umd");
                for (std::size_t i = 0; i < list.size(); ++i) {
                    std::string path = "/umd/" + std::to_string(i);
                    const auto& item = requireObject(list[i], path);
                    onlyKeys(item, path, {"send", "screen", "repeat_ms", "displays"});
                    SenderConfig sc;
                    if (!item.contains("send")) throw JsonContentError(path, "missing \"send\"");
                    std::string send = requireText(item["send"], path + "/send");
                    if (send.rfind("udp://", 0) == 0) {
                        sc.tcp = false;
                    } else if (send.rfind("tcp://", 0) == 0) {
                        sc.tcp = true;
                    } else {
                        throw JsonContentError(path + "/send", "udp://HOST:PORT or tcp://HOST:PORT");
                    }
                    std::string why;
                    if (!parseEndpoint(send.substr(6), sc.at, why)) throw JsonContentError(path + "/send", why);
                    if (!isHostName(sc.at.host)) {
                        throw JsonContentError(path + "/send",
                                               "not a host name or IP address: \"" + printable(sc.at.host, 80) + "\"");
                    }
                    sc.screen = static_cast<uint16_t>(intIn(item, "screen", path, 0, 65535, 0));
                    sc.repeatMs = intIn(item, "repeat_ms", path, 50, 3600000, 1000);
                    const Json noDisplays = Json::array();
                    const auto& displays =
                        item.contains("displays") ? requireArray(item["displays"], path + "/displays") : noDisplays;
                    for (std::size_t k = 0; k < displays.size(); ++k) {
                        std::string dp = path + "/displays/" + std::to_string(k);
                        const auto& d = requireObject(displays[k], dp);
                        onlyKeys(d, dp, {"index", "text", "tallies", "lh", "rh"});
                        DisplayConfig dc;
                        dc.index = static_cast<uint16_t>(intIn(d, "index", dp, 0, 65534));
                        if (d.contains("text")) dc.text = panelValue(d["text"], dp + "/text", false);
                        // The three tallies under "tallies" ("lh", "rh", "text"); "lh" and
                        // "rh" may also stand beside the text.
                        const Json none = Json::object();
                        const auto& t = d.contains("tallies") ? requireObject(d["tallies"], dp + "/tallies") : none;
                        std::string tp = dp + "/tallies";
                        onlyKeys(t, tp, {"lh", "rh", "text"});
                        if (t.contains("lh")) dc.lh = panelValue(t["lh"], tp + "/lh", true);
                        if (t.contains("rh")) dc.rh = panelValue(t["rh"], tp + "/rh", true);
                        if (t.contains("text")) dc.textTally = panelValue(t["text"], tp + "/text", true);
                        if (d.contains("lh")) dc.lh = panelValue(d["lh"], dp + "/lh", true);
                        if (d.contains("rh")) dc.rh = panelValue(d["rh"], dp + "/rh", true);
                        sc.displays.push_back(dc);
                    }
                    c.senders.push_back(sc);
                }
            }
        },
        error);
    if (!read) return false;
    config = std::move(c);
    return true;
}

}  // namespace zarn_host::bridges
