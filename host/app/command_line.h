// zarn_host's command line, defined once: the options --help lists, the man
// page's synopsis, options and exit statuses, and host/README.md's tables are
// all made from these definitions, so they cannot drift apart.
#pragma once

#include <string>
#include <vector>

namespace zarn_host {

struct HostOptions;

// Reads zarn_host's options (argv[0] the program) into options. -1 to go on;
// otherwise the status to end with: 0 after --help or --version, 2 after a
// usage error (both printed).
int parseHostCommandLine(int argc, const char* const* argv, HostOptions& options);

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
