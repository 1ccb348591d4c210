#include "bridges/runtime/facility_keys.h"

#include "model/json_input.h"
#include "text/address.h"
#include "text/command_text.h"

namespace zarn_host::bridges {

int32_t intIn(const Json& item, const std::string& key, const std::string& path, int32_t low, int32_t high,
              std::optional<int32_t> fallback) {
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

void onlyKeys(const Json& item, const std::string& path, std::initializer_list<const char*> known) {
    for (const auto& entry : item.items()) {
        bool found = entry.key() == "comment";
        for (const char* k : known) found = found || entry.key() == k;
        if (!found) throw JsonContentError(path, "unknown key \"" + printable(entry.key(), 40) + "\"");
    }
}

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
    if (listen && !allowRemote && !isLoopbackHost(at.host)) {
        throw JsonContentError(path,
                               "listening on " + at.text() + ", which other machines reach, needs --allow-remote");
    }
    return at;
}

AllowList allowIn(const Json& item, const std::string& path, const Endpoint& at, bool listen, const char* peers) {
    AllowList allow;
    if (!item.contains("allow")) {
        if (listen && !isLoopbackHost(at.host)) {
            throw JsonContentError(path, "listening on " + at.text() +
                                             ", which other machines reach, needs an \"allow\" list of the "
                                             "addresses or networks its " +
                                             peers + " connect from, such as \"allow\": [\"10.1.2.0/24\"]");
        }
        return allow;
    }
    const std::string ap = path + "/allow";
    if (!listen) throw JsonContentError(ap, "only with \"listen\"");
    const auto& list = requireArray(item["allow"], ap);
    if (list.empty()) {
        throw JsonContentError(ap, std::string("empty: give the addresses or networks its ") + peers +
                                       " connect from, such as \"10.1.2.0/24\"");
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string why;
        if (!allow.add(requireText(list[i], ap + "/" + std::to_string(i)), why)) {
            throw JsonContentError(ap + "/" + std::to_string(i), why);
        }
    }
    return allow;
}

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

}  // namespace zarn_host::bridges
