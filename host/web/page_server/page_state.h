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

// How much of each router the state carries: every destination with its
// source names, or a summary (name, sizes, online) for the page, which
// fetches the rows it shows (router_rows.h), or whole but with its
// "sourceNames" and "destinations" left empty, to be written row by row
// (state_text.h).
enum class RouterDetail { whole, summary, rowsApart };

// The page's whole state: panels with their controls, layout and glyphs,
// routers, devices, clock, parent message, summary and the limits the page
// keeps to. Call on the panel thread.
nlohmann::json pageState(SimHost& host, const ScenarioRunner& runner, const PageExtras& extras,
                         RouterDetail detail = RouterDetail::whole);

// One router as the state gives it whole: its name, online, sources and
// source names, every destination (destinationJson); without rows, the two
// lists are left empty.
nlohmann::json routerJson(const Facility& facility, const Router& router, bool rows = true);
// One of a router's source names as "sourceNames" lists it.
nlohmann::json sourceNameJson(int32_t source, const std::string& name);
// One router's summary: device, name, online, sources and destinations as counts.
nlohmann::json routerSummaryJson(const Facility& facility, const Router& router);
// One destination: number, name, source, the source's name, who routed it
// (routedBy, "" when unrouted or not known), locked and who holds the lock
// (lockedBy), and whether the panel registered it for revertives.
nlohmann::json destinationJson(const Router& router, int32_t destination);
// A destination's last changes, oldest first: [{"what": "route", "source",
// "by", "time"} or {"what": "lock"/"unlock", "by", "time"}].
nlohmann::json historyJson(const Router& router, int32_t destination);

// A trace line as the page's entry, without its sequence number: time, the
// kind's name (for the page's colours and filters) and the text with its
// marker (at most 2000 bytes, made printable).
nlohmann::json traceEntry(int64_t time, TraceKind kind, const std::string& text);

// Hands every line of trace to add, with its kind, its text without the
// marker, and as the page's entry; a null add detaches.
void connectTrace(Trace& trace, std::function<void(TraceKind kind, const std::string& text, nlohmann::json entry)> add);

}  // namespace zarn_host
