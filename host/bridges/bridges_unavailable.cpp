// zarn_host without the bridges (hosts without Asio): a facility's "swp08"
// and "umd" entries are read by the facility and otherwise left out.
#include "bridges/bridges.h"

namespace zarn_host {

std::unique_ptr<Bridges> startBridges(const std::string&, SimHost&, bool, std::string&) {
    return nullptr;
}

}  // namespace zarn_host
