#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "platform/panel_library.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

class WindowsPanelLibrary : public PanelLibrary {
public:
    WindowsPanelLibrary(HMODULE handle, load_zarn_client_script_fn entry) : handle_(handle), entry_(entry) {}
    ~WindowsPanelLibrary() override { FreeLibrary(handle_); }
    WindowsPanelLibrary(const WindowsPanelLibrary&) = delete;
    WindowsPanelLibrary& operator=(const WindowsPanelLibrary&) = delete;
    load_zarn_client_script_fn entryPoint() const override { return entry_; }

private:
    HMODULE handle_;
    load_zarn_client_script_fn entry_;
};

// The system's text for an error code, on one line; the number when it has none.
std::string systemMessage(DWORD code) {
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? std::string(buffer, length) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : printable(text);
}

// Paths arrive as UTF-8; the wide API takes any name the file system holds.
bool toWide(const std::string& text, std::wstring& wide) {
    if (text.empty()) return false;
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0],
                               length) == length;
}

}  // namespace

std::unique_ptr<PanelLibrary> PanelLibrary::open(const std::string& path, std::string& error) {
    std::wstring file;
    if (!toWide(path, file)) {
        error = "panel library " + printable(path) + ": not a valid UTF-8 path";
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = "panel library " + path + ": no such file";
        return nullptr;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = "panel library " + path + ": not a regular file";
        return nullptr;
    }
    // No error boxes from the loader: the reason comes back as a line instead.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Without a folder LoadLibraryW would search the system folders instead of the file named.
    if (file.find_first_of(L"/\\:") == std::wstring::npos) file = L".\\" + file;
    HMODULE handle = LoadLibraryW(file.c_str());
    const DWORD loadError = GetLastError();
    SetErrorMode(previousMode);
    if (!handle) {
        error = "panel library " + path + ": cannot load: " + systemMessage(loadError);
        return nullptr;
    }
    FARPROC symbol = GetProcAddress(handle, "load_zarn_client_script");
    if (!symbol) {
        FreeLibrary(handle);
        error = "panel library " + path + ": no entry point load_zarn_client_script";
        return nullptr;
    }
    // Through void (*)(): one function pointer type to another.
    auto entry = reinterpret_cast<load_zarn_client_script_fn>(reinterpret_cast<void (*)()>(symbol));
    return std::make_unique<WindowsPanelLibrary>(handle, entry);
}

}  // namespace zarn_host
