// The running program's own file, for starting copies of it (the validator's
// tests, the page's worker) and for finding what is installed beside it.
#pragma once

#include <string>

namespace zarn_host {

// The full path in UTF-8; empty when the system cannot tell.
std::string currentExecutable();

}  // namespace zarn_host
