#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// CommandLineToArgvW
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/arguments.h"

namespace zarn_host {
namespace {

std::string toUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.pop_back();  // the NUL
    return result;
}

}  // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide || count != argc) {
        // Not the command line main was given: keep what main has.
        if (wide) LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(toUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

bool standardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

}  // namespace zarn_host
