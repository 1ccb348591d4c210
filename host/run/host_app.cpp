#include "run/host_app.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "bridges/bridges.h"
#include "model/json_input.h"
#include "model/renderer.h"
#include "platform/crash_report.h"
#include "platform/panel_folder.h"
#include "platform/panel_library.h"
#include "run/line_waiter.h"
#include "scenario/scenario.h"
#include "sim/audit_log.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitError = 2;

// The steps from the table, and the session's own words.
std::string interactiveHelp() {
    return "steps, one a line (\"double quotes\" group blanks; # starts a comment):\n" + scenarioStepsHelp() +
           scenarioHelpLine("help", "this list") + scenarioHelpLine("quit", "ends the session (as does exit)");
}

}  // namespace

int runHost(const HostOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
            const ServeFunction& serve, const BridgesFunction& startBridges) {
    std::string why;
    if (!options.serve.empty() && !serve) {
        err << "zarn_host: --serve: this zarn_host was built without the browser front-end\n";
        return exitError;
    }
    if (!options.serve.empty() && options.interactive) {
        err << "zarn_host: --serve and --interactive do not go together\n";
        return exitError;
    }
    Facility facility = Facility::builtIn();
    if (!options.facility.empty() && !Facility::load(options.facility, facility, why)) {
        err << "zarn_host: " << why << "\n";
        return exitError;
    }
    for (const auto& name : options.offline) {
        auto device = facility.findDevice(name);
        if (!device) {
            err << "zarn_host: --offline " << name << ": no such device instance\n";
            return exitError;
        }
        facility.setOnline(*device, false);
    }
    std::vector<ScenarioStep> steps;
    if (!options.scenario.empty()) {
        std::string text;
        if (!readTextFile(options.scenario, text, why) || !parseScenario(text, options.scenario, steps, why) ||
            !checkInstanceNumbers(facility, steps, why)) {
            err << "zarn_host: " << why << "\n";
            return exitError;
        }
    }
    AuditLog audit;  // before the host: the facility's watcher refers to it
    if (!options.auditFile.empty() && !audit.open(options.auditFile, err, why)) {
        err << "zarn_host: " << why << "\n";
        return exitError;
    }
    auto library = PanelLibrary::open(options.panelLibrary, why);
    if (!library) {
        err << "zarn_host: " << why << "\n";
        return exitError;
    }
    std::ofstream traceFile;
    if (!options.traceFile.empty()) {
        traceFile.open(std::filesystem::u8path(options.traceFile), std::ios::binary | std::ios::trunc);
        if (!traceFile) {
            err << "zarn_host: " << options.traceFile << ": cannot write the trace\n";
            return exitError;
        }
    }
    std::string folder = panelFolder(options.panelDirSet ? std::optional<std::string>(options.panelDir) : std::nullopt,
                                     options.facility, options.panelLibrary);

    SimHost host(std::move(facility));
    host.expectEveryRefusal(options.expectRefusals);
    if (!options.auditFile.empty()) audit.watch(host.facility());
    if (!options.quiet) host.trace().setEcho(&out);
    if (traceFile.is_open()) host.trace().setFile(&traceFile);
    for (const auto& name : options.offline) host.trace().line(TraceKind::step, "offline " + name);

    bool loadFailed = false;
    auto loader = [&](std::string& error) {
        if (library && host.load(library->entryPoint(), folder, shownFileName(options.panelLibrary))) return true;
        loadFailed = true;
        error = library ? "the panel library gave no panel" : "the panel library could not be opened again";
        return false;
    };
    ScenarioRunner runner(host, loader, err);
    std::unique_ptr<Bridges> bridges;
    if (startBridges && !options.facility.empty()) {
        bridges = startBridges(options.facility, host, options.allowRemote, why);
        if (!bridges && !why.empty()) {
            err << "zarn_host: " << why << "\n";
            return exitError;
        }
        if (bridges) runner.setStepHook([&] { bridges->exchange(host); });
    }
    bool interactive = options.interactive || (options.scenario.empty() && options.serve.empty());
    if (interactive && options.quiet) runner.setPictureOut(&out);
    ScenarioRunner::Outcome outcome = ScenarioRunner::Outcome::ok;
    bool anyFailed = false;
    if (interactive) {
        if (!options.scenario.empty()) outcome = runner.run(steps);
        if (outcome == ScenarioRunner::Outcome::ok) {
            std::string line;
            int lineNumber = 0;
            // With bridges, what peers send is applied while the run waits for
            // the next line: the I/O thread's wake pokes the wait. What they
            // sent before the wake was set woke nobody: the first poke is ours.
            // Set before the line below, which peers may wait for.
            std::unique_ptr<LineWaiter> waiter;
            if (bridges) {
                waiter = std::make_unique<LineWaiter>(in);
                bridges->setWake([w = waiter.get()] { w->poke(); });
                waiter->poke();
            }
            err << "zarn_host: reading steps from standard input; \"help\" lists them\n";
            auto idle = [&] { bridges->exchange(host); };
            auto nextLine = [&] {
                return waiter ? waiter->next(line, idle) : static_cast<bool>(std::getline(in, line));
            };
            struct ClearWake {
                Bridges* bridges;
                ~ClearWake() {
                    if (bridges) bridges->setWake(nullptr);
                }
            } clearWake{bridges.get()};
            while (nextLine()) {
                ++lineNumber;
                std::size_t first = line.find_first_not_of(" \t");
                std::string word = first == std::string::npos ? "" : line.substr(first);
                while (!word.empty() && (word.back() == ' ' || word.back() == '\r')) word.pop_back();
                if (word == "quit" || word == "exit") break;
                if (word == "help") {
                    err << interactiveHelp();
                    continue;
                }
                ScenarioStep step;
                if (!parseScenarioLine(line, step, why)) {
                    err << "<stdin>:" << lineNumber << ": " << why << "\n";
                    if (options.stepsFromTerminal) continue;
                    outcome = ScenarioRunner::Outcome::error;
                    break;
                }
                if (step.keyword.empty()) continue;
                step.file = "<stdin>";
                step.line = lineNumber;
                ScenarioRunner::Outcome o = runner.runStep(step);
                if (o == ScenarioRunner::Outcome::expectationFailed) anyFailed = true;
                if (loadFailed || (o == ScenarioRunner::Outcome::error && !options.stepsFromTerminal)) {
                    outcome = ScenarioRunner::Outcome::error;
                    break;
                }
            }
        }
    } else {
        outcome = runner.run(steps);
    }
    if (!options.serve.empty() && outcome == ScenarioRunner::Outcome::ok && !loadFailed) {
        std::vector<std::string> prelude;
        for (const auto& name : options.offline) prelude.push_back("offline " + scenarioQuoted(name));
        for (const auto& step : steps) prelude.push_back(step.source);
        auto reopen = [&](std::string& error) {
            library.reset();
            library = PanelLibrary::open(options.panelLibrary, error);
            return library != nullptr;
        };
        ServeContext context{options, host, runner, reopen, std::move(prelude), out, err};
        context.bridges = bridges.get();
        if (!serve(context, why)) {
            err << "zarn_host: " << why << "\n";
            outcome = ScenarioRunner::Outcome::error;
        }
        loadFailed = false;  // the page may have loaded and failed; that was its business
    }
    if (outcome == ScenarioRunner::Outcome::ok && !runner.everLoaded()) {
        if (!runner.ensureStarted(why)) {
            err << "zarn_host: " << why << "\n";
            outcome = ScenarioRunner::Outcome::error;
        }
    }
    if (outcome == ScenarioRunner::Outcome::expectationFailed) anyFailed = true;

    crashNoteActivity("the end of the run: drawing and unloading the panel");
    if (host.loaded()) {
        for (const auto& entry : host.panels()) host.trace().block(renderPanel(entry.second));
        host.unload();
    }
    host.finish();

    const auto& faults = host.faults();
    std::string summary = "end: " + std::to_string(host.commandCount()) + " commands, " +
                          std::to_string(runner.expectationsMet()) + " expectations met, " +
                          std::to_string(faults.size()) + " protocol faults";
    const auto& refused = host.refusedPanelFiles();
    if (!refused.empty()) {
        summary +=
            ", " + std::to_string(refused.size()) + (refused.size() == 1 ? " panel file" : " panel files") + " refused";
    }
    const RefusalCounts& refusals = host.refusalCounts();
    if (refusals.total() > 0) summary += ", " + refusals.summary();
    const auto& warnings = host.warnings();
    if (!warnings.empty())
        summary += ", " + std::to_string(warnings.size()) + (warnings.size() == 1 ? " warning" : " warnings");
    host.trace().line(TraceKind::step, summary);
    if (options.quiet) out << traceMarker(TraceKind::step) << summary << "\n";  // the one line a quiet run prints
    for (const auto& f : faults) err << "zarn_host: protocol fault: " << f << "\n";
    for (const auto& why : refused) err << "zarn_host: panel file refused: " << why << "\n";
    for (const auto& why : host.failingRefusals()) err << "zarn_host: refused: " << why << "\n";
    if (refusals.failing > host.failingRefusals().size()) {
        err << "zarn_host: refused: ... and " << refusals.failing - host.failingRefusals().size() << " more\n";
    }
    if (refusals.failing > 0) {
        err << "zarn_host: refusals fail the run unless expected: an expect refused step after the step that caused "
               "them, or --expect-refusals\n";
    }
    for (const auto& why : warnings) err << "zarn_host: warning: " << why << "\n";
    if (outcome == ScenarioRunner::Outcome::error || loadFailed) return exitError;
    if (anyFailed || !faults.empty() || !refused.empty() || refusals.failing > 0) return exitFailed;
    return exitOk;
}

}  // namespace zarn_host
