// What the platform hands main: the arguments as UTF-8, and whether a person
// is typing on standard input.
#pragma once

#include <string>
#include <vector>

namespace zarn_host {

// argv[0] first. On Windows argv is in the ANSI code page, which cannot name
// every file, so the arguments are read again from the wide command line.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// True when standard input is a terminal (steps typed by a person).
bool standardInputIsTerminal();

}  // namespace zarn_host
