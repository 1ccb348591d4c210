// zarn_host's command line, defined once: the options --help lists, the man
// page's synopsis, options and exit statuses, and host/README.md's tables are
// all made from these definitions, so they cannot drift apart.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zarn_host {

struct HostOptions;

// The program's options, bound to options. Its footer lists the commands,
// the exit statuses and the scenario steps.
std::unique_ptr<CLI::App> hostCommandLine(HostOptions& options);

struct ExitStatus {
    int code;
    const char* meaning;
};
// Every status zarn_host ends with, in order.
const std::vector<ExitStatus>& exitStatuses();

// The man page: template with @SYNOPSIS@, @OPTIONS@, @EXIT_STATUS@ and
// @PROJECT_VERSION@ replaced.
std::string manPage(const std::string& manTemplate, const std::string& version);

// host/README.md's tables, one row a line: "| `--panel LIB` | ... |".
std::string optionTableMarkdown();
std::string exitStatusTableMarkdown();

}  // namespace zarn_host
