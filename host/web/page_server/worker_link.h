// What a worker (zarn_host --serve ... --worker) tells its supervisor on its
// standard output, beside its own lines: that it serves, on which loopback
// port, and each step the page runs. One writer (workerLine, used by the
// worker) and one reader (readWorkerLine, used by the supervisor), so the two
// processes cannot drift apart. The worker prints no sentences for people:
// the supervisor says where the page is served.
#pragma once

#include <string>

namespace zarn_host {

struct WorkerMessage {
    enum class Kind {
        output,     // not a message: one of the worker's own lines, passed on as it is
        malformed,  // looks like a message but is not one; dropped
        ready,      // serves its API on port
        stepRun,    // the page's step is about to run
        stepDone,   // it ran (well or not)
        stepKept,   // the session keeps it (a replayed step is kept again)
    };
    Kind kind = Kind::output;
    int port = 0;      // ready: 1 to 65535
    std::string step;  // stepRun, stepDone, stepKept: the step's line, on one line
};

// What the supervisor writes on a worker's standard input to have it write
// its crash report (the step, the last commands) and end, as for SIGABRT: a
// worker whose step runs past the time limit, where there are no signals.
constexpr const char* workerInterruptLine = "@zarn-supervisor interrupt";

// The line (without its line end) that carries message; Kind::output gives
// message.step unchanged.
std::string workerLine(const WorkerMessage& message);

// What a line of the worker's standard output says.
WorkerMessage readWorkerLine(const std::string& line);

// The environment variable in which the supervisor hands its worker the
// token that the worker's API asks of every request (the environment, not the
// command line, which every user of the machine can read).
extern const char* const workerTokenVariable;

// The worker's token from the environment; empty when not given.
std::string workerLoginToken();

}  // namespace zarn_host
