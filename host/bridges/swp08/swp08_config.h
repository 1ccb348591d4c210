// SW-P-08 in the facility file: a router entry's "swp08" key serves that
// router to outside controllers ("listen") or backs it by a real router
// ("connect").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridges/runtime/facility_keys.h"

namespace zarn_host::bridges {

struct SwpRouterConfig {
    int32_t device = 0;
    uint8_t matrix = 0;
    uint8_t level = 0;
    bool listen = true;  // else connect
    Endpoint at;
    AllowList allow;    // listen: the controllers admitted (routers on one address share it)
    std::string names;  // connect: "router", "facility" (default)
};

// The "swp08" keys of the root's "routers", in file order; throws
// JsonContentError. A listen address other machines reach needs allowRemote.
std::vector<SwpRouterConfig> readSwp08Routers(const Json& root, bool allowRemote);

}  // namespace zarn_host::bridges
