// The folder handed to a panel's entry point, decided the same way by
// zarn_host and zarn_host validate.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zarn_host {

// The folder given (--panel-dir), else the facility file's folder, else the
// panel library's. Every path is UTF-8 and so is the result, on every
// platform: Windows paths are not read in the ANSI code page.
inline std::string panelFolder(const std::optional<std::string>& panelDir, const std::string& facilityFile,
                               const std::string& libraryFile) {
    if (panelDir) return *panelDir;
    const std::string& anchor = facilityFile.empty() ? libraryFile : facilityFile;
    return std::filesystem::u8path(anchor).parent_path().u8string();
}

}  // namespace zarn_host
