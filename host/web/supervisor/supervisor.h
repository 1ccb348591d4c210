// zarn_host --serve as two processes: a supervisor that keeps the HTTP server
// and the pages' event streams, and a worker (zarn_host --worker, the same
// options) that holds the facility model and the panel and serves its own
// API on a loopback port only the supervisor uses.
//
// The supervisor forwards the API to the worker (proxy.h) and follows its
// standard output, where the worker says it serves and announces each page
// step (worker_link.h, worker_follower.h). When the worker dies (a crash, an
// abort, a sanitizer report, a step that runs past the time limit) the
// supervisor tells the pages (a "fault" event: the step, the signal, the last
// commands, the end of the worker's standard error), writes the session up to
// and including the fatal step as a scenario, starts a new worker and replays
// the session without the fatal step (crash_analysis.h). After
// maxCrashesAtOneStep crashes in a row at the same step it waits for the
// panel library to be rebuilt. worker_loop.cpp runs it all: superviseServe.
#pragma once

#include <string>
#include <vector>

#include "web/supervisor/crash_analysis.h"

namespace zarn_host {

// The worker's arguments: the supervisor's (argv[0] first, left out), less
// --serve and its address, with --serve 127.0.0.1:0 --worker. --allow-remote
// stays: the facility's bridges run in the worker (its own server is on
// loopback whatever it says).
std::vector<std::string> workerArguments(const std::vector<std::string>& arguments);

}  // namespace zarn_host
