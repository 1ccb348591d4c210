// The page's state and trace entries as JSON, projected from a host without
// an HTTP server: each field the page reads, written out.
#include "web/page_server/page_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host_test_support.h"

namespace {

using json = nlohmann::json;
using zarn_host::Facility;
using zarn_host::ScenarioRunner;
using zarn_host::SimHost;
using zarn_host_test::ScriptedPanel;
using zarn_host_test::TempFile;

const char* const facilityText = R"({
  "instances": [{"name": "RTR", "device": 7}, {"name": "DB", "device": 9, "offset": 3}],
  "routers": [{"device": 7, "sources": 8, "destinations": 2, "sourceNames": {"3": "Cam 3"},
               "destinationNames": {"2": "Mon B"}, "crosspoints": {"1": 3, "2": 4}, "locked": [2]}],
  "offline": ["DB"]
})";

const char* const panelText = R"({"title": "Bay", "glyphs": {"tick": "+"}, "controls": [
  {"id": "Src", "kind": "list", "label": "Sources", "properties": {"value": "\u00e9t\u00e9"},
   "entries": [{"text": "Cam 3", "value": "3"}]}
]})";

struct Session {
    Session()
        : host(facility()),
          runner(
              host, [](std::string&) { return false; }, err) {}
    static Facility facility() {
        Facility f;
        std::string why;
        EXPECT_TRUE(Facility::parse(facilityText, "state.json", f, why)) << why;
        return f;
    }
    SimHost host;
    std::ostringstream err;
    ScenarioRunner runner;
};

TEST(page_state, projects_facility_panel_clock_and_summary) {
    Session s;
    TempFile panelFile("state.zarn_ui", panelText);
    auto* panel = new ScriptedPanel;  // the host deletes it on unload
    panel->onStart = [&](ScriptedPanel& p) { p.send("PS '1' '" + panelFile.path() + "'"); };
    zarn_host_test::nextPanel() = panel;
    ASSERT_TRUE(s.host.load(zarn_host_test::loadScriptedPanel, "", "scripted"));

    json state = zarn_host::pageState(s.host, s.runner, {"/builds/dev/libk7_mon.so", true, 12});

    EXPECT_EQ(state["loaded"], true);
    EXPECT_EQ(state["library"], "libk7_mon.so");
    EXPECT_EQ(state["routers"], json::parse(R"([{"device": 7, "name": "RTR", "online": true, "sources": 8,
        "sourceNames": [{"number": 3, "name": "Cam 3"}],
        "destinations": [
          {"number": 1, "name": "", "source": 3, "sourceName": "Cam 3", "routedBy": "", "locked": false, "lockedBy": "",
           "registered": false},
          {"number": 2, "name": "Mon B", "source": 4, "sourceName": "4", "routedBy": "", "locked": true,
           "lockedBy": "facility file", "registered": false}]}])"));
    EXPECT_EQ(state["devices"], json::parse(R"([{"name": "RTR", "device": 7, "online": true},
                                                 {"name": "DB", "device": 9, "online": false}])"));
    ASSERT_EQ(state["panels"].size(), 1u);
    const json& shown = state["panels"][0];
    EXPECT_EQ(shown["id"], "1");
    EXPECT_EQ(shown["title"], "Bay");
    EXPECT_EQ(shown["glyphs"], json::parse(R"({"tick": "+"})"));
    EXPECT_EQ(shown["controls"], json::parse(R"([{"id": "Src", "kind": "list", "label": "Sources",
        "properties": [["value", "\u00e9t\u00e9"]], "entries": [{"text": "Cam 3", "value": "3"}]}])"));
    EXPECT_EQ(state["clock"], json::parse(R"({"now": 0, "realTime": true, "timers": 0})"));
    EXPECT_EQ(state["parent"], json::parse(R"({"sent": false, "reply": null})"));
    EXPECT_EQ(state["summary"]["steps"], 12);
    EXPECT_EQ(state["summary"]["commands"], 1);
    EXPECT_EQ(state["summary"]["faults"], json::array());
    EXPECT_EQ(state["summary"]["refusals"], 0);
    EXPECT_EQ(state["summary"]["failingRefusals"], 0);
}

TEST(page_state, without_a_panel_the_state_says_so) {
    Session s;
    json state = zarn_host::pageState(s.host, s.runner, {"", false, 0});
    EXPECT_EQ(state["loaded"], false);
    EXPECT_EQ(state["panels"], json::array());
    EXPECT_EQ(state["library"], "");
}

// The page keeps to the host's bounds, which it reads from the state.
TEST(page_state, the_state_gives_the_limits_the_page_keeps_to) {
    Session s;
    json state = zarn_host::pageState(s.host, s.runner, {"C:\\panels\\k7.dll", false, 0});
    EXPECT_EQ(state["library"], "k7.dll");
    EXPECT_EQ(state["limits"], json({{"traceLines", zarn_host::keptTraceLines},
                                     {"sessionSteps", zarn_host::keptSessionSteps},
                                     {"rowsPerRequest", zarn_host::rowsPerRequest}}));
    state = zarn_host::pageState(s.host, s.runner, {"", false, 0, 64});
    EXPECT_EQ(state["limits"]["traceLines"], 64);
}

TEST(page_state, a_trace_entry_takes_its_kind_from_the_line_not_from_the_text) {
    using zarn_host::TraceKind;
    const struct {
        TraceKind kind;
        const char* text;
        const char* name;
        const char* shown;
    } cases[] = {
        {TraceKind::picture, "== looks like a step", "picture", "== looks like a step"},
        {TraceKind::step, "load", "step", "== load"},
        {TraceKind::in, "button 1/Sources", "in", "<- button 1/Sources"},
        {TraceKind::out, "RC 7 1 3", "out", "-> RC 7 1 3"},
        {TraceKind::refusal, "refused: locked", "refusal", "   ! refused: locked"},
        {TraceKind::note, "!! FAULT in a note's text", "note", "!! FAULT in a note's text"},
    };
    for (const auto& c : cases) {
        json entry = zarn_host::traceEntry(5, c.kind, c.text);
        EXPECT_EQ(entry["kind"], c.name) << c.text;
        EXPECT_EQ(entry["text"], c.shown) << c.text;
    }
}

TEST(page_state, a_trace_entry_is_bounded_and_valid_json_text) {
    json entry = zarn_host::traceEntry(40, zarn_host::TraceKind::note, std::string(3000, 'x'));
    EXPECT_EQ(entry["time"], 40);
    EXPECT_EQ(entry["kind"], "note");
    const std::string text = entry["text"].get<std::string>();
    EXPECT_EQ(text, std::string(2000, 'x') + "...(3000 bytes)");
    // A byte that is not UTF-8 still gives JSON text.
    const std::string dumped = zarn_host::jsonText(json{{"text", std::string("a\xff"
                                                                             "b")}});
    EXPECT_EQ(json::parse(dumped)["text"],
              "a\xef\xbf\xbd"
              "b");
}

}  // namespace
