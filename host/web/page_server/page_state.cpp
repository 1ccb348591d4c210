#include "web/page_server/page_state.h"

#include <nlohmann/json.hpp>

#include "text/command_text.h"
#include "web/http/page_limits.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;

constexpr std::size_t maxTraceLineChars = 2000;

json panelJson(const Panel& panel) {
    json controls = json::array();
    for (const auto& c : panel.controls) {
        json properties = json::array();
        for (const auto& p : c.properties) properties.push_back({p.first, p.second});
        json entries = json::array();
        for (const auto& e : c.entries) entries.push_back({{"text", e.text}, {"value", e.value}});
        controls.push_back(
            {{"id", c.id}, {"kind", c.kind}, {"label", c.label}, {"properties", properties}, {"entries", entries}});
    }
    json layout = json::array();
    for (const auto& row : panel.layout) {
        json cells = json::array();
        for (const auto& cell : row) cells.push_back({{"control", cell.control}, {"text", cell.text}});
        layout.push_back(cells);
    }
    json glyphs = json::object();
    for (const auto& g : panel.glyphs) glyphs[g.first] = g.second;
    return {{"id", panel.id},       {"title", panel.title}, {"hint", panel.hint}, {"file", shownFileName(panel.file)},
            {"controls", controls}, {"layout", layout},     {"glyphs", glyphs}};
}

std::string instanceName(const Facility& facility, int32_t device) {
    for (const auto& i : facility.instances()) {
        if (i.device == device) return i.name;
    }
    return std::to_string(device);
}

}  // namespace

json destinationJson(const Router& router, int32_t d) {
    int32_t source = router.crosspoints[static_cast<std::size_t>(d)];
    auto name = router.destinationNames.find(d);
    auto lock = router.locked.find(d);
    const Origin* routedBy = source == 0 ? nullptr : router.routedBy(d);
    return {{"number", d},
            {"name", name == router.destinationNames.end() ? "" : name->second},
            {"source", source},
            {"sourceName", source == 0 ? "" : router.sourceText(source)},
            {"routedBy", routedBy ? describe(*routedBy) : ""},
            {"locked", lock != router.locked.end()},
            {"lockedBy", lock != router.locked.end() ? describe(lock->second) : ""},
            {"registered", router.registered(d)}};
}

json historyJson(const Router& router, int32_t d) {
    json list = json::array();
    auto found = router.history.find(d);
    if (found == router.history.end()) return list;
    static const char* const words[] = {"route", "lock", "unlock"};
    for (const auto& c : found->second) {
        json change{{"what", words[static_cast<int>(c.what)]}, {"by", describe(c.origin)}, {"time", c.time}};
        if (c.what == DestinationChange::What::route) change["source"] = c.source;
        list.push_back(std::move(change));
    }
    return list;
}

json sourceNameJson(int32_t source, const std::string& name) {
    return {{"number", source}, {"name", name}};
}

json routerJson(const Facility& facility, const Router& router, bool rows) {
    json destinations = json::array();
    json sources = json::array();
    if (rows) {
        for (int32_t d = 1; d <= router.destinations; ++d) destinations.push_back(destinationJson(router, d));
        for (const auto& s : router.sourceNames) sources.push_back(sourceNameJson(s.first, s.second));
    }
    return {{"device", router.device},
            {"name", instanceName(facility, router.device)},
            {"online", facility.online(router.device)},
            {"sources", router.sources},
            {"sourceNames", sources},
            {"destinations", destinations}};
}

json routerSummaryJson(const Facility& facility, const Router& router) {
    return {{"device", router.device},
            {"name", instanceName(facility, router.device)},
            {"online", facility.online(router.device)},
            {"sources", router.sources},
            {"destinationCount", router.destinations}};
}

std::string jsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json pageState(SimHost& host, const ScenarioRunner& runner, const PageExtras& extras, RouterDetail detail) {
    json panels = json::array();
    for (const auto& entry : host.panels()) panels.push_back(panelJson(entry.second));
    const Facility& facility = host.facility();
    json routers = json::array();
    for (const auto& entry : facility.routers()) {
        routers.push_back(detail == RouterDetail::summary
                              ? routerSummaryJson(facility, entry.second)
                              : routerJson(facility, entry.second, detail == RouterDetail::whole));
    }
    json devices = json::array();
    for (const auto& i : facility.instances()) {
        devices.push_back({{"name", i.name}, {"device", i.device}, {"online", facility.online(i.device)}});
    }
    json faults = json::array();
    for (const auto& f : host.faults()) faults.push_back(printable(f.text, 400));
    const auto& reply = runner.lastReply();
    return {
        {"loaded", host.loaded()},
        {"library", shownFileName(extras.library)},
        {"panels", panels},
        {"routers", routers},
        {"devices", devices},
        {"clock",
         {{"now", host.clock().now()}, {"realTime", extras.realTime}, {"timers", host.clock().runningCount()}}},
        {"parent", {{"sent", runner.parentSent()}, {"reply", reply ? json(*reply) : json(nullptr)}}},
        {"summary",
         {{"commands", host.commandCount()},
          {"expectations", runner.expectationsMet()},
          {"faults", faults},
          {"refusals", host.refusalCounts().total()},
          {"failingRefusals", host.failingSoFar()},
          {"steps", extras.steps}}},
        {"limits",
         {{"traceLines", extras.traceLines}, {"sessionSteps", keptSessionSteps}, {"rowsPerRequest", rowsPerRequest}}}};
}

json traceEntry(int64_t time, TraceKind kind, const std::string& text) {
    return {{"time", time},
            {"kind", traceKindName(kind)},
            {"text", printable(traceMarker(kind) + text, maxTraceLineChars)}};
}

void connectTrace(Trace& trace, std::function<void(TraceKind kind, const std::string& text, json entry)> add) {
    if (!add) {
        trace.setSink(nullptr);
        return;
    }
    trace.setSink([add = std::move(add)](int64_t time, TraceKind kind, const std::string& text) {
        add(kind, text, traceEntry(time, kind, text));
    });
}

}  // namespace zarn_host
