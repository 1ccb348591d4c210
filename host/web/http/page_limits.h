// The bounds the page and both of --serve's processes keep to. The page reads
// them from the state ("limits"), so it keeps as much as the host does.
#pragma once

#include <cstddef>

namespace zarn_host {

// Trace lines the page server keeps for the page, and the page keeps itself.
constexpr std::size_t keptTraceLines = 2000;
// Steps a browser session keeps, in the worker's recorder and in the
// supervisor's copy it replays after a crash.
constexpr std::size_t keptSessionSteps = 100000;
// Rows of a router one request for rows gives at most (the page asks for no
// more).
constexpr int rowsPerRequest = 500;

}  // namespace zarn_host
