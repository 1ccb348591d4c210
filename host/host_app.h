// The zarn_host program without its command line: loads the facility, the
// scenario and the panel library, runs the scenario (or standard input) and
// reports. Exit codes: 0 all good; 1 an expectation failed or the host found
// a protocol fault; 2 usage, load or file errors.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zarn_host {

struct HostOptions {
    std::string panelLibrary;
    std::string facility;  // empty: the built-in facility
    std::string scenario;  // empty: interactive
    std::string panelDir;  // folder passed to the entry point (default: the facility's, else the library's)
    bool panelDirSet = false;
    std::string traceFile;
    bool interactive = false;
    // Steps typed at a terminal may be retyped after a mistake; piped steps
    // end the run at the first bad one (exit 2), as a scenario file does.
    bool stepsFromTerminal = false;
    bool quiet = false;
    std::vector<std::string> offline;  // device instances offline from the start
};

int runHost(const HostOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace zarn_host
