#include "validate/validate.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "model/facility.h"
#include "platform/executable_path.h"
#include "platform/panel_folder.h"
#include "platform/panel_library.h"
#include "text/command_text.h"
#include "validate/battery.h"
#include "validate/validate_process.h"

namespace zarn_host {
namespace validate {
namespace {

constexpr int exitOk = 0;
constexpr int exitFailed = 1;
constexpr int exitError = 2;
constexpr std::size_t lastCommandsShown = 10;
constexpr std::size_t errorLinesShown = 15;

// What one test came to, read from its child's channel and end.
struct Verdict {
    std::string name;
    bool passed = false;
    std::string cause;  // failed, crash, timeout, sanitizer report, ...
    std::vector<std::string> problems;
    std::vector<std::string> notes;
    std::vector<std::string> lastCommands;
    std::vector<std::string> errorTail;
    std::vector<std::string> steps;
    std::string folder;
    std::string scenarioFile;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        // A child on Windows writes its standard output in text mode.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool sanitizerReport(const std::string& err) {
    return err.find("ERROR: AddressSanitizer") != std::string::npos ||
           err.find("ERROR: LeakSanitizer") != std::string::npos || err.find("runtime error:") != std::string::npos;
}

// Reads the channel: steps, problems, notes and the commands and hand-backs of the trace.
void readChannel(const std::string& out, Verdict& verdict, bool& reported, bool& passed) {
    reported = passed = false;
    std::vector<std::string> commands;
    // A problem repeated is shown once, in the order first seen, with its count.
    std::vector<std::size_t> counts;
    std::map<std::string, std::size_t> problemAt;
    for (const auto& line : lines(out)) {
        if (startsWith(line, "@@ session ")) {
            verdict.folder = line.substr(11);
            verdict.steps.clear();
        } else if (startsWith(line, "@@ step ")) {
            verdict.steps.push_back(line.substr(8));
        } else if (startsWith(line, "@@ problem ")) {
            auto found = problemAt.emplace(line.substr(11), verdict.problems.size());
            if (found.second) {
                verdict.problems.push_back(found.first->first);
                counts.push_back(1);
            } else {
                ++counts[found.first->second];
            }
        } else if (startsWith(line, "@@ note ")) {
            verdict.notes.push_back(line.substr(8));
        } else if (startsWith(line, "@@ result ")) {
            reported = true;
            passed = line == "@@ result pass";
        } else if (startsWith(line, "@@ trace out ")) {
            commands.push_back(printable(line.substr(13), 200));
        }
    }
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 1) verdict.problems[i] += " (x " + std::to_string(counts[i]) + ")";
    }
    std::size_t from = commands.size() > lastCommandsShown ? commands.size() - lastCommandsShown : 0;
    verdict.lastCommands.assign(commands.begin() + static_cast<std::ptrdiff_t>(from), commands.end());
}

Verdict judge(const std::string& name, const ChildOutcome& child, int timeoutSeconds) {
    Verdict verdict;
    verdict.name = name;
    bool reported = false, passed = false;
    readChannel(child.out, verdict, reported, passed);
    auto errLines = lines(child.err);
    std::size_t from = errLines.size() > errorLinesShown ? errLines.size() - errorLinesShown : 0;
    switch (child.end) {
        case ChildOutcome::End::timedOut:
            verdict.cause = "no answer within " + std::to_string(timeoutSeconds) + " s (hang)";
            break;
        case ChildOutcome::End::crashed:
            verdict.cause = "crash: " + child.crash;
            break;
        case ChildOutcome::End::notStarted:
            verdict.cause = "could not start: " + child.crash;
            break;
        case ChildOutcome::End::exited:
            if (sanitizerReport(child.err)) {
                verdict.cause = "sanitizer report";
            } else if (!reported) {
                verdict.cause = "ended with exit code " + std::to_string(child.exitCode) + " before reporting";
            } else if (passed && child.exitCode == 0) {
                verdict.passed = true;
            } else {
                verdict.cause = "failed";
            }
            break;
    }
    if (verdict.cause == "sanitizer report") {
        // The report's head says what went wrong and where; its summary closes it.
        std::size_t head = 0;
        while (head < errLines.size() && errLines[head].find("ERROR: ") == std::string::npos &&
               errLines[head].find("runtime error:") == std::string::npos) {
            ++head;
        }
        for (std::size_t i = head; i < errLines.size() && i < head + errorLinesShown; ++i) {
            verdict.errorTail.push_back(errLines[i]);
        }
        if (!errLines.empty() && head + errorLinesShown < errLines.size() && startsWith(errLines.back(), "SUMMARY")) {
            verdict.errorTail.push_back("...");
            verdict.errorTail.push_back(errLines.back());
        }
    } else if (!verdict.passed && verdict.cause != "failed") {
        verdict.errorTail.assign(errLines.begin() + static_cast<std::ptrdiff_t>(from), errLines.end());
    }
    return verdict;
}

std::string shellQuoted(const std::string& text) {
    if (!text.empty() && text.find_first_of(" \t'\"\\$`!*?&;|<>()#~") == std::string::npos) return text;
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string replayCommand(const Options& options, const Verdict& verdict) {
    std::string command = "zarn_host --panel " + shellQuoted(options.library);
    if (!options.facility.empty()) command += " --facility " + shellQuoted(options.facility);
    command += " --panel-dir " + shellQuoted(verdict.folder.empty() ? std::string(".") : verdict.folder);
    return command + " --scenario " + shellQuoted(verdict.scenarioFile);
}

// Leaves the steps of a failed test as a scenario that zarn_host replays.
void writeScenario(const Options& options, Verdict& verdict, std::ostream& err) {
    std::filesystem::path path = std::filesystem::path(options.reproDir) / ("validate-" + verdict.name + ".scenario");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        err << "zarn_host validate: " << path.string() << ": cannot write the reproduction\n";
        return;
    }
    // Forward slashes: the same on every platform, and Windows reads them too.
    verdict.scenarioFile = path.generic_string();
    file << "# zarn_host validate: " << verdict.name << " " << verdict.cause << " (seed " << options.seed << ")\n";
    if (verdict.folder.empty()) file << "# the panel's folder is empty: replay with --panel-dir \"\"\n";
    file << "# replay: " << replayCommand(options, verdict) << "\n";
    for (const auto& step : verdict.steps) file << step << "\n";
}

void report(const Options& options, const Verdict& verdict, std::ostream& out) {
    if (verdict.passed) {
        if (!options.onlyFailed) out << "PASS " << verdict.name << "\n";
        return;
    }
    out << "FAIL " << verdict.name << ": " << verdict.cause << "\n";
    for (const auto& problem : verdict.problems) out << "  problem: " << problem << "\n";
    if (!verdict.steps.empty()) out << "  last step: " << printable(verdict.steps.back(), 200) << "\n";
    if (!verdict.lastCommands.empty()) {
        out << "  last commands the panel sent:\n";
        for (const auto& command : verdict.lastCommands) out << "    " << command << "\n";
    }
    if (!verdict.errorTail.empty()) {
        out << "  standard error (end):\n";
        for (const auto& line : verdict.errorTail) out << "    " << line << "\n";
    }
    out << "  seed: " << options.seed << "\n";
    if (!verdict.scenarioFile.empty()) out << "  reproduce: " << replayCommand(options, verdict) << "\n";
}

bool writeJson(const Options& options, const std::vector<Verdict>& verdicts, std::ostream& err) {
    nlohmann::ordered_json root;
    root["library"] = options.library;
    root["seed"] = options.seed;
    root["steps"] = options.steps;
    auto& tests = root["tests"] = nlohmann::ordered_json::array();
    for (const auto& v : verdicts) {
        nlohmann::ordered_json item;
        item["name"] = v.name;
        item["result"] = v.passed ? "pass" : "fail";
        if (!v.passed) {
            item["cause"] = v.cause;
            item["problems"] = v.problems;
            item["last_commands"] = v.lastCommands;
            item["stderr_tail"] = v.errorTail;
            item["scenario"] = v.scenarioFile;
        }
        item["notes"] = v.notes;
        tests.push_back(std::move(item));
    }
    std::ofstream file(options.json, std::ios::binary | std::ios::trunc);
    // Texts from a panel may hold any bytes; invalid UTF-8 is replaced, not thrown.
    if (file) file << root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    if (!file) {
        err << "zarn_host validate: " << options.json << ": cannot write the results\n";
        return false;
    }
    return true;
}

std::vector<std::string> childArguments(const Options& options, const std::string& test) {
    std::vector<std::string> args = {"validate", options.library,
                                     "--child",  test,
                                     "--seed",   std::to_string(options.seed),
                                     "--steps",  std::to_string(options.steps)};
    if (!options.facility.empty()) {
        args.push_back("--facility");
        args.push_back(options.facility);
    }
    if (options.panelDirSet) {
        args.push_back("--panel-dir");
        args.push_back(options.panelDir);
    }
    return args;
}

}  // namespace

std::string panelFolder(const Options& options) {
    return zarn_host::panelFolder(options.panelDirSet ? std::optional<std::string>(options.panelDir) : std::nullopt,
                                  options.facility, options.library);
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
    if (options.list) {
        for (const auto& test : battery()) out << test.name << "  " << test.checks << "\n";
        return exitOk;
    }
    std::regex filter;
    try {
        filter = std::regex(options.filter.empty() ? std::string(".*") : options.filter);
    } catch (const std::regex_error&) {
        err << "zarn_host validate: --filter " << options.filter << ": not a regular expression\n";
        return exitError;
    }
    std::string why;
    if (!options.facility.empty()) {
        Facility facility;
        if (!Facility::load(options.facility, facility, why)) {
            err << "zarn_host validate: " << why << "\n";
            return exitError;
        }
    }
    if (!PanelLibrary::open(options.library, why)) {
        err << "zarn_host validate: " << why << "\n";
        return exitError;
    }
    std::string self = currentExecutable();
    if (!options.inProcess && self.empty()) {
        err << "zarn_host validate: cannot find the program's own file to start the tests\n";
        return exitError;
    }
    std::vector<Verdict> verdicts;
    for (const auto& test : battery()) {
        if (!std::regex_search(test.name, filter)) continue;
        ChildOutcome child;
        if (options.inProcess) {
            std::ostringstream channel;
            child.exitCode = runOne(options, test.name, channel);
            child.end = ChildOutcome::End::exited;
            child.out = channel.str();
        } else {
            child = runChild(self, childArguments(options, test.name), options.timeoutSeconds);
        }
        Verdict verdict = judge(test.name, child, options.timeoutSeconds);
        if (!verdict.passed) writeScenario(options, verdict, err);
        report(options, verdict, out);
        verdicts.push_back(std::move(verdict));
    }
    if (verdicts.empty()) {
        err << "zarn_host validate: --filter " << options.filter << " selects no test\n";
        return exitError;
    }
    std::size_t failed = 0;
    for (const auto& v : verdicts) failed += v.passed ? 0 : 1;
    out << verdicts.size() << " tests, " << failed << " failed\n";
    if (!options.json.empty() && !writeJson(options, verdicts, err)) return exitError;
    return failed == 0 ? exitOk : exitFailed;
}

int main(int argc, const char* const* argv) {
    Options options;
    CLI::App app{"Runs a battery of protocol tests against a panel library, each in a process of its own",
                 "zarn_host validate"};
    app.add_option("library", options.library, "panel library to validate");
    app.add_option("--facility", options.facility, "facility file (JSON); without one, the built-in facility");
    auto* panelDir = app.add_option("--panel-dir", options.panelDir,
                                    "folder passed to the panel (default: the facility file's, else the library's)");
    app.add_option("--filter", options.filter, "run the tests whose names match this regular expression");
    app.add_flag("--only-failed", options.onlyFailed, "report only the tests that failed");
    app.add_flag("--in-process", options.inProcess, "run every test in this process (for a debugger)");
    app.add_flag("--list", options.list, "list the tests");
    app.add_option("--json", options.json, "also write the results to this file as JSON");
    app.add_option("--repro-dir", options.reproDir, "folder for the scenarios of failed tests (default: .)");
    app.add_option("--seed", options.seed, "seed of the random operator session (default 1)");
    app.add_option("--steps", options.steps, "steps of the random operator session (default 2000)")
        ->check(CLI::Range(1, 1000000));
    app.add_option("--timeout", options.timeoutSeconds, "seconds each test may take (default 120)")
        ->check(CLI::Range(1, 86400));
    app.add_option("--child", options.child)->group("");  // a child process runs this one test
    // A path such as /data/k7_mon.dll is a file, not a Windows-style option.
    app.allow_windows_style_options(false);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? exitOk : exitError;
    }
    options.panelDirSet = panelDir->count() > 0;
    if (options.library.empty() && !options.list) {
        std::cerr << "zarn_host validate: name the panel library to validate (--help for usage)\n";
        return exitError;
    }
    if (!options.child.empty()) {
        prepareChild();
        const TestCase* test = findTest(options.child);
        int code = runOne(options, options.child, std::cout);
        std::cout.flush();
        if (!test || !test->leakCheckAtExit) quickExit(code);
        return code;
    }
    return run(options, std::cout, std::cerr);
}

}  // namespace validate
}  // namespace zarn_host
