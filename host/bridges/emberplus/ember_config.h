// Ember+ in the facility file: a router entry's "emberplus" key serves that
// router as a matrix of an Ember+ tree ("listen") or backs it by a matrix of
// a provider ("connect" and "matrix").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/ember_glow.h"
#include "bridges/runtime/facility_keys.h"

namespace zarn_host::bridges {

struct EmberRouterConfig {
    int32_t device = 0;
    bool listen = true;  // else connect
    Endpoint at;
    ember::Path matrix;          // connect: the provider's matrix
    bool providerNames = false;  // connect: its labels name the router's sources and destinations
};

// The "emberplus" keys of the root's "routers", in file order; throws
// JsonContentError. A listen address other machines reach needs allowRemote.
std::vector<EmberRouterConfig> readEmberRouters(const Json& root, bool allowRemote);

// "1.2.3" as a path; false when it is not one.
bool parseEmberPath(const std::string& text, ember::Path& path);
std::string emberPathText(const ember::Path& path);

}  // namespace zarn_host::bridges
