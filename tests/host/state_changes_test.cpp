// The page's state as changes: what one publication says beside the last,
// the router rows the page fetches, and how the event streams hand out the
// full state and the changes after it.
#include "web/page_server/state_changes.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "web/page_server/page_events.h"
#include "web/page_server/router_rows.h"

namespace {

using json = nlohmann::json;
using zarn_host::Facility;
using zarn_host::PageEvents;
using zarn_host::RowParams;
using zarn_host::RowQuery;
using zarn_host::StateChanges;

Facility facility() {
    Facility f;
    std::string why;
    EXPECT_TRUE(Facility::parse(R"({
      "instances": [{"name": "RTR", "device": 7}, {"name": "BIG", "device": 8}],
      "routers": [{"device": 7, "sources": 8, "destinations": 12, "sourceNames": {"3": "Cam 3"},
                   "destinationNames": {"2": "Mon B", "10": "Mon 10", "11": "Desk"}, "crosspoints": {"1": 3}},
                  {"device": 8, "sources": 600, "destinations": 600}]
    })",
                                "changes.json", f, why))
        << why;
    return f;
}

json view(const std::string& clock, const std::string& mon) {
    return {{"clock", {{"now", clock}}},
            {"panels", json::array({{{"id", "1"},
                                     {"title", "Bay"},
                                     {"controls", json::array({{{"id", "Mon"}, {"properties", {{"text", mon}}}},
                                                               {{"id", "Src"}, {"properties", json::array()}}})}}})}};
}

TEST(state_changes, the_first_diff_has_everything_then_only_what_changed) {
    Facility f = facility();
    StateChanges changes;
    json first = changes.diff(f, view("0", "a"));
    EXPECT_EQ(first["set"]["clock"], json({{"now", "0"}}));
    EXPECT_EQ(first["set"]["panels"].size(), 1u);
    EXPECT_EQ(first["reload"], json({7, 8}));
    EXPECT_TRUE(changes.diff(f, view("0", "a")).is_null());

    // One route: one row, nothing of the other router, nothing else.
    ASSERT_EQ(f.route(7, 2, 3), zarn_host::RouteResult::done);
    EXPECT_EQ(changes.diff(f, view("0", "a")),
              json::parse(R"({"rows": [{"device": 7, "number": 2, "name": "Mon B", "source": 3, "sourceName": "Cam 3",
                                       "routedBy": "scenario", "locked": false, "lockedBy": "",
                                       "registered": false}]})"));
    // The same route made again by someone else: the row, with who made it.
    ASSERT_EQ(f.route(7, 2, 3, zarn_host::Origin::controller(-1, "127.0.0.1:4001")), zarn_host::RouteResult::done);
    json again = changes.diff(f, view("0", "a"));
    ASSERT_EQ(again["rows"].size(), 1u);
    EXPECT_EQ(again["rows"][0]["routedBy"], "controller at 127.0.0.1:4001");

    // A lock and a control's property: the row, that control only, the key that changed.
    f.router(8)->locked[600] = zarn_host::LockOwner{};
    json next = changes.diff(f, view("5", "b"));
    EXPECT_EQ(next["rows"].size(), 1u);
    EXPECT_EQ(next["rows"][0]["locked"], true);
    EXPECT_EQ(next["rows"][0]["device"], 8);
    EXPECT_EQ(next["set"], json({{"clock", {{"now", "5"}}}}));
    EXPECT_EQ(next["controls"],
              json::parse(R"([{"panel": "1", "control": {"id": "Mon", "properties": {"text": "b"}}}])"));

    // The lock changing hands alone is a change of the row: who holds it.
    f.router(8)->locked[600] = zarn_host::LockOwner::controller(12);
    next = changes.diff(f, view("5", "b"));
    ASSERT_EQ(next["rows"].size(), 1u);
    EXPECT_EQ(next["rows"][0]["lockedBy"], "controller 12");
}

TEST(state_changes, a_panel_that_changed_shape_is_sent_whole_and_many_rows_become_a_reload) {
    Facility f = facility();
    StateChanges changes;
    changes.diff(f, view("0", "a"));
    json other = view("0", "a");
    other["panels"][0]["controls"].erase(1);
    json next = changes.diff(f, other);
    EXPECT_EQ(next["set"]["panels"], other["panels"]);
    EXPECT_FALSE(next.contains("controls"));

    for (int32_t d = 1; d <= 300; ++d) f.route(8, d, 1);
    f.route(7, 5, 1);
    next = changes.diff(f, other);
    EXPECT_EQ(next["reload"], json({8}));
    ASSERT_EQ(next["rows"].size(), 1u);
    EXPECT_EQ(next["rows"][0]["device"], 7);
}

TEST(router_rows, a_window_of_the_rows_that_match) {
    Facility f = facility();
    const zarn_host::Router& r = *f.router(7);
    const struct {
        const char* filter;
        bool inUse;
        int32_t from, count;
        int32_t total;
        std::vector<int32_t> numbers;
        int32_t source;
    } cases[] = {
        {"", false, 0, 3, 12, {1, 2, 3}, 0},  {"", false, 10, 50, 12, {11, 12}, 0},
        {"", false, 40, 5, 12, {}, 0},        {"1", false, 0, 50, 4, {1, 10, 11, 12}, 0},  // numbers that start with 1
        {"mon", false, 0, 50, 2, {2, 10}, 0},                                              // names, without case
        {"DESK", false, 0, 50, 1, {11}, 0},   {"", true, 0, 50, 4, {1, 2, 10, 11}, 0},     // named or routed
        {"mon", true, 1, 50, 2, {10}, 0},     {"nothing", false, 0, 50, 0, {}, 0},
        // Where a source is used: the destinations routed from it, with the filter too.
        {"", false, 0, 50, 2, {1, 10}, 3},    {"mon", true, 0, 50, 1, {10}, 3},
        {"", false, 0, 50, 0, {}, 4},         {"", false, 0, 50, 0, {}, 9},  // none, or past the last source
    };
    Facility routed = facility();
    ASSERT_EQ(routed.route(7, 10, 3), zarn_host::RouteResult::done);
    for (const auto& c : cases) {
        RowQuery q;
        q.device = 7;
        q.filter = c.filter;
        q.inUse = c.inUse;
        q.source = c.source;
        q.from = c.from;
        q.count = c.count;
        json rows = zarn_host::routerRows(c.source ? *routed.router(7) : r, q);
        EXPECT_EQ(rows["total"], c.total) << c.filter;
        std::vector<int32_t> numbers;
        for (const auto& row : rows["rows"]) numbers.push_back(row["number"].get<int32_t>());
        EXPECT_EQ(numbers, c.numbers) << c.filter << " from " << c.from;
    }
    json sources = zarn_host::sourceNames(r);
    EXPECT_EQ(sources["names"].size(), 8u);
    EXPECT_EQ(sources["names"][2], "Cam 3");
    EXPECT_EQ(sources["names"][0], "");
}

TEST(router_rows, parameters_out_of_shape_are_refused) {
    const std::string good = "7", junk = "x7", minus = "-1", big = "501", yes = "yes", one = "1", zero = "0";
    const std::string longFilter(RowQuery::maxFilterBytes + 1, 'a');
    const struct {
        RowParams given;
        bool ok;
    } cases[] = {
        {{&good}, true},
        {{nullptr}, false},
        {{&junk}, false},
        {{&good, &minus}, false},
        {{&good, &one, &big}, false},
        {{&good, &zero, &zero}, true},
        {{&good, nullptr, nullptr, &longFilter}, false},
        {{&good, nullptr, nullptr, nullptr, &yes}, false},
        {{&good, nullptr, nullptr, nullptr, &one}, true},
        {{&good, nullptr, nullptr, nullptr, nullptr, &one}, true},
        {{&good, nullptr, nullptr, nullptr, nullptr, &zero}, false},
        {{&good, nullptr, nullptr, nullptr, nullptr, &junk}, false},
    };
    int i = 0;
    for (const auto& c : cases) {
        RowQuery q;
        std::string why;
        EXPECT_EQ(zarn_host::parseRowQuery(c.given, q, why), c.ok) << "case " << i;
        EXPECT_EQ(why.empty(), c.ok) << "case " << i;
        ++i;
    }
}

// The events one write of a stream holds, by name.
std::vector<std::string> eventNames(const std::string& out) {
    std::vector<std::string> names;
    for (std::size_t at = out.find("event: "); at != std::string::npos; at = out.find("event: ", at + 1)) {
        names.push_back(out.substr(at + 7, out.find('\n', at) - at - 7));
    }
    return names;
}

TEST(page_events, a_stream_gets_the_state_then_the_changes_and_the_state_again_when_it_fell_behind) {
    PageEvents events(10, 4);
    ASSERT_TRUE(events.openStream());
    events.setState("{\"seq\":1}", 1, "");
    PageEvents::Cursor cursor;
    std::string out;
    const auto idle = std::chrono::milliseconds(1);
    ASSERT_TRUE(events.next(cursor, out, idle));
    EXPECT_EQ(eventNames(out), std::vector<std::string>{"state"});

    events.setState("{\"seq\":2}", 2, "{\"seq\":2}");
    events.setState("{\"seq\":3}", 3, "{\"seq\":3}");
    ASSERT_TRUE(events.next(cursor, out, idle));
    EXPECT_EQ(eventNames(out), (std::vector<std::string>{"changes", "changes"}));
    EXPECT_NE(out.find("data: {\"seq\":3}"), std::string::npos);

    // Past the changes kept, the stream is sent the state instead.
    for (uint64_t seq = 4; seq < 600; ++seq) events.setState("{}", seq, "{}");
    ASSERT_TRUE(events.next(cursor, out, idle));
    EXPECT_EQ(eventNames(out), std::vector<std::string>{"state"});
    // A state without a change (the host started over) is sent whole too.
    events.setState("{\"seq\":1}", 1, "");
    ASSERT_TRUE(events.next(cursor, out, idle));
    EXPECT_EQ(eventNames(out), std::vector<std::string>{"state"});
    uint64_t seq = 0;
    EXPECT_EQ(events.state(seq), "{\"seq\":1}");
    EXPECT_EQ(seq, 1u);
    events.closeStream();
}

}  // namespace
