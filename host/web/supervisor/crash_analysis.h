// What the supervisor makes of a worker that died: the step that killed it,
// what killed it, the session a new worker is brought back to (without that
// step), the report the pages get, the crash's scenario file, and when to
// stop retrying. Plain functions of what the worker loop saw.
#pragma once

#include <cstddef>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run/host_app.h"

namespace zarn_host {

// After this many crashes in a row at the same step the supervisor waits for
// the panel library to be rebuilt.
constexpr int maxCrashesAtOneStep = 3;

// What the worker loop saw of a worker that ended.
struct WorkerEnd {
    int exitStatus = 0;
    int signal = 0;                    // 0: it exited
    bool hung = false;                 // the supervisor stopped a step that ran too long
    bool stopped = false;              // the supervisor ended it (closed its input) as it ends itself
    bool served = false;               // it said it serves
    std::string running;               // the step the worker announced and did not finish
    std::vector<std::string> session;  // the page's steps kept
    // Set when the worker died while the supervisor replayed steps into it:
    // the steps sent and how many of them had answered.
    bool replaying = false;
    std::vector<std::string> replay;
    std::size_t replayed = 0;
    std::deque<std::string> errorTail;  // the end of its standard error
};

struct Crash {
    std::string fatal;                  // the step that crashed it; empty between steps
    std::vector<std::string> replay;    // the session before it: what the next worker replays
    std::string what;                   // "SIGSEGV (signal 11)", "exit status 9", ...
    std::string where;                  // the crash report's step with its file:line
    std::vector<std::string> commands;  // the last commands, oldest first
    std::string stderrTail;
    // The step as the pages are told: the fatal one, else where the report
    // says, else "(between steps)".
    std::string stepShown() const;
};

// Whether the worker's end is a crash to report and recover from. Not when
// the supervisor stopped it, when it ended well or by a failed check while
// the supervisor is told to end, nor when the first worker never served and
// ended by itself with 1 or 2 (a bad option, a failed scenario): the
// supervisor then ends with the worker's status, as the host would alone.
bool workerCrashed(const WorkerEnd& end, bool stopRequested, bool everServed);

Crash analyseCrash(const WorkerEnd& end, int stepTimeoutSeconds);

// Crashes in a row at one step: the same fatal step after a session of the
// same length.
class CrashCount {
public:
    // Counts crash; the crashes in a row, this one included.
    int count(const Crash& crash);
    int crashes() const { return crashes_; }
    bool givingUp() const { return crashes_ >= maxCrashesAtOneStep; }
    // A rebuilt library: the next crash is the first.
    void reset();

private:
    int crashes_ = 0;
    std::string lastKey_;
};

// The pages' "fault" event for crash, the crashes in a row and the
// scenario written: phase, step, where, signal, commands, stderr, scenario,
// crashes and the message also printed to standard error.
nlohmann::json faultReport(const Crash& crash, int crashes, const std::string& scenario);

// Writes the session up to and including the fatal step as a scenario that
// zarn_host --scenario replays: the sources, the command line's offline
// devices and scenario, startup (the worker's first load), the session and
// the fatal step. In options.crashDir, else the temp folder; its path, or
// empty when it cannot be written.
std::string writeCrashScenario(const HostOptions& options, const std::vector<std::string>& startup, const Crash& crash);

}  // namespace zarn_host
