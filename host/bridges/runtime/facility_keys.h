// Reading a protocol's keys of a facility file: what every protocol's reader
// shares (addresses, ranges, known keys). A reader throws JsonContentError
// (model/json_input.h) with the JSON path at fault; readBridgeModules
// (bridges/bridge_modules.h) turns it into one line naming the file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "bridges/runtime/allow_list.h"

namespace zarn_host::bridges {

using Json = nlohmann::ordered_json;

struct Endpoint {
    std::string host;
    uint16_t port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

// "HOST:PORT" (port 1-65535, HOST may be [bracketed]); false with a one-line error.
bool parseEndpoint(const std::string& text, Endpoint& at, std::string& error);

// item[key], an integer from low to high; fallback when it is missing, else
// missing is refused.
int32_t intIn(const Json& item, const std::string& key, const std::string& path, int32_t low, int32_t high,
              std::optional<int32_t> fallback = std::nullopt);
// Refuses any key but these and "comment": a misspelt key would leave a
// bridge quietly unconfigured.
void onlyKeys(const Json& item, const std::string& path, std::initializer_list<const char*> known);
// An IPv4 or IPv6 address literal, or "localhost".
bool isAddress(const std::string& host);
// A host name or address literal, as a connect or send target.
bool isHostName(const std::string& host);
// A listen address (an IP address or localhost, loopback unless allowRemote)
// or, for !listen, a host to connect to.
Endpoint endpointIn(const Json& value, const std::string& path, bool listen, bool allowRemote);
// item["allow"] of a bridge entry at path that listens (or connects) at: the
// addresses and networks whose peers (what a listener calls them:
// "controllers") it admits. Required when it listens beyond loopback,
// refused on a connect; an empty list or a bad entry is refused. None
// given: a list that admits every peer.
AllowList allowIn(const Json& item, const std::string& path, const Endpoint& at, bool listen, const char* peers);

}  // namespace zarn_host::bridges
