#include "web/supervisor/crash_analysis.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "model/json_input.h"
#include "platform/crash_report.h"
#include "scenario/scenario.h"
#include "text/command_text.h"
#include "web/page_server/session_sources.h"
#include "web/supervisor/worker_process.h"

namespace zarn_host {
namespace {

std::string afterPrefix(const std::string& line, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    return line.compare(0, n, prefix) == 0 ? line.substr(n) : std::string();
}

}  // namespace

std::string Crash::stepShown() const {
    return fatal.empty() ? (where.empty() ? std::string("(between steps)") : where) : fatal;
}

bool workerCrashed(const WorkerEnd& end, bool stopRequested, bool everServed) {
    if (end.stopped || (stopRequested && end.exitStatus != crashExitStatus && end.signal == 0)) return false;
    return everServed || end.served || end.signal != 0 || (end.exitStatus != 1 && end.exitStatus != 2);
}

Crash analyseCrash(const WorkerEnd& end, int stepTimeoutSeconds) {
    Crash crash;
    crash.fatal = end.running;
    crash.replay = end.session;
    if (end.replaying && end.replayed < end.replay.size()) {  // it died bringing the session back
        crash.fatal = end.replay[end.replayed];
        crash.replay.assign(end.replay.begin(), end.replay.begin() + static_cast<std::ptrdiff_t>(end.replayed));
    }
    for (const auto& line : end.errorTail) {
        std::string s = afterPrefix(line, crashStepPrefix);
        if (!s.empty()) crash.where = s;
        s = afterPrefix(line, crashCommandPrefix);
        if (!s.empty()) crash.commands.push_back(s);
        s = afterPrefix(line, crashLinePrefix);
        if (!s.empty() && crash.what.empty()) crash.what = s;
    }
    if (end.hung) {
        crash.what = "the step ran for more than " + std::to_string(stepTimeoutSeconds) + " s";
    } else if (crash.what.empty()) {
        crash.what =
            end.signal != 0 ? WorkerProcess::signalText(end.signal) : "exit status " + std::to_string(end.exitStatus);
    }
    for (const auto& line : end.errorTail) crash.stderrTail += line + "\n";
    return crash;
}

int CrashCount::count(const Crash& crash) {
    std::string key = std::to_string(crash.replay.size()) + "\n" + crash.fatal;
    crashes_ = key == lastKey_ ? crashes_ + 1 : 1;
    lastKey_ = key;
    return crashes_;
}

void CrashCount::reset() {
    crashes_ = 0;
    lastKey_.clear();
}

nlohmann::json faultReport(const Crash& crash, int crashes, const std::string& scenario) {
    std::string stepShown = crash.stepShown();
    std::string message = "the panel crashed at step \"" + printable(stepShown, 200) + "\": " + crash.what;
    bool givingUp = crashes >= maxCrashesAtOneStep;
    message += givingUp ? "; " + std::to_string(crashes) + " times in a row: waiting for a rebuilt library"
                        : "; restoring the session";
    return {{"phase", givingUp ? "waiting" : "crashed"},
            {"step", stepShown},
            {"where", crash.where},
            {"signal", crash.what},
            {"commands", crash.commands},
            {"stderr", crash.stderrTail},
            {"scenario", scenario},
            {"crashes", crashes},
            {"message", message}};
}

std::string writeCrashScenario(const HostOptions& options, const std::vector<std::string>& startup,
                               const Crash& crash) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir = options.crashDir.empty() ? fs::temp_directory_path(ec) : fs::u8path(options.crashDir);
    static int written = 0;
    fs::path path = dir / ("zarn_host-crash-" +
                           std::to_string(static_cast<long long>(
                               std::chrono::system_clock::now().time_since_epoch().count() % 1000000000)) +
                           "-" + std::to_string(++written) + ".scenario");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return "";
    file << "# A session of zarn_host --serve up to the step that crashed the panel (" << crash.what << ").\n"
         << "# zarn_host --panel LIBRARY [--facility FILE] --scenario <this file> replays it.\n"
         << sessionSources(options.panelLibrary, options.facility);
    for (const auto& name : options.offline) file << "offline " << scenarioQuoted(name) << "\n";
    if (!options.scenario.empty()) {
        std::string text, why;
        std::vector<ScenarioStep> steps;
        if (readTextFile(options.scenario, text, why) && parseScenario(text, options.scenario, steps, why)) {
            for (const auto& step : steps) file << step.source << "\n";
        }
    }
    for (const auto& line : startup) file << line << "\n";
    for (const auto& line : crash.replay) file << line << "\n";
    if (!crash.fatal.empty()) file << crash.fatal << "\n";
    return file ? path.u8string() : "";
}

}  // namespace zarn_host
