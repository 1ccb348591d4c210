// The protocols of the bridges, one Module a protocol (runtime/module.h),
// read from a facility file through one table (bridge_modules.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bridges/runtime/module.h"

namespace zarn_host::bridges {

// The modules a facility file's text names, in the table's order; false with
// one line naming the file and the JSON path at fault ("k7.json:
// /routers/0/swp08: ..."), modules then left alone. Unknown keys are refused;
// a listen address other machines reach needs allowRemote (--allow-remote).
bool readBridgeModules(const std::string& text, const std::string& fileName, bool allowRemote,
                       std::vector<std::unique_ptr<Module>>& modules, std::string& error);

}  // namespace zarn_host::bridges
