// The first comment lines of a recorded session: which panel library and
// facility file it was recorded with.
#pragma once

#include <filesystem>
#include <string>

#include "text/command_text.h"

namespace zarn_host {

inline std::string sessionSources(const std::string& library, const std::string& facility) {
    auto shown = [](const std::string& path) {
        std::error_code ec;
        std::filesystem::path full = std::filesystem::absolute(path, ec);
        return printable(ec ? path : full.string(), 1000);
    };
    std::string text = "# library: " + (library.empty() ? std::string("(not named)") : shown(library)) + "\n";
    text += "# facility: " + (facility.empty() ? std::string("(the built-in facility)") : shown(facility)) + "\n";
    return text;
}

}  // namespace zarn_host
