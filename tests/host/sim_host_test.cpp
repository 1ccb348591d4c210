#include "sim/sim_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "host_test_support.h"
#include "platform/panel_library.h"

using namespace zarn_host;
using zarn_host_test::ScriptedPanel;
using zarn_host_test::TempFile;

namespace {

const char* const facilityText = R"({
  "instances": [{"name": "R", "device": 7}, {"name": "DB", "device": 9, "offset": 3}],
  "databases": [{"device": 9, "database": 1, "entries": {"5": "12,34"}}],
  "routers": [{"device": 7, "sources": 8, "destinations": 4, "sourceNames": {"3": "Cam 3"},
               "crosspoints": {"1": 3, "2": 4}}]
})";

const char* const panelText = R"({"controls": [
  {"id": "alm_2", "properties": {"value": "1"}},
  {"id": "X", "properties": {"text": "", "value": "2"}},
  {"id": "alm_1", "defaultProperty": "pixmap"}
]})";

class SimHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        Facility facility;
        std::string error;
        ASSERT_TRUE(Facility::parse(facilityText, "test.json", facility, error)) << error;
        host = std::make_unique<SimHost>(std::move(facility));
        host->trace().setFile(&trace);
    }

    ScriptedPanel& start(std::function<void(ScriptedPanel&)> onStart = {}) {
        panel = new ScriptedPanel;  // the host deletes it on unload
        panel->events = &events;
        panel->onStart = std::move(onStart);
        zarn_host_test::nextPanel() = panel;
        EXPECT_TRUE(host->load(zarn_host_test::loadScriptedPanel, "", "scripted"));
        return *panel;
    }

    // Runs f inside a notification, where a script sends its commands.
    void during(std::function<void(ScriptedPanel&)> f) {
        panel->onParent = std::move(f);
        bool sent = false;
        host->parentMessage("go", sent);
        ASSERT_TRUE(sent);
    }

    std::string faults() const {
        std::string all;
        for (const auto& f : host->faults()) all += f.text + "\n";
        return all;
    }

    // Declared before the host, which writes to them until it is gone.
    std::ostringstream trace;
    std::vector<std::string> events;
    std::unique_ptr<SimHost> host;
    ScriptedPanel* panel = nullptr;
};

TEST_F(SimHostTest, each_misuse_of_reply_ownership_is_a_fault) {
    static char notOurs[] = "x";
    struct Case {
        const char* name;
        std::function<void(ScriptedPanel&)> act;
        const char* fault;  // empty: none
        FaultKind kind;     // of every fault, when there is one
    } cases[] = {
        {"read replies handed back", [](ScriptedPanel& p) { p.sendRead("SD 'R'"); }, "", {}},
        {"host-owned reply kept", [](ScriptedPanel& p) { p.send("ET 1 10"); }, "", {}},
        {"null reply handed back", [](ScriptedPanel& p) { p.release(p.send("RN 9 1 6")); }, "", {}},
        {"read reply kept", [](ScriptedPanel& p) { p.send("SD 'R'"); }, "was never handed back", FaultKind::replyKept},
        {"handed back twice",
         [](ScriptedPanel& p) {
             char* r = p.send("TG '1' 'X' 'value'");
             p.release(r);
             p.release(r);
         },
         "handed back twice", FaultKind::handedBackTwice},
        {"foreign pointer", [](ScriptedPanel& p) { p.release(notOurs); }, "never gave", FaultKind::foreignHandBack},
        {"host-owned reply handed back", [](ScriptedPanel& p) { p.release(p.send("ET 1 10")); },
         "the host frees that reply itself", FaultKind::hostReplyHandedBack},
        {"wrong direction type", [](ScriptedPanel& p) { p.host->callback(nullptr, 3); }, "with type 3",
         FaultKind::wrongType},
        {"null command", [](ScriptedPanel& p) { p.host->callback(nullptr, 0); }, "null text", FaultKind::nullCommand},
        {"malformed command", [](ScriptedPanel& p) { EXPECT_EQ(p.send("SD K7"), nullptr); }, "malformed",
         FaultKind::malformedCommand},
        {"unknown command", [](ScriptedPanel& p) { EXPECT_EQ(p.send("ZZ 1"), nullptr); }, "unknown command",
         FaultKind::unknownCommand},
        {"wrong argument kind", [](ScriptedPanel& p) { EXPECT_EQ(p.send("RU '7'"), nullptr); }, "argument 1",
         FaultKind::malformedCommand},
        {"bad RR flag", [](ScriptedPanel& p) { EXPECT_EQ(p.send("RR 7 1 1 'add'"), nullptr); }, "'ADD'",
         FaultKind::malformedCommand},
        {"device number cut", [](ScriptedPanel& p) { EXPECT_EQ(p.send("RR 70 1 1"), nullptr); }, "cut short",
         FaultKind::unknownDevice},
        {"device 0 after a failed look-up", [](ScriptedPanel& p) { EXPECT_EQ(p.send("RR 0 1 1"), nullptr); }, "", {}},
        {"AS twice", [](ScriptedPanel& p) { p.send("AS"); }, "\"AS\" sent twice", FaultKind::afterFarewell},
        {"command after AS",
         [](ScriptedPanel& p) {
             p.send("AS");
             p.send("ET 1");
         },
         "command \"ET 1\" after \"AS\"", FaultKind::afterFarewell},
        {"no AS", [](ScriptedPanel& p) { p.host = nullptr; }, "without sending \"AS\"", FaultKind::missingFarewell},
    };
    TempFile panelFile("ownership.zarn_ui", panelText);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        events.clear();
        start([&](ScriptedPanel& p) { p.send("PS '1' '" + panelFile.path() + "'"); });
        during(c.act);
        host->unload();
        host->finish();
        std::string found = faults();
        if (*c.fault == '\0') {
            EXPECT_EQ(found, "");
        } else {
            EXPECT_NE(found.find(c.fault), std::string::npos) << found;
            for (const auto& f : host->faults()) EXPECT_EQ(f.kind, c.kind) << f.text;
        }
    }
}

// Every line reaches a sink with the kind it was made with, and the text
// written out is the kind's marker before the sink's text.
TEST_F(SimHostTest, trace_lines_carry_their_kind) {
    std::vector<std::pair<TraceKind, std::string>> seen;
    host->trace().setSink([&](int64_t, TraceKind kind, const std::string& text) { seen.emplace_back(kind, text); });
    start([](ScriptedPanel& p) { p.sendRead("SD 'R'"); });
    during([](ScriptedPanel& p) {
        p.send("ET 1 0");
        p.send("ZZ '-> not a command'");
    });
    host->routeFromOutside(7, 9, 1);
    host->trace().block("picture\n");
    const std::vector<std::pair<TraceKind, std::string>> expected = {
        {TraceKind::in, "load scripted (folder \"\")"},
        {TraceKind::out, "SD 'R'  => \"7 0\""},
        {TraceKind::out, "release (SD 'R')"},
        {TraceKind::in, "parent \"go\""},
        {TraceKind::out, "ET 1 0  => null"},
        {TraceKind::refusal, "timer interval 0 is not positive (refused)"},
        {TraceKind::fault, "unknown command \"ZZ '-> not a command'\""},
        {TraceKind::out, "ZZ '-> not a command'  => null"},
        {TraceKind::reply, "null"},
        {TraceKind::refusal,
         "outside route refused: router 7, destination 9, source 1, by scenario: destination out of range"},
        {TraceKind::picture, "picture\n"},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(trace.str(),
              "[     0 ms] <- load scripted (folder \"\")\n"
              "[     0 ms] -> SD 'R'  => \"7 0\"\n"
              "[     0 ms] -> release (SD 'R')\n"
              "[     0 ms] <- parent \"go\"\n"
              "[     0 ms] -> ET 1 0  => null\n"
              "[     0 ms]    ! timer interval 0 is not positive (refused)\n"
              "[     0 ms] !! FAULT: unknown command \"ZZ '-> not a command'\"\n"
              "[     0 ms] -> ZZ '-> not a command'  => null\n"
              "[     0 ms]    reply null\n"
              "[     0 ms]    ! outside route refused: router 7, destination 9, source 1, by scenario: destination out "
              "of range\n"
              "picture\n");
    EXPECT_STREQ(traceKindName(TraceKind::refusal), "refusal");
    host->trace().setSink(nullptr);
}

// Without a facility file every instance looked up exists, numbered large so
// that a cut digit shows, and its database entries read as their index.
TEST_F(SimHostTest, the_built_in_facility_answers_every_look_up) {
    host = std::make_unique<SimHost>(Facility::builtIn());
    host->trace().setFile(&trace);
    ScriptedPanel& p = start();
    during([](ScriptedPanel& p) {
        EXPECT_EQ(p.sendRead("SD 'A'"), "2000000011 0");
        EXPECT_EQ(p.sendRead("SD 'B'"), "2000000022 0");
        EXPECT_EQ(p.sendRead("SD 'A'"), "2000000011 0");
        EXPECT_EQ(p.sendRead("RN 2000000022 3 42"), "42");
        EXPECT_EQ(p.sendRead("RN 0 3 42"), "<null>");
    });
    host->answer("RN", std::nullopt);
    host->answer("RN 2000000011 1 4", std::string("longest"));
    during([](ScriptedPanel& p) {
        EXPECT_EQ(p.sendRead("RN 2000000022 1 4"), "<null>");
        EXPECT_EQ(p.sendRead("RN 2000000011 1 42"), "longest");
    });
    (void)p;
    host->unload();
    host->finish();
    EXPECT_EQ(faults(), "");
}

TEST_F(SimHostTest, commands_get_their_reply_forms) {
    TempFile panelFile("replies.zarn_ui", panelText);
    struct Case {
        const char* command;
        const char* reply;  // "<null>" for null
    } cases[] = {
        {"SD 'R'", "7 0"},
        {"SD 'DB'", "9 3"},
        {"SD 'nobody'", "<null>"},
        {"RN 9 1 5", "12,34"},
        {"RN 9 1 6", "<null>"},
        {"RN 9 2 5", "<null>"},
        {"XI '1' 'alm_'", "alm_2,alm_1"},
        {"XI '1' 'none'", ""},
        {"XI '2' 'alm_'", "<null>"},
        {"TP 'text=it's' '1' 'X'", "OK"},
        {"TG '1' 'X' 'text'", "text=it's"},
        {"TG '1' 'X' 'all'", "text=it's\nvalue=2"},
        {"TG '1' 'X' 'colour'", "<null>"},
        {"TG '1' 'Y' 'text'", "<null>"},
        {"TP '=tick.png' '1' 'alm_1'", "OK"},
        {"TG '1' 'alm_1' 'pixmap'", "pixmap=tick.png"},
        {"TP '=tick.png' '1' 'X'", "<null>"},  // X has no default property
        {"RC 7 2 1 ',' 0", "OK"},
        {"RC 7 9 1 ',' 0", "<null>"},
        {"RC 7 2 5 ',' 0", "<null>"},
        {"RC 9 2 1 ',' 0", "<null>"},  // not a router
        {"RP 7 2 1", "<null>"},
        {"RP 7 0 0", "<null>"},
        {"RR 7 1 4 'ADD'", "OK"},
        {"RU 0", "<null>"},
        {"ET 1 0", "<null>"},
        {"ET 1 -5", "<null>"},
        {"ET 3", "OK"},
        {"PS '2' '/no/such/file.zarn_ui'", "<null>"},
        {"AS", "OK"},
    };
    start([&](ScriptedPanel& p) { p.send("PS '1' '" + panelFile.path() + "'"); });
    during([&](ScriptedPanel& p) {
        for (const auto& c : cases) EXPECT_EQ(p.sendRead(c.command), c.reply) << c.command;
    });
}

TEST_F(SimHostTest, junk_and_huge_commands_get_a_null_reply_and_a_fault) {
    std::string manyQuotes = "TP '";
    for (int i = 0; i < 50000; ++i) manyQuotes += "' ";
    const std::string cases[] = {
        std::string(1 << 20, 'A'),
        "TP '" + std::string(100000, '\''),
        manyQuotes,
        std::string("SD '\x01\n\xff'") + " x",
        "RP 7 -2147483648 2147483647",
        "RC 7 1 1 ',' 99999999999",
    };
    start();
    during([&](ScriptedPanel& p) {
        for (const auto& c : cases) EXPECT_EQ(p.send(c), nullptr) << c.substr(0, 40);
    });
    EXPECT_EQ(host->faults().size(), 5u) << faults();  // all but the refused RP are malformed
    // A trace line stays one line, and bounded, whatever the command held.
    std::string line;
    std::istringstream lines(trace.str());
    while (std::getline(lines, line)) EXPECT_LT(line.size(), 1200u);
}

TEST_F(SimHostTest, revertives_follow_registrations_and_arrive_after_the_call) {
    std::size_t seenDuringStart = 99;
    start([&](ScriptedPanel& p) {
        p.send("RR 7 1 1");
        p.send("RP 7 1 3");  // a poll reports whether or not the range is registered
        seenDuringStart = events.size();
    });
    EXPECT_EQ(seenDuringStart, 0u);
    // A name, a number for a source without one, an empty text for no source.
    EXPECT_EQ(events, (std::vector<std::string>{"revertive 7/1 Cam 3", "revertive 7/2 4", "revertive 7/3 "}));

    events.clear();
    during([&](ScriptedPanel& p) {
        p.send("RR 7 2 3 'ADD'");
        p.send("RC 7 5 1 ',' 0");
        p.send("RC 7 3 3 ',' 0");
        p.send("RC 7 6 4 ',' 0");  // not registered
        EXPECT_TRUE(events.empty());
    });
    EXPECT_EQ(events, (std::vector<std::string>{"revertive 7/1 5", "revertive 7/3 Cam 3"}));

    // Without 'ADD' the registrations are replaced; RU drops them all.
    events.clear();
    during([](ScriptedPanel& p) { p.send("RR 7 4 4"); });
    host->routeFromOutside(7, 1, 2);
    host->routeFromOutside(7, 4, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"revertive 7/4 2"}));
    events.clear();
    during([](ScriptedPanel& p) { p.send("RU 7"); });
    host->routeFromOutside(7, 4, 3);
    EXPECT_TRUE(events.empty());
    // An invalid range is refused and leaves the registrations as they were.
    during([](ScriptedPanel& p) {
        p.send("RR 7 2 2");
        EXPECT_EQ(p.send("RR 7 0 0"), nullptr);
    });
    host->routeFromOutside(7, 2, 1);
    EXPECT_EQ(events, (std::vector<std::string>{"revertive 7/2 1"}));
}

TEST_F(SimHostTest, a_long_source_name_reaches_the_panel_whole) {
    const std::string name(100000, 'N');
    std::string text = facilityText;
    text.replace(text.find("Cam 3"), 5, name);
    Facility facility;
    std::string error;
    ASSERT_TRUE(Facility::parse(text, "long.json", facility, error)) << error;
    host = std::make_unique<SimHost>(std::move(facility));
    start([](ScriptedPanel& p) { p.send("RP 7 1 1"); });
    EXPECT_EQ(events, std::vector<std::string>{"revertive 7/1 " + name});
}

// Locked destinations are refused by the facility model (models_test) and end to end in locked_route.scenario.
TEST_F(SimHostTest, offline_devices_refuse_every_command_until_back_online) {
    start([](ScriptedPanel& p) { p.send("RR 7 1 4"); });
    host->setOnline(7, false);
    during([](ScriptedPanel& p) {
        EXPECT_EQ(p.sendRead("SD 'R'"), "<null>");
        EXPECT_EQ(p.send("RC 7 1 1 ',' 0"), nullptr);
        EXPECT_EQ(p.send("RP 7 1 1"), nullptr);
        EXPECT_EQ(p.send("RU 7"), nullptr);
    });
    EXPECT_EQ(host->facility().router(7)->crosspoints[1], 3);
    host->setOnline(7, true);
    during([](ScriptedPanel& p) { EXPECT_EQ(p.sendRead("SD 'R'"), "7 0"); });
    EXPECT_TRUE(host->faults().empty()) << faults();
}

// Each refusal is counted by its kind; those an operator or the facility
// cause (a lock, an offline device, what a failed look-up gives) count
// without failing, the others fail unless expected.
TEST_F(SimHostTest, each_refusal_is_counted_by_its_kind) {
    TempFile panelFile("refusals.zarn_ui", panelText);
    start([&](ScriptedPanel& p) {
        p.send("PS '1' '" + panelFile.path() + "'");
        p.send("ET 3 100");
        p.send("ET 3");
    });
    host->facility().router(7)->locked[2] = LockOwner{};
    const struct Case {
        const char* command;
        RefusalKind kind;
        bool fails;
    } cases[] = {
        {"XI '2' 'a'", RefusalKind::panel, true},
        {"TG '2' 'X' 'text'", RefusalKind::panel, true},
        {"TP 'text=x' '1' 'Y'", RefusalKind::control, true},
        {"TG '1' 'X' 'colour'", RefusalKind::property, true},
        {"TP '=x' '1' 'X'", RefusalKind::property, true},
        {"SD 'Nobody'", RefusalKind::instance, true},
        {"RR 0 1 1", RefusalKind::unresolved, false},
        {"RR 7 0 0", RefusalKind::unresolved, false},
        {"RC 7 1 0 ',' 0", RefusalKind::unresolved, false},
        {"RC 9 1 1 ',' 0", RefusalKind::router, true},
        {"RN 9 2 1", RefusalKind::database, true},
        {"RN 9 1 6", RefusalKind::entry, false},
        {"RC 7 1 5 ',' 0", RefusalKind::destination, true},
        {"RC 7 9 1 ',' 0", RefusalKind::source, true},
        {"RR 7 2 9", RefusalKind::range, true},
        {"RP 7 0 4", RefusalKind::range, true},
        {"RC 7 1 2 ',' 0", RefusalKind::locked, false},
        {"ET 5", RefusalKind::timer, true},
        {"ET 5 0", RefusalKind::interval, true},
    };
    uint64_t failing = 0;
    for (const auto& c : cases) {
        during([&](ScriptedPanel& p) { p.send(c.command); });
        const auto& refusals = host->recentRefusals();
        ASSERT_EQ(refusals.size(), 1u) << c.command;
        EXPECT_EQ(refusals[0].kind, c.kind) << c.command << ": " << refusals[0].text;
        EXPECT_EQ(refusalKindInfo(c.kind).fails, c.fails) << c.command;
        failing += c.fails ? 1 : 0;
        host->clearRecentCommands();
        EXPECT_EQ(host->refusalCounts().failing, failing) << c.command;
    }
    // A timer stopped twice, or a command the scenario answers itself, is no refusal.
    during([](ScriptedPanel& p) { p.send("ET 3"); });
    host->answer("TP 'text=x' '1' 'Y'", std::string("OK"));
    during([](ScriptedPanel& p) { p.send("TP 'text=x' '1' 'Y'"); });
    EXPECT_TRUE(host->recentRefusals().empty()) << host->recentRefusals()[0].text;
    // An offline device: counted, failing nothing.
    host->setOnline(9, false);
    during([](ScriptedPanel& p) { p.sendRead("SD 'DB'"); });
    ASSERT_EQ(host->recentRefusals().size(), 1u);
    EXPECT_EQ(host->recentRefusals()[0].kind, RefusalKind::offline);
    host->finish();
    EXPECT_EQ(host->refusalCounts().failing, failing);
    EXPECT_EQ(host->refusalCounts().total(), std::size(cases) + 1);
    EXPECT_EQ(host->refusalCounts().byKind[static_cast<std::size_t>(RefusalKind::range)], 2u);
    EXPECT_TRUE(host->faults().empty()) << faults();
}

// What an expectation matches is expected and fails nothing; the rest still
// fails once settled, and the first texts are kept for the report.
TEST_F(SimHostTest, expected_refusals_fail_nothing) {
    TempFile panelFile("expected.zarn_ui", panelText);
    start([&](ScriptedPanel& p) { p.send("PS '1' '" + panelFile.path() + "'"); });
    during([](ScriptedPanel& p) {
        p.send("TP 'text=x' '1' 'Tally1'");
        p.send("TP 'text=x' '1' 'Tally2'");
        p.send("RR 7 1 9");
    });
    const RefusalKindInfo* control = findRefusalKind("control");
    ASSERT_NE(control, nullptr);
    const std::string other = "no control \"Tally3\" on panel \"1\"";
    EXPECT_EQ(host->expectRefusals(control, &other), 0u);
    const std::string second = "no control \"Tally2\" on panel \"1\"";
    EXPECT_EQ(host->expectRefusals(control, &second), 1u);
    EXPECT_EQ(host->failingSoFar(), 2u);  // the range and the first control
    EXPECT_EQ(host->expectRefusals(control, nullptr), 2u);
    EXPECT_EQ(host->refusalCounts().failing, 0u);
    EXPECT_EQ(host->failingSoFar(), 1u);
    host->clearRecentCommands();
    EXPECT_EQ(host->refusalCounts().failing, 1u);
    EXPECT_EQ(host->failingRefusals(), std::vector<std::string>{"destination range 1..9 is outside 1..4 (refused)"});
    EXPECT_EQ(host->refusalCounts().summary(),
              "3 refusals (2 no such control, 1 range outside the router; 1 fails the run)");
    // The whole run expects them: counted, failing nothing.
    host->expectEveryRefusal(true);
    during([](ScriptedPanel& p) { p.send("RR 7 1 9"); });
    host->finish();
    EXPECT_EQ(host->refusalCounts().failing, 1u);
    EXPECT_EQ(host->refusalCounts().total(), 4u);
}

// A panel that ends with destinations registered is told so once a router,
// and its registrations go with it; RU releases them even while offline.
TEST_F(SimHostTest, registrations_kept_to_the_end_are_a_refusal) {
    start([](ScriptedPanel& p) {
        p.send("RR 7 1 2");
        p.send("RR 7 4 4 'ADD'");
    });
    host->unload();
    ASSERT_EQ(host->recentRefusals().size(), 1u);
    EXPECT_EQ(host->recentRefusals()[0].kind, RefusalKind::registration);
    EXPECT_EQ(host->recentRefusals()[0].text,
              "router 7: destinations 1..2, 4..4 still registered when the panel ended (RR without RU)");
    EXPECT_TRUE(host->facility().router(7)->registrations.empty());

    host->clearRecentCommands();
    start([](ScriptedPanel& p) { p.send("RR 7 1 2"); });
    host->setOnline(7, false);
    during([](ScriptedPanel& p) { EXPECT_EQ(p.send("RU 7"), nullptr); });
    host->unload();
    ASSERT_EQ(host->recentRefusals().size(), 1u);
    EXPECT_EQ(host->recentRefusals()[0].kind, RefusalKind::offline);
}

// The refusal kinds' words are unique and each row sits at its kind's place.
TEST(refusal_kinds, one_row_a_kind_in_order) {
    std::set<std::string> words;
    for (std::size_t i = 0; i < refusalKinds().size(); ++i) {
        const auto& info = refusalKinds()[i];
        EXPECT_EQ(static_cast<std::size_t>(info.kind), i) << info.word;
        EXPECT_TRUE(words.insert(info.word).second) << info.word;
        EXPECT_EQ(findRefusalKind(info.word), &info);
    }
    EXPECT_EQ(findRefusalKind("no such control"), nullptr);
}

// host/README.md's refusal table is the table's rows.
TEST(refusal_kinds, the_readmes_table_lists_them) {
    std::ifstream readme(ZARN_TEST_SOURCE_DIR "/host/README.md");
    ASSERT_TRUE(readme) << "cannot read host/README.md";
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == "| kind | counted as | fails the run | when |") {
            inTable = true;
        } else if (inTable && line.rfind("| `", 0) == 0) {
            rows.push_back(line);
        } else if (inTable && line.rfind("|---", 0) != 0) {
            break;
        }
    }
    std::vector<std::string> expected;
    std::string paste;
    for (const auto& info : refusalKinds()) {
        expected.push_back("| `" + std::string(info.word) + "` | " + info.summary + " | " +
                           (info.fails ? "yes" : "no, counted only") + " | " + info.meaning + " |");
        paste += expected.back() + "\n";
    }
    EXPECT_EQ(rows, expected) << "host/README.md's refusal table should read:\n" << paste;
}

TEST(panel_library, load_errors_are_one_line_reasons) {
    struct Case {
        std::string path;
        const char* reason;
    } cases[] = {
        {"/no/such/libpanel.so", "no such file"},
        {ZARN_TEST_SOURCE_DIR "/host/facilities/k7/facility.json", "cannot load"},
        {ZARN_TEST_SOURCE_DIR "/host", "not a regular file"},
        {ZARN_TEST_NO_ENTRY, "no entry point load_zarn_client_script"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(PanelLibrary::open(c.path, error), nullptr) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    std::string error;
    auto puppet = PanelLibrary::open(ZARN_TEST_PUPPET, error);
    ASSERT_NE(puppet, nullptr) << error;
    EXPECT_NE(puppet->entryPoint(), nullptr);
}

}  // namespace
