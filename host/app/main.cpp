// zarn_host: loads a panel library into a simulated panel host and runs a
// scenario against it, or takes steps from standard input. "zarn_host
// validate ..." runs the validator instead, "zarn_host new-panel ..." makes a
// panel from the template.
#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "app/new_panel.h"
#include "bridges/bridges.h"
#include "platform/arguments.h"
#include "platform/crash_report.h"
#include "run/host_app.h"
#include "scenario/scenario_steps.h"
#include "validate/validate.h"
#include "web/serve.h"

int main(int argc, char** argv) {
    // File names reach the host as UTF-8 on every platform.
    std::vector<std::string> arguments = zarn_host::utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const auto& argument : arguments) pointers.push_back(argument.c_str());
    bool validate = pointers.size() > 1 && arguments[1] == "validate";
    // The validator's children end by the panel's signal (their parent reads
    // it); every other run reports a crash itself and ends with status 3.
    bool inProcess = false;
    for (const auto& argument : arguments) inProcess = inProcess || argument == "--in-process";
    if (!validate || inProcess) zarn_host::installCrashReport();
    if (validate) {
        return zarn_host::validate::main(static_cast<int>(pointers.size()) - 1, pointers.data() + 1);
    }
    if (pointers.size() > 1 && arguments[1] == "new-panel") {
        return zarn_host::newPanelMain(static_cast<int>(pointers.size()) - 1, pointers.data() + 1, std::cout,
                                       std::cerr);
    }
    zarn_host::HostOptions options;
    CLI::App app{"Simulated panel host: loads a panel library and drives it through a facility model"};
    app.add_option("--panel", options.panelLibrary, "panel library to load")->required();
    app.add_option("--facility", options.facility, "facility file (JSON); without one, the built-in facility");
    app.add_option("--scenario", options.scenario, "scenario to run; without one, steps come from standard input");
    auto* panelDir =
        app.add_option("--panel-dir", options.panelDir,
                       "folder passed to the panel (default: the facility file's folder, else the library's)");
    app.add_option("--trace", options.traceFile, "also write the trace to this file");
    app.add_option("--offline", options.offline, "device instance offline from the start (repeatable)");
    app.add_flag("--interactive", options.interactive, "read steps from standard input (after the scenario)");
    app.add_flag("--quiet", options.quiet, "do not print the trace and the picture");
    app.add_option("--serve", options.serve,
                   "after the scenario, serve the panel to browsers at [HOST:]PORT (host 127.0.0.1; port 0: any free)");
    app.add_option("--crash-dir", options.crashDir,
                   "with --serve: where a crash's replayable scenario is written (default: the temp folder)");
    app.add_option("--step-timeout", options.stepTimeoutSeconds,
                   "with --serve: seconds a step may run before the panel counts as hung (default 10)")
        ->check(CLI::Range(1, 3600));
    // The supervisor's worker: the served panel in a process of its own.
    app.add_flag("--worker", options.worker)->group("");
    app.add_flag("--allow-remote", options.allowRemote,
                 "let --serve use an address other machines reach (anyone who can reach it operates the panel)");
    app.footer("Commands (each with its own --help):\n" +
               zarn_host::scenarioHelpLine("zarn_host validate LIB [options]",
                                           "runs the protocol test battery on a panel library") +
               zarn_host::scenarioHelpLine("zarn_host new-panel NAME [DIR]",
                                           "makes a new panel NAME from the installed template") +
               "\nScenario steps, one a line (\"double quotes\" group blanks; # starts a comment):\n" +
               zarn_host::scenarioStepsHelp());
    app.set_version_flag("--version", "zarn_host " ZARN_VERSION, "print the version and exit");
    // A path such as /data/k7_mon.dll is a file, not a Windows-style option.
    app.allow_windows_style_options(false);
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    options.panelDirSet = panelDir->count() > 0;
    options.stepsFromTerminal = zarn_host::standardInputIsTerminal();
    if (!options.serve.empty() && !options.worker) return zarn_host::superviseServe(arguments, options);
    return zarn_host::runHost(options, std::cin, std::cout, std::cerr, zarn_host::serveWeb, zarn_host::startBridges);
}
