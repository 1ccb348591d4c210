// Text at the Windows API's edge (Windows builds only): UTF-8 to and from
// the wide strings the API takes, and arguments joined into a command line.
#pragma once

#include <string>
#include <vector>

namespace zarn_host {

// Invalid UTF-8 gives an empty string (the API then names no file).
std::wstring wideText(const std::string& utf8);
std::string utf8Text(const std::wstring& wide);

// The command line that the child's C runtime splits back into arguments
// exactly (CommandLineToArgvW's rules): each quoted when it holds a space, a
// tab or a quote, with backslashes doubled only before a quote.
std::wstring commandLine(const std::vector<std::string>& arguments);

}  // namespace zarn_host
