// zarn_host --serve as two processes: a supervisor that keeps the HTTP server
// and the pages' event streams, and a worker (zarn_host --worker, the same
// options) that holds the facility model and the panel and serves its own
// API on a loopback port only the supervisor uses.
//
// The supervisor forwards the API to the worker and follows its standard
// output, where the worker announces each page step (workerLinePrefix "run",
// "done", "kept"). When the worker dies (a crash, an abort, a sanitizer
// report, a step that runs past the time limit) the supervisor tells the
// pages (a "fault" event: the step, the signal, the last commands, the end of
// the worker's standard error), writes the session up to and including the
// fatal step as a scenario, starts a new worker and replays the session
// without the fatal step. After maxCrashesAtOneStep crashes in a row at the
// same step it waits for the panel library to be rebuilt.
#pragma once

#include <string>
#include <vector>

#include "web/page_server/worker_link.h"

namespace zarn_host {

constexpr int maxCrashesAtOneStep = 3;

// The worker's arguments: the supervisor's, less --serve and its address,
// with --serve 127.0.0.1:0 --worker.
std::vector<std::string> workerArguments(const std::vector<std::string>& arguments);

}  // namespace zarn_host
