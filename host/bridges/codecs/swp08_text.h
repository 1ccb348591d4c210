// Inside the SW-P-08 codec: one-line texts for errors and descriptions.
#pragma once

#include <cstdio>
#include <string>

namespace zarn_host::swp08::detail {

// pattern with up to three unsigned numbers, as printf does.
inline std::string format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

}  // namespace zarn_host::swp08::detail
