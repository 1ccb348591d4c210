// TSL UMD in the facility file: the top-level "umd" senders, each display's
// text and tallies read from panel controls.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bridges/codecs/tsl_umd.h"
#include "bridges/runtime/facility_keys.h"

namespace zarn_host::bridges {

// Where a display's text or tally comes from.
struct PanelValue {
    bool set = false;
    std::string panel;
    std::string control;
    std::string property;  // empty: the control's default property
    std::map<std::string, tsl::Lamp> map;
};

struct DisplayConfig {
    uint16_t index = 0;
    PanelValue text;
    PanelValue lh, rh, textTally;
};

struct SenderConfig {
    bool tcp = false;
    Endpoint at;
    uint16_t screen = 0;
    int repeatMs = 1000;
    std::vector<DisplayConfig> displays;
};

// The root's "umd" senders, in file order; throws JsonContentError.
std::vector<SenderConfig> readUmdSenders(const Json& root);

}  // namespace zarn_host::bridges
