// A loaded panel library and its entry point. The POSIX implementation uses
// dlopen; another platform provides its own open().
#pragma once

#include <zarn/zarn_client.h>

#include <memory>
#include <string>

namespace zarn_host {

class PanelLibrary {
public:
    virtual ~PanelLibrary() = default;
    virtual load_zarn_client_script_fn entryPoint() const = 0;

    // Null with a one-line reason when the file is missing, is not a
    // library, or does not export load_zarn_client_script.
    static std::unique_ptr<PanelLibrary> open(const std::string& path, std::string& error);
};

}  // namespace zarn_host
