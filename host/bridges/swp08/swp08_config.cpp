#include "bridges/swp08/swp08_config.h"

#include "model/json_input.h"

namespace zarn_host::bridges {

std::vector<SwpRouterConfig> readSwp08Routers(const Json& root, bool allowRemote) {
    std::vector<SwpRouterConfig> routers;
    if (!root.contains("routers")) return routers;
    const auto& list = requireArray(root["routers"], "/routers");
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string path = "/routers/" + std::to_string(i);
        const auto& item = list[i];
        if (!item.is_object() || !item.contains("swp08")) continue;
        std::string sp = path + "/swp08";
        const auto& s = requireObject(item["swp08"], sp);
        onlyKeys(s, sp, {"listen", "connect", "allow", "matrix", "level", "names"});
        SwpRouterConfig r;
        if (!item.contains("device")) throw JsonContentError(path, "missing \"device\"");
        r.device = requireInt(item["device"], path + "/device");
        r.matrix = static_cast<uint8_t>(intIn(s, "matrix", sp, 0, 255));
        r.level = static_cast<uint8_t>(intIn(s, "level", sp, 0, 255));
        if (s.contains("listen") == s.contains("connect")) {
            throw JsonContentError(sp, "give either \"listen\" or \"connect\"");
        }
        r.listen = s.contains("listen");
        r.at = endpointIn(r.listen ? s["listen"] : s["connect"], sp + (r.listen ? "/listen" : "/connect"), r.listen,
                          allowRemote);
        r.allow = allowIn(s, sp, r.at, r.listen, "controllers");
        r.names = "facility";
        if (s.contains("names")) {
            r.names = requireText(s["names"], sp + "/names");
            if (r.names != "router" && r.names != "facility") {
                throw JsonContentError(sp + "/names", "\"router\" or \"facility\"");
            }
        }
        for (const auto& other : routers) {
            if (r.listen && other.listen && other.at.text() == r.at.text() && other.matrix == r.matrix &&
                other.level == r.level) {
                throw JsonContentError(sp, "matrix and level served twice on " + r.at.text());
            }
            if (r.listen && other.listen && other.at.text() == r.at.text() && !other.allow.sameAs(r.allow)) {
                throw JsonContentError(sp + "/allow", "routers served on " + r.at.text() +
                                                          " share its controllers: give each the same \"allow\" list");
            }
        }
        routers.push_back(r);
    }
    return routers;
}

}  // namespace zarn_host::bridges
