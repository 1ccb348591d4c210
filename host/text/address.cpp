#include "text/address.h"

#include <cctype>

namespace zarn_host {

bool isLoopbackHost(const std::string& host) {
    std::string h;
    for (char c : host) h += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (h == "localhost" || h == "::1" || h == "0:0:0:0:0:0:0:1") return true;
    // 127.0.0.0/8 in dotted decimal, four parts.
    if (h.rfind("127.", 0) != 0) return false;
    int parts = 0;
    std::size_t i = 0;
    while (i <= h.size()) {
        std::size_t dot = h.find('.', i);
        std::string part = h.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
        if (part.empty() || part.size() > 3) return false;
        for (char c : part) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
        if (std::stoi(part) > 255) return false;
        ++parts;
        if (dot == std::string::npos) break;
        i = dot + 1;
    }
    return parts == 4;
}

}  // namespace zarn_host
