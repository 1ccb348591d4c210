// zarn_host: loads a panel library into a simulated panel host and runs a
// scenario against it, or takes steps from standard input. "zarn_host
// validate ..." runs the validator instead, "zarn_host new-panel ..." makes a
// panel from the template, "zarn_host password FILE" writes a password file.
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/new_panel.h"
#include "bridges/bridges.h"
#include "platform/arguments.h"
#include "platform/crash_report.h"
#include "run/host_app.h"
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
    if (pointers.size() > 1 && arguments[1] == "password") {
        return zarn_host::passwordMain(static_cast<int>(pointers.size()) - 1, pointers.data() + 1, std::cin, std::cout,
                                       std::cerr);
    }
    zarn_host::HostOptions options;
    int status = zarn_host::parseHostCommandLine(static_cast<int>(pointers.size()), pointers.data(), options);
    if (status >= 0) return status;
    options.stepsFromTerminal = zarn_host::standardInputIsTerminal();
    if (!options.serve.empty() && !options.worker) return zarn_host::superviseServe(arguments, options);
    return zarn_host::runHost(options, std::cin, std::cout, std::cerr, zarn_host::serveWeb, zarn_host::startBridges);
}
