// Ember+ in the facility file: a router entry's "emberplus" key serves that
// router as a matrix of an Ember+ tree ("listen") or backs it by a matrix of
// a provider ("connect" and "matrix").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bridges/codecs/ember_glow.h"
#include "bridges/runtime/facility_keys.h"

namespace zarn_host::bridges {

struct EmberRouterConfig {
    int32_t device = 0;
    bool listen = true;  // else connect
    Endpoint at;
    AllowList allow;             // listen: the consumers admitted (shared by the address's tree)
    ember::Path matrix;          // connect: the provider's matrix
    bool providerNames = false;  // connect: its labels name the router's sources and destinations
};

// The "emberplus" keys of the root's "routers", in file order; throws
// JsonContentError. A listen address other machines reach needs allowRemote.
std::vector<EmberRouterConfig> readEmberRouters(const Json& root, bool allowRemote);

// A panel's control served in the tree's panel node: its text (or a
// property, mapped through map when one is given) as a read-only parameter,
// a button pressed by invoking a function, a list picked by writing a
// parameter.
struct EmberPanelItem {
    enum class Action : uint8_t { value, press, pick };
    Action action = Action::value;
    std::string identifier;
    std::string panel, control;
    std::string property;  // empty: the control's default property
    std::map<std::string, std::string> map;
};

struct EmberPanelConfig {
    Endpoint at;
    AllowList allow;
    std::vector<EmberPanelItem> items;  // values first, then controls, in file order
};

// The root's "emberplus" key; empty items when there is none. Throws
// JsonContentError.
EmberPanelConfig readEmberPanel(const Json& root, bool allowRemote);

// "1.2.3" as a path; false when it is not one.
bool parseEmberPath(const std::string& text, ember::Path& path);
std::string emberPathText(const ember::Path& path);

}  // namespace zarn_host::bridges
