#include "platform/executable_path.h"

#include <filesystem>
#include <system_error>

namespace zarn_host {

std::string currentExecutable() {
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

}  // namespace zarn_host
