#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "platform/panel_library.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

// Windows keeps a loaded DLL's file from being replaced, so a rebuild would
// fail while the host runs it: the host loads a copy, in a folder of its own
// under the temporary folder (the module keeps its file name). A copy serves
// every load of the same file (time and size) in the process, so a library
// loaded and unloaded many times is one module to the loader; the copies
// stay until the process has ended, when the next process that loads a
// panel removes them.
// True while the process pid runs.
bool processRuns(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // someone else's
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

// Removes the copies that processes which ended without unloading (a crash,
// a process ended from outside) left in temp: zarn_host-PID-N folders whose
// process is gone. Once a process.
void removeStaleCopies(const std::wstring& temp) {
    static LONG swept = 0;
    if (InterlockedExchange(&swept, 1) != 0) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temp + L"zarn_host-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const std::wstring name = found.cFileName;
        const std::size_t dash = name.find(L'-', 10);
        if (dash == std::wstring::npos || dash == 10) continue;
        const unsigned long pid = std::wcstoul(name.substr(10, dash - 10).c_str(), nullptr, 10);
        if (pid == 0 || pid == GetCurrentProcessId() || processRuns(pid)) continue;
        const std::wstring folder = temp + name;
        WIN32_FIND_DATAW file;
        HANDLE files = FindFirstFileW((folder + L"\\*.dll").c_str(), &file);
        if (files != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((folder + L"\\" + file.cFileName).c_str());
            } while (FindNextFileW(files, &file));
            FindClose(files);
        }
        RemoveDirectoryW(folder.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

struct Copy {
    std::wstring original;
    FILETIME written{};
    DWORD sizeHigh = 0, sizeLow = 0;
    std::wstring file;
};

// The copy of original as it is now, made when there is none yet; empty when
// that cannot be done (the original is loaded then).
std::wstring copyOf(const std::wstring& original) {
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!GetFileAttributesExW(original.c_str(), GetFileExInfoStandard, &now)) return std::wstring();
    static std::mutex mutex;
    static std::vector<Copy> copies;
    std::lock_guard<std::mutex> lock(mutex);
    for (const Copy& c : copies) {
        if (c.original == original && CompareFileTime(&c.written, &now.ftLastWriteTime) == 0 &&
            c.sizeHigh == now.nFileSizeHigh && c.sizeLow == now.nFileSizeLow &&
            GetFileAttributesW(c.file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return c.file;
        }
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    removeStaleCopies(temp);
    const std::wstring folder = std::wstring(temp) + L"zarn_host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(copies.size() + 1);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    const std::size_t slash = original.find_last_of(L"/\\:");
    Copy copy{original, now.ftLastWriteTime, now.nFileSizeHigh, now.nFileSizeLow,
              folder + L"\\" + (slash == std::wstring::npos ? original : original.substr(slash + 1))};
    if (!CopyFileW(original.c_str(), copy.file.c_str(), FALSE)) {
        RemoveDirectoryW(folder.c_str());
        return std::wstring();
    }
    copies.push_back(copy);
    return copy.file;
}

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
    const std::wstring copy = copyOf(file);
    HMODULE handle = nullptr;
    if (!copy.empty()) {
        // The libraries the panel's DLL needs are looked for beside the original.
        const std::size_t slash = file.find_last_of(L"/\\:");
        const std::wstring folder = file.substr(0, slash + 1);
        SetDllDirectoryW(folder.c_str());
        handle = LoadLibraryW(copy.c_str());
        SetDllDirectoryW(nullptr);
    }
    if (!handle) handle = LoadLibraryW(file.c_str());
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
