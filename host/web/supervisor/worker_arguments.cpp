// The worker's command line: the supervisor's own options, served on a
// loopback port of the system's choosing, as a worker.
#include "web/supervisor/supervisor.h"

namespace zarn_host {

std::vector<std::string> workerArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--serve") {
            ++i;
            continue;
        }
        if (a.rfind("--serve=", 0) == 0) continue;
        out.push_back(a);
    }
    out.insert(out.end(), {"--serve", "127.0.0.1:0", "--worker"});
    return out;
}

}  // namespace zarn_host
