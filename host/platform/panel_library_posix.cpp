#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/panel_library.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

class PosixPanelLibrary : public PanelLibrary {
public:
    PosixPanelLibrary(void* handle, load_zarn_client_script_fn entry) : handle_(handle), entry_(entry) {}
    ~PosixPanelLibrary() override { dlclose(handle_); }
    PosixPanelLibrary(const PosixPanelLibrary&) = delete;
    PosixPanelLibrary& operator=(const PosixPanelLibrary&) = delete;
    load_zarn_client_script_fn entryPoint() const override { return entry_; }

private:
    void* handle_;
    load_zarn_client_script_fn entry_;
};

}  // namespace

std::unique_ptr<PanelLibrary> PanelLibrary::open(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = "panel library " + path + ": no such file";
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "panel library " + path + ": not a regular file";
        return nullptr;
    }
    // Without a slash dlopen would search the library path instead of the file named.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = "panel library " + path + ": cannot load: " + printable(reason ? reason : "unknown reason");
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(handle, "load_zarn_client_script");
    if (!symbol) {
        dlclose(handle);
        error = "panel library " + path + ": no entry point load_zarn_client_script";
        return nullptr;
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    auto entry = reinterpret_cast<load_zarn_client_script_fn>(symbol);
    return std::make_unique<PosixPanelLibrary>(handle, entry);
}

}  // namespace zarn_host
