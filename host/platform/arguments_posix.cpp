#include <unistd.h>

#include "platform/arguments.h"

namespace zarn_host {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool standardInputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

}  // namespace zarn_host
