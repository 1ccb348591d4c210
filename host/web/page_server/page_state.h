// What the page sees, as JSON: the facility and panel state, and trace lines
// with their kind. Pure projections of the host, testable without a server.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "web/http/page_limits.h"

namespace zarn_host {

// JSON text; bytes that are not UTF-8 (a panel's property, a cut-off text)
// become U+FFFD instead of failing.
std::string jsonText(const nlohmann::json& value);

// What the page's state holds beside the host and the runner.
struct PageExtras {
    std::string library;  // the panel library's path; the page shows its file name
    bool realTime = false;
    std::size_t steps = 0;                    // steps recorded for the session
    std::size_t traceLines = keptTraceLines;  // trace lines kept for the page
};

// The page's whole state: panels with their controls, layout and glyphs,
// routers (at most 512 destinations each), devices, clock, parent message,
// summary and the limits the page keeps to. Call on the panel thread.
nlohmann::json pageState(SimHost& host, const ScenarioRunner& runner, const PageExtras& extras);

// A trace line as the page's entry, without its sequence number: time, the
// kind's name (for the page's colours and filters) and the text with its
// marker (at most 2000 bytes, made printable).
nlohmann::json traceEntry(int64_t time, TraceKind kind, const std::string& text);

// Hands every line of trace to add, with its kind, its text without the
// marker, and as the page's entry; a null add detaches.
void connectTrace(Trace& trace, std::function<void(TraceKind kind, const std::string& text, nlohmann::json entry)> add);

}  // namespace zarn_host
