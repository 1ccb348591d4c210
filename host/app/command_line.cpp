#include "app/command_line.h"

#include <CLI/CLI.hpp>

#include "run/host_app.h"
#include "scenario/scenario_steps.h"

namespace zarn_host {
namespace {

// The other commands of the program, each with its own --help.
struct Command {
    const char* synopsis;
    const char* meaning;
};
const Command commands[] = {
    {"zarn_host validate LIB [options]", "runs the protocol test battery on a panel library"},
    {"zarn_host new-panel NAME [DIR]", "makes a new panel NAME from the installed template"},
    {"zarn_host password FILE", "writes a salted hash of the password read from standard input, for --password-file"},
};

// An option as the tables show it: "--panel LIB", "--quiet".
std::string optionSyntax(const CLI::Option& option) {
    std::string syntax = option.get_name();
    if (!option.get_option_text().empty()) syntax += " " + option.get_option_text();
    return syntax;
}

// The options a user sees: all but the hidden ones (no group).
std::vector<const CLI::Option*> shownOptions(const CLI::App& app) {
    return app.get_options([](const CLI::Option* option) { return !option->get_group().empty(); });
}

// Text made safe for roff: backslashes doubled, hyphens escaped, a leading
// dot or quote kept from starting a request.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

std::string exitStatusHelp() {
    std::string text = "Exit status:\n";
    for (const auto& status : exitStatuses()) text += scenarioHelpLine(std::to_string(status.code), status.meaning);
    return text;
}

// The program's options, bound to options. Its footer lists the commands,
// the exit statuses and the scenario steps.
std::unique_ptr<CLI::App> hostCommandLine(HostOptions& options) {
    auto app = std::make_unique<CLI::App>(
        "Simulated panel host: loads a panel library and drives it through a facility model");
    app->add_option("--panel", options.panelLibrary, "the panel library; it must export load_zarn_client_script")
        ->required()
        ->option_text("LIB");
    app->add_option("--facility", options.facility,
                    "the facility model (JSON); without it, the built-in facility in which every device exists")
        ->option_text("FILE");
    app->add_option("--scenario", options.scenario,
                    "steps to run; without it steps come from standard input (piped steps end the run with exit "
                    "status 2 at the first bad one; at a terminal a bad step is reported and the session goes on)")
        ->option_text("FILE");
    app->add_option("--panel-dir", options.panelDir,
                    "folder handed to the panel at creation (default: the facility file's folder, else the "
                    "library's)")
        ->option_text("DIR");
    app->add_option("--trace", options.traceFile, "also write the trace to FILE")->option_text("FILE");
    app->add_option("--audit", options.auditFile,
                    "append every change of the facility made from outside the panel (page, API, scenario, "
                    "controllers, consumers, backed routers) to FILE, one JSON line each")
        ->option_text("FILE");
    app->add_option("--offline", options.offline, "a device instance offline from the start (repeatable)")
        ->option_text("NAME");
    app->add_flag("--interactive", options.interactive, "read more steps from standard input after the scenario");
    app->add_flag("--expect-refusals", options.expectRefusals,
                  "refusals are counted but none fails the run (for scenarios that send bad input on purpose)");
    app->add_flag("--quiet", options.quiet,
                  "print only the end summary (and, on standard error, protocol faults, refused panel files and "
                  "crash reports)");
    app->add_option("--serve", options.serve,
                    "after the scenario, serve the panel to browsers until interrupted; host 127.0.0.1 unless "
                    "given, port 0 picks a free one")
        ->option_text("[HOST:]PORT");
    app->add_flag("--allow-remote", options.allowRemote,
                  "let --serve and the bridges listen on an address other machines reach (anyone who can reach "
                  "it and logs in operates the panel); without it such an address exits 2");
    app->add_option("--password-file", options.passwordFile,
                    "with --serve: the page's login also takes the password whose hash zarn_host password wrote "
                    "to FILE (and asks for a login even on loopback)")
        ->option_text("FILE");
    app->add_option("--tls-cert", options.tlsCert,
                    "with --serve: serve HTTPS with this PEM certificate (chain); needs --tls-key")
        ->option_text("FILE");
    app->add_option("--tls-key", options.tlsKey, "with --serve: the PEM private key of --tls-cert")
        ->option_text("FILE");
    app->add_flag("--insecure", options.insecure,
                  "with --serve beyond loopback: serve plain HTTP without --tls-cert (the login crosses the "
                  "network in the clear); without it such a start exits 2");
    app->add_option("--crash-dir", options.crashDir,
                    "with --serve: where the scenario of a session that crashed the panel is written (default: "
                    "the temp folder)")
        ->option_text("DIR");
    app->add_option("--step-timeout", options.stepTimeoutSeconds,
                    "with --serve: seconds a served step may run before the panel counts as hung (default 10, at "
                    "most 3600)")
        ->check(CLI::Range(1, 3600))
        ->option_text("S");
    // The supervisor's worker: the served panel in a process of its own.
    app->add_flag("--worker", options.worker)->group("");
    std::string footer = "Commands (each with its own --help):\n";
    for (const auto& command : commands) footer += scenarioHelpLine(command.synopsis, command.meaning);
    footer += "\n" + exitStatusHelp();
    footer +=
        "\nScenario steps, one a line (\"double quotes\" group blanks; # starts a comment):\n" + scenarioStepsHelp();
    app->footer(footer);
    app->set_version_flag("--version", "zarn_host " ZARN_VERSION, "print the version and exit");
    // A path such as /data/k7_mon.dll is a file, not a Windows-style option.
    app->allow_windows_style_options(false);
    return app;
}

}  // namespace

const std::vector<ExitStatus>& exitStatuses() {
    static const std::vector<ExitStatus> statuses = {
        {0, "every expectation held and the panel kept the protocol"},
        {1,
         "an expectation failed, the host found a protocol fault (a reply handed back twice or never, a "
         "pointer it never gave, a malformed command, a missing or repeated \"AS\"), refused a panel file "
         "a PS named, or refused a command of a kind that fails the run and no expect refused step expected it "
         "(each counted in the end summary, the reasons on standard error even with --quiet)"},
        {2, "usage, load and file errors"},
        {3, "the panel crashed the process (the crash report is on standard error)"},
    };
    return statuses;
}

int parseHostCommandLine(int argc, const char* const* argv, HostOptions& options) {
    auto app = hostCommandLine(options);
    try {
        app->parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app->exit(e) == 0 ? 0 : 2;
    }
    options.panelDirSet = app->get_option("--panel-dir")->count() > 0;
    return -1;
}

std::string manPage(const std::string& manTemplate, const std::string& version) {
    HostOptions options;
    auto app = hostCommandLine(options);
    std::string synopsis = ".B zarn_host\n";
    for (const CLI::Option* option : shownOptions(*app)) {
        if (option->get_name() == "--version" || option->get_name() == "--help") continue;
        std::string entry = option->get_required() ? "" : "[";
        entry += "\\fB" + roff(option->get_name()) + "\\fR";
        if (!option->get_option_text().empty()) entry += " \\fI" + roff(option->get_option_text()) + "\\fR";
        entry += option->get_required() ? "" : "]";
        synopsis += entry + "\n";
    }
    for (const auto& command : commands) {
        // "zarn_host validate" in bold, then its arguments.
        std::string text = command.synopsis;
        std::size_t cut = text.find(' ', text.find(' ') + 1);
        synopsis += ".br\n.B " + roff(text.substr(0, cut)) + "\n" + roff(text.substr(cut + 1)) + "\n";
    }
    synopsis += ".br\n.B zarn_host \\-\\-version\n";
    std::string optionsText;
    for (const CLI::Option* option : shownOptions(*app)) {
        optionsText += ".TP\n.B " + roff(option->get_name());
        if (!option->get_option_text().empty()) optionsText += " \\fI" + roff(option->get_option_text()) + "\\fR";
        optionsText += "\n" + roff(option->get_description()) + "\n";
    }
    std::string statuses;
    for (const auto& status : exitStatuses()) {
        statuses += ".TP\n.B " + std::to_string(status.code) + "\n" + roff(status.meaning) + "\n";
    }
    std::string page = replaced(manTemplate, "@SYNOPSIS@\n", synopsis);
    page = replaced(page, "@OPTIONS@\n", optionsText);
    page = replaced(page, "@EXIT_STATUS@\n", statuses);
    return replaced(page, "@PROJECT_VERSION@", version);
}

std::string optionTableMarkdown() {
    HostOptions options;
    auto app = hostCommandLine(options);
    std::string table;
    for (const CLI::Option* option : shownOptions(*app)) {
        table += "| `" + optionSyntax(*option) + "` | " + option->get_description() + " |\n";
    }
    return table;
}

std::string exitStatusTableMarkdown() {
    std::string table;
    for (const auto& status : exitStatuses()) {
        table += "| " + std::to_string(status.code) + " | " + status.meaning + " |\n";
    }
    return table;
}

}  // namespace zarn_host
