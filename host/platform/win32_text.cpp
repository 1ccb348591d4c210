#define WIN32_LEAN_AND_MEAN
#include "platform/win32_text.h"

#include <windows.h>

namespace zarn_host {

std::wstring wideText(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string utf8Text(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring commandLine(const std::vector<std::string>& arguments) {
    std::wstring line;
    for (const auto& text : arguments) {
        const std::wstring arg = wideText(text);
        if (!line.empty()) line += L' ';
        if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += arg;
            continue;
        }
        line += L'"';
        std::size_t backslashes = 0;
        for (wchar_t c : arg) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

}  // namespace zarn_host
