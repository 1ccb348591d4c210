#include <gtest/gtest.h>

#include "model/facility.h"
#include "model/panel_model.h"
#include "model/renderer.h"
#include "sim/virtual_clock.h"

using namespace zarn_host;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(facility, bad_files_name_the_line_or_the_path_at_fault) {
    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {"{\n  \"instances\": [\n    {\"name\": \"A\" \"device\": 1}\n  ]\n}", "f.json:3:"},
        {"", "f.json:1:1: malformed JSON"},
        {"[]", "/: expected an object"},
        {"{\"routers\": [{\"device\": 1, \"sources\": 0, \"destinations\": 4}]}", "/routers/0/sources"},
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"crosspoints\": {\"5\": 1}}]}",
         "/routers/0/crosspoints/5: destination out of range"},
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"sourceNames\": {\"x\": \"a\"}}]}",
         "is not an integer"},
        {"{\"instances\": [{\"name\": \"A\", \"device\": 4294967297}]}", "integer out of range"},
        {"{\"instances\": [{\"name\": \"A\", \"device\": 0}]}", "device 0 means none"},
        {"{\"offline\": [\"nobody\"]}", "/offline/0: no such device instance"},
        {"{\"rooters\": []}", "/rooters: unknown key"},
        // A NUL would cut the name short in the revertive record.
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"sourceNames\": {\"1\": "
         "\"a\\u0000b\"}}]}",
         "holds a NUL byte"},
        // Name ranges stay inside the router and run forwards.
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"sourceNames\": {\"1-5\": "
         "\"S{n}\"}}]}",
         "/routers/0/sourceNames/1-5: index outside 1..4"},
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"sourceNames\": {\"3-2\": "
         "\"S\"}}]}",
         "index outside 1..4"},
        {"{\"routers\": [{\"device\": 1, \"sources\": 4, \"destinations\": 4, \"sourceNames\": {\"2-\": "
         "\"S\"}}]}",
         "is not an integer"},
    };
    for (const auto& c : cases) {
        Facility f;
        std::string error;
        EXPECT_FALSE(Facility::parse(c.text, "f.json", f, error)) << c.text;
        EXPECT_TRUE(contains(error, c.error)) << "error \"" << error << "\" lacks \"" << c.error << "\"";
    }
}

// A range of names by rule, "{n}" its number, and a single name after it
// overriding one; the routes made are kept only while recorded.
TEST(facility, name_ranges_and_the_routes_made) {
    Facility f;
    std::string error;
    ASSERT_TRUE(Facility::parse(R"({"routers": [{"device": 7, "sources": 4096, "destinations": 3,
        "sourceNames": {"1-4096": "CAM {n} HD", "7": "Seven", "4000-4001": "Spare"},
        "destinationNames": {"2-3": "MON"}}]})",
                                "f.json", f, error))
        << error;
    const Router* r = f.router(7);
    EXPECT_EQ(r->sourceText(1), "CAM 1 HD");
    EXPECT_EQ(r->sourceText(4096), "CAM 4096 HD");
    EXPECT_EQ(r->sourceText(7), "Seven");
    EXPECT_EQ(r->sourceText(4001), "Spare");
    EXPECT_EQ(r->destinationNames.count(1), 0u);
    EXPECT_EQ(r->destinationNames.at(3), "MON");
    f.route(7, 1, 2);
    EXPECT_TRUE(f.takeRoutesMade().empty());
    f.recordRoutes(true);
    f.route(7, 1, 2);
    f.route(7, 1, 2);
    f.route(7, 9, 2);  // refused: not made
    f.route(7, 3, 5);
    auto made = f.takeRoutesMade();
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[2].destination, 3);
    EXPECT_EQ(made[2].source, 5);
    EXPECT_TRUE(f.takeRoutesMade().empty());
}

TEST(facility, routes_respect_ranges_locks_and_offline_devices) {
    Facility f;
    std::string error;
    ASSERT_TRUE(Facility::parse(R"({"instances": [{"name": "R", "device": 7}],
        "routers": [{"device": 7, "sources": 4, "destinations": 2, "sourceNames": {"3": "Cam 3"},
                     "crosspoints": {"1": 3}, "locked": [2]}]})",
                                "f.json", f, error))
        << error;
    EXPECT_EQ(f.route(7, 1, 4), RouteResult::done);
    EXPECT_EQ(f.route(7, 2, 1), RouteResult::locked);
    EXPECT_EQ(f.route(7, 3, 1), RouteResult::badDestination);
    EXPECT_EQ(f.route(7, 1, 5), RouteResult::badSource);
    EXPECT_EQ(f.route(8, 1, 1), RouteResult::unknownDevice);
    f.setOnline(7, false);
    EXPECT_EQ(f.route(7, 1, 1), RouteResult::offline);
    const Router* r = f.router(7);
    EXPECT_EQ(r->crosspoints[1], 4);
    EXPECT_EQ(r->crosspoints[2], 0);
    EXPECT_EQ(r->sourceText(3), "Cam 3");
    EXPECT_EQ(r->sourceText(4), "4");
    EXPECT_EQ(f.findDevice("R"), 7);
    EXPECT_EQ(f.findDevice("7"), 7);
    EXPECT_FALSE(f.findDevice("8"));
}

const char* const alarmPanel = R"json({
  "title": "Alarms",
  "glyphs": {"RZ_Tally_Red": "(*)"},
  "controls": [
    {"id": "alm_2", "kind": "alarm", "label": "Fan", "properties": {"value": "1", "alarm": ""}},
    {"id": "Sources", "kind": "list", "entries": [{"text": "Cam 1", "value": 11}, {"text": "VT", "value": "12"}],
     "properties": {"select": "1"}},
    {"id": "alm_1", "kind": "alarm", "label": "PSU", "properties": {"value": "3"}},
    {"id": "Lamp", "kind": "indicator", "properties": {"statesheet": "RZ_Tally_Red"}},
    {"id": "VidLevel", "defaultProperty": "pixmap"}
  ]
})json";

TEST(panel_model, lists_ids_in_panel_order_and_reports_properties) {
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(alarmPanel, "p.zarn_ui", p, error)) << error;
    EXPECT_EQ(p.listIds("alm_"), "alm_2,alm_1");
    EXPECT_EQ(p.listIds("zzz"), "");
    EXPECT_EQ(p.listIds(""), "alm_2,Sources,alm_1,Lamp,VidLevel");
    Control* alarm = p.control("alm_2");
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->allProperties(), "value=1\nalarm=");
    alarm->setProperty("alarm", "ack");
    alarm->setProperty("colour", "red");
    EXPECT_EQ(alarm->allProperties(), "value=1\nalarm=ack\ncolour=red");
    const Control* list = p.control("Sources");
    EXPECT_EQ(list->findEntry("VT"), 1u);
    EXPECT_EQ(list->findEntry("11"), 0u);
    EXPECT_FALSE(list->findEntry("nothing"));
}

TEST(panel_model, bad_panel_files_are_refused) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"{\"controls\": [\n{\"id\": \"a\"},\n{\"id\": \"a\"}]}", "listed twice"},
        {"{\"controls\": [{\"id\": \"a,b\"}]}", "comma in control id"},
        {"{\"controls\": [{\"id\": \"\"}]}", "empty control id"},
        {"{\"controls\": [{\"id\": \"a\"}], \"layout\": [[\"b\"]]}", "/layout/0/0: no control \"b\""},
        {"{\"controls\": [{\"id\": \"l\", \"entries\": [{\"text\": \"x\"}]}]}", "needs \"text\" and \"value\""},
        {"{\"controls\": [\n{\"id\": \"a\",}\n]}", "p.zarn_ui:2:"},
        {"{}", "missing \"controls\""},
    };
    for (const auto& c : cases) {
        Panel p;
        std::string error;
        EXPECT_FALSE(Panel::parse(c.text, "p.zarn_ui", p, error)) << c.text;
        EXPECT_TRUE(contains(error, c.error)) << "error \"" << error << "\" lacks \"" << c.error << "\"";
    }
}

TEST(renderer, draws_every_control_of_a_panel_without_layout) {
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(alarmPanel, "p.zarn_ui", p, error)) << error;
    p.id = "1";
    std::string picture = renderPanel(p);
    EXPECT_TRUE(contains(picture, "panel 1: Alarms")) << picture;
    EXPECT_TRUE(contains(picture, "Fan value=1 alarm=")) << picture;
    EXPECT_TRUE(contains(picture, "PSU value=3")) << picture;
    EXPECT_TRUE(contains(picture, "(*)")) << picture;      // the indicator's state sheet glyph
    EXPECT_TRUE(contains(picture, "> 12 VT")) << picture;  // the selected list entry
    EXPECT_TRUE(contains(picture, "  11 Cam 1")) << picture;
}

TEST(virtual_clock, ticks_come_in_due_order_and_repeat_until_stopped) {
    VirtualClock clock;
    clock.start(1, 100);
    clock.start(2, 50);
    std::vector<std::pair<int64_t, int32_t>> ticks;
    while (auto id = clock.takeDueTick(200)) ticks.emplace_back(clock.now(), *id);
    // At 100 both are due: timer 1 was scheduled (at 0) before timer 2's second tick (at 50).
    std::vector<std::pair<int64_t, int32_t>> expected{{50, 2}, {100, 1}, {100, 2}, {150, 2}, {200, 1}, {200, 2}};
    EXPECT_EQ(ticks, expected);
    clock.start(1, 30);  // restart from now
    EXPECT_TRUE(clock.stop(2));
    EXPECT_FALSE(clock.stop(2));
    EXPECT_FALSE(clock.takeDueTick(229));
    EXPECT_EQ(clock.takeDueTick(230), 1);
    clock.advanceTo(100);  // never back
    EXPECT_EQ(clock.now(), 230);
}

}  // namespace
