// The bridges a facility file names: SW-P-08 on a router entry ("swp08":
// listen or connect) and the TSL UMD senders ("umd"). Read apart from the
// facility model so that the model stays free of equipment.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bridges/codecs/tsl_umd.h"

namespace zarn_host::bridges {

struct Endpoint {
    std::string host;
    uint16_t port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

struct SwpRouterConfig {
    int32_t device = 0;
    uint8_t matrix = 0;
    uint8_t level = 0;
    bool listen = true;  // else connect
    Endpoint at;
    std::string names;  // connect: "router", "facility" (default)
};

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

struct BridgeConfig {
    std::vector<SwpRouterConfig> routers;
    std::vector<SenderConfig> senders;
    bool empty() const { return routers.empty() && senders.empty(); }
};

// "HOST:PORT" (port 1-65535); false with a one-line error.
bool parseEndpoint(const std::string& text, Endpoint& at, std::string& error);
// Reads the bridges of a facility file's text; false with a one-line error
// naming the file and the JSON path at fault ("file: /routers/0/swp08: ...").
// Unknown keys are refused; a listen address is an IP address (or localhost)
// and one other machines reach needs allowRemote (--allow-remote).
bool parseBridgeConfig(const std::string& text, const std::string& fileName, bool allowRemote, BridgeConfig& config,
                       std::string& error);

}  // namespace zarn_host::bridges
