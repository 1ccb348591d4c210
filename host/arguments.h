// The program's arguments as UTF-8, whatever the platform hands main.
#pragma once

#include <string>
#include <vector>

namespace zarn_host {

// argv[0] first. On Windows argv is in the ANSI code page, which cannot name
// every file, so the arguments are read again from the wide command line.
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace zarn_host
