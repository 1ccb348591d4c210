// The zarn_host program without its command line: loads the facility, the
// scenario and the panel library, runs the scenario (or standard input) and
// reports. Exit codes: 0 all good; 1 an expectation failed, the host found
// a protocol fault or refused a panel file; 2 usage, load or file errors.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
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
    std::string auditFile;  // --audit: the facility's changes from outside, appended as JSON lines
    bool interactive = false;
    // Steps typed at a terminal may be retyped after a mistake; piped steps
    // end the run at the first bad one (exit 2), as a scenario file does.
    bool stepsFromTerminal = false;
    bool quiet = false;
    std::vector<std::string> offline;  // device instances offline from the start
    bool expectRefusals = false;       // refusals counted, none fails the run
    std::string serve;                 // "[HOST:]PORT": serve the panel to browsers after the scenario
    bool allowRemote = false;          // --serve on an address other machines reach
    std::string passwordFile;          // --serve's login by a password (zarn_host password's file)
    std::string tlsCert, tlsKey;       // --serve over HTTPS: PEM certificate chain and private key
    bool insecure = false;             // --serve beyond loopback without TLS, meant
    // --serve runs the panel in a worker process (zarn_host --worker) under a
    // supervisor that keeps the page served when the panel crashes.
    bool worker = false;
    std::string crashDir;         // where the supervisor writes a crash's scenario (default: the temp folder)
    int stepTimeoutSeconds = 10;  // a served step running longer is a hang
};

class SimHost;
class ScenarioRunner;
class Bridges;

// What a front-end that serves the panel gets from runHost.
struct ServeContext {
    const HostOptions& options;
    SimHost& host;
    ScenarioRunner& runner;
    // Closes and opens the panel library again (no panel loaded).
    std::function<bool(std::string& error)> reopenLibrary;
    // Scenario lines that brought the host where it is.
    std::vector<std::string> prelude;
    std::ostream& out;
    std::ostream& err;
    // The facility's bridges to equipment; null when it has none.
    Bridges* bridges = nullptr;
};
// Serves until told to stop; false with a one-line error when it cannot
// start. The browser front-end's is web/serve.h's serveWeb.
using ServeFunction = std::function<bool(ServeContext& context, std::string& error)>;

// Starts the facility's bridges (SW-P-08, Ember+, TSL UMD); null with an empty error
// when it has none, null with a one-line error when they cannot start.
using BridgesFunction = std::function<std::unique_ptr<Bridges>(const std::string& facilityPath, SimHost& host,
                                                               bool allowRemote, std::string& error)>;

// serve handles options.serve; without it, --serve is refused. bridges starts
// the facility's bridges; without it, they are left out.
int runHost(const HostOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
            const ServeFunction& serve = nullptr, const BridgesFunction& bridges = nullptr);

}  // namespace zarn_host
