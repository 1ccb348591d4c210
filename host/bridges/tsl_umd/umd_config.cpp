#include "bridges/tsl_umd/umd_config.h"

#include "model/json_input.h"
#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

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

std::vector<SenderConfig> readUmdSenders(const Json& root) {
    std::vector<SenderConfig> senders;
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
            senders.push_back(sc);
        }
    }
    return senders;
}

}  // namespace zarn_host::bridges
