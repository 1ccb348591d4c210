#include "host/arguments.h"

namespace zarn_host {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace zarn_host
