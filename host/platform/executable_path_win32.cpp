#define WIN32_LEAN_AND_MEAN
#include "platform/executable_path.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace zarn_host {

std::string currentExecutable() {
    // Long paths may exceed MAX_PATH; the API truncates silently when the buffer is short.
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return std::string();
    path.resize(n);
    return utf8Text(path);
}

}  // namespace zarn_host
