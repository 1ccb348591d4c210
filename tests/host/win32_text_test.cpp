// The Windows command line a worker is started with: every argument comes
// back whole from the system's own splitter, whatever it holds.
#include <windows.h>
// CommandLineToArgvW
#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/win32_text.h"

namespace zarn_host {
namespace {

std::vector<std::string> splitBack(const std::wstring& line) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::string> out;
    for (int i = 0; argv && i < count; ++i) out.push_back(utf8Text(argv[i]));
    if (argv) LocalFree(argv);
    return out;
}

TEST(Win32CommandLine, EveryArgumentComesBackWhole) {
    const std::vector<std::vector<std::string>> cases = {
        {"C:\\zarn\\zarn_host.exe", "--serve", "127.0.0.1:0", "--worker"},
        {"C:\\Program Files\\zarn\\zarn_host.exe", "--panel", "C:\\my panels\\k7_mon.dll"},
        {"host.exe", ""},                                            // an empty argument stays one
        {"host.exe", "say \"hi\"", "\"", "\"\""},                    // quotes inside
        {"host.exe", "C:\\ends with\\", "C:\\two\\\\", "a\\\\\"b"},  // backslashes before a quote or the end
        {"host.exe", "tab\there", "new\nline"},
        {"host.exe", "k7 m\xC3\xB6n \xCE\xA9 \xE6\x9C\x88.dll"},  // outside any ANSI code page
    };
    for (const auto& arguments : cases) {
        EXPECT_EQ(splitBack(commandLine(arguments)), arguments);
    }
}

TEST(Win32Text, Utf8RoundTripsAndInvalidIsEmpty) {
    const std::string text = "k7 m\xC3\xB6n \xF0\x9F\x8E\x9B";
    EXPECT_EQ(utf8Text(wideText(text)), text);
    EXPECT_TRUE(wideText("bad \xC3(").empty());
}

}  // namespace
}  // namespace zarn_host
