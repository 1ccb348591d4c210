#include "scenario/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "host_test_support.h"
#include "model/json_input.h"

using namespace zarn_host;
using zarn_host_test::ScriptedPanel;
using zarn_host_test::TempFile;

namespace {

TEST(scenario, lines_split_into_steps_and_arguments) {
    ScenarioStep step;
    std::string error;
    ASSERT_TRUE(parseScenarioLine(R"(  press "Mon 1" alarm "a \"b\"\\")", step, error)) << error;
    EXPECT_EQ(step.keyword, "press");
    ASSERT_EQ(step.args.size(), 3u);
    EXPECT_EQ(step.args[0].text, "Mon 1");
    EXPECT_EQ(step.args[2].text, "a \"b\"\\");
    // The command of an expectation is kept verbatim, quotes and blanks included.
    ASSERT_TRUE(parseScenarioLine("expect command TP 'text=Cam 1' '1' 'Vidtally_1'", step, error));
    EXPECT_EQ(step.keyword, "expect command");
    EXPECT_EQ(step.rest, "TP 'text=Cam 1' '1' 'Vidtally_1'");
    ASSERT_TRUE(parseScenarioLine("expect no command", step, error));
    EXPECT_EQ(step.keyword, "expect no command");
    ASSERT_TRUE(parseScenarioLine("   # a comment", step, error));
    EXPECT_EQ(step.keyword, "");
}

TEST(scenario, malformed_lines_are_reported_with_file_and_line) {
    struct Case {
        const char* line;
        const char* error;
    } cases[] = {
        {"frobnicate", "unknown step \"frobnicate\""},
        {"expect colour X", "unknown step \"expect colour\""},
        {"press", "takes 1 to 3 arguments, found 0"},
        {"pick Sources", "takes 2 arguments, found 1"},
        {"wait -5", "wait takes"},
        {"wait soon", "wait takes"},
        {"press \"Mon 1", "unterminated"},
        {"press \"a\"b", "right after a closing quote"},
        {"press \"\\q\"", "unknown escape"},
        {"expect command", "takes 1 arguments, found 0"},
    };
    for (const auto& c : cases) {
        std::vector<ScenarioStep> steps;
        std::string error;
        EXPECT_FALSE(parseScenario(std::string("# header\n\n") + c.line + "\nshow\n", "s.scenario", steps, error));
        EXPECT_EQ(error.rfind("s.scenario:3: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// Lines the existing cases above leave out: argument counts at and past each
// end, numbers, quoting, and the blanks around words.
TEST(scenario, the_step_table_sets_what_a_line_may_carry) {
    struct Good {
        const char* line;
        const char* keyword;
        std::vector<std::string> args;
    } goods[] = {
        {"load", "load", {}},
        {"  panel\t2\r", "panel", {"2"}},
        {"press Go", "press", {"Go"}},
        {"press Go cmd \"a value\"", "press", {"Go", "cmd", "a value"}},
        {"press \"\"", "press", {""}},
        {"press a\"b", "press", {"a\"b"}},  // a quote inside a bare word is the word's
        {"wait 0", "wait", {"0"}},
        {"wait 2147483647", "wait", {"2147483647"}},
        {"wait \"250\"", "wait", {"250"}},
        {"expect no command TP 'a=1' '1' 'L'", "expect no command", {"TP 'a=1' '1' 'L'"}},
        {"expect reply null", "expect reply", {"null"}},
        {"answer SD \"\"", "answer", {"SD", ""}},
        {"notify 1 null", "notify", {"1", "null"}},
        {"notify 1 button 1 Go cmd \"v w\"", "notify", {"1", "button", "1", "Go", "cmd", "v w"}},
    };
    for (const auto& c : goods) {
        SCOPED_TRACE(c.line);
        ScenarioStep step;
        std::string error;
        ASSERT_TRUE(parseScenarioLine(c.line, step, error)) << error;
        EXPECT_EQ(step.keyword, c.keyword);
        std::vector<std::string> args;
        for (const auto& a : step.args) args.push_back(a.text);
        EXPECT_EQ(args, c.args);
    }
    struct Bad {
        const char* line;
        const char* error;
    } bads[] = {
        {"load now", "\"load\" takes 0 arguments, found 1"},
        {"show 1", "\"show\" takes 0 arguments, found 1"},
        {"panel", "\"panel\" takes 1 arguments, found 0"},
        {"press Go cmd value extra", "\"press\" takes 1 to 3 arguments, found 4"},
        {"route R 1", "\"route\" takes 3 arguments, found 2"},
        {"unlock R", "\"unlock\" takes 2 arguments, found 1"},
        {"lock R 1 page 2", "\"lock\" takes 2 to 3 arguments, found 4"},
        {"expect route R 1 2 3", "\"expect route\" takes 3 arguments, found 4"},
        {"expect reply", "\"expect reply\" takes 1 arguments, found 0"},
        {"answer SD", "\"answer\" takes 2 arguments, found 1"},
        {"notify 1", "\"notify\" takes 2 to 6 arguments, found 1"},
        {"notify 1 button 1 Go cmd v w", "\"notify\" takes 2 to 6 arguments, found 7"},
        {"wait 2147483648", "wait takes a number of milliseconds, 0 or more"},
        {"wait 1.5", "wait takes a number of milliseconds, 0 or more"},
        {"wait \"\"", "wait takes a number of milliseconds, 0 or more"},
        {"expect", "unknown step \"expect \""},
        {"expect no thing", "unknown step \"expect no thing\""},
        {"Press Go", "unknown step \"Press\""},
        {"parent \"a\\", "unterminated \""},
        {"parent \"tab\\x\"", "unknown escape \\x"},
        {"pick \"L\"\"e\"", "text right after a closing quote"},
        // Command texts that no command the panel sends could ever match.
        {"expect no command XX",
         "\"XX\" can never match a command the panel sends: no host command is called XX "
         "(the commands: SD, XI, PS, RC, RN, RP, RR, RU, ET, TP, TG, AS)"},
        {"expect no command rc",
         "\"rc\" can never match a command the panel sends: a command begins with a "
         "two-letter upper-case word (the commands: SD, XI, PS, RC, RN, RP, RR, RU, ET, TP, "
         "TG, AS)"},
        {"expect no command RC 'a'",
         "\"RC 'a'\" can never match a command the panel sends: argument 1 must be a "
         "32-bit decimal integer (RC N N N 'TEXT' N)"},
        {"expect no command RC 1 2 3 ',' 0 9",
         "\"RC 1 2 3 ',' 0 9\" can never match a command the panel sends: RC takes 5 arguments (RC N N N 'TEXT' N)"},
        {"expect command RC 101",
         "\"RC 101\" can never match a command the panel sends: expected 5 arguments, "
         "found 1 (RC N N N 'TEXT' N)"},
        {"expect command PS '1'",
         "\"PS '1'\" can never match a command the panel sends: PS takes 2 or 3 "
         "arguments (PS 'TEXT' 'TEXT' ['TEXT'])"},
        {"expect command RC 1  2 3 ',' 0",
         "\"RC 1  2 3 ',' 0\" can never match a command the panel sends: empty "
         "argument or doubled blank at byte 5 (RC N N N 'TEXT' N)"},
    };
    for (const auto& c : bads) {
        ScenarioStep step;
        std::string error;
        EXPECT_FALSE(parseScenarioLine(c.line, step, error)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
}

// Every text reads back as itself, quoted or as an argument; the page's
// quoting (tests/host/scenario_quoting.test.mjs) is held to the same cases.
TEST(scenario, quoting_follows_the_shared_cases_and_reads_back) {
    std::string text, error;
    const std::string file = ZARN_TEST_SOURCE_DIR "/tests/host/scenario_quoting_cases.json";
    ASSERT_TRUE(readTextFile(file, text, error)) << error;
    nlohmann::ordered_json cases;
    ASSERT_TRUE(parseJson(text, file, cases, error)) << error;
    ASSERT_GE(cases.at("cases").size(), 15u);
    for (const auto& c : cases.at("cases")) {
        const std::string input = c.at("text"), quoted = c.at("quoted"), argument = c.at("argument");
        SCOPED_TRACE(c.at("case").get<std::string>());
        EXPECT_EQ(scenarioQuoted(input), quoted);
        EXPECT_EQ(scenarioArgument(input), argument);
        ScenarioStep step;
        ASSERT_TRUE(parseScenarioLine("parent " + quoted, step, error)) << error;
        ASSERT_EQ(step.args.size(), 1u);
        EXPECT_EQ(step.args[0].text, input);
        EXPECT_TRUE(step.args[0].quoted);
        ASSERT_TRUE(parseScenarioLine("pick " + argument + " " + argument, step, error)) << error;
        ASSERT_EQ(step.args.size(), 2u);
        EXPECT_EQ(step.args[0].text, input);
        EXPECT_EQ(step.args[1].text, input);
    }
}

// The help writes each step's arguments; the parser must take as many.
TEST(scenario, each_steps_help_names_as_many_arguments_as_the_parser_takes) {
    std::vector<std::string> keywords;
    for (const auto& kind : scenarioSteps()) {
        SCOPED_TRACE(kind.keyword);
        std::size_t required = 0, optional = 0, depth = 0;
        bool open = false;  // "..." : more arguments, as many as the row says
        std::istringstream words(kind.arguments);
        for (std::string word; words >> word;) {
            if (word == "...") {
                open = true;
                continue;
            }
            std::size_t opens = word.find_first_not_of('[');
            depth += opens;
            (depth > 0 ? optional : required) += 1;
            for (char c : word) depth -= c == ']';
        }
        EXPECT_EQ(depth, 0u);
        EXPECT_EQ(required, kind.minArgs);
        if (!open) {
            // expect refused's one argument, the rest of the line, is KIND and TEXT.
            EXPECT_EQ(required + optional, kind.maxArgs + (kind.refusalKindFirst ? 1u : 0u));
        }
        EXPECT_NE(kind.run, nullptr);
        EXPECT_EQ(std::count(keywords.begin(), keywords.end(), kind.keyword), 0);
        keywords.push_back(kind.keyword);
    }
    EXPECT_EQ(keywords.size(), 21u);
}

// host/README.md's step table is the table's syntax and meaning, row for row.
TEST(scenario, the_readmes_step_table_lists_the_steps_as_the_help_does) {
    std::ifstream readme(ZARN_TEST_SOURCE_DIR "/host/README.md");
    ASSERT_TRUE(readme) << "cannot read host/README.md";
    std::vector<std::string> rows;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == "| step | does |") {
            inTable = true;
        } else if (inTable && line.rfind("| `", 0) == 0) {
            rows.push_back(line);
        } else if (inTable && line.rfind("|---", 0) != 0) {
            break;
        }
    }
    std::vector<std::string> expected;
    std::string paste;
    for (const auto& kind : scenarioSteps()) {
        expected.push_back("| `" + kind.syntax() + "` | " + kind.meaning + " |");
        paste += expected.back() + "\n";
    }
    EXPECT_EQ(rows, expected) << "host/README.md's step table should read:\n" << paste;
}

class ScenarioRunnerTest : public ::testing::Test {
protected:
    ScenarioRunnerTest()
        : panelFile("runner.zarn_ui", R"({"controls": [{"id": "Go"}, {"id": "L"}, {"id": "Flood"}]})") {}

    void SetUp() override {
        Facility facility;
        std::string error;
        ASSERT_TRUE(Facility::parse(R"({"instances": [{"name": "R", "device": 7}],
            "routers": [{"device": 7, "sources": 4, "destinations": 4, "sourceNames": {"2": "Cam 2"}}]})",
                                    "f.json", facility, error));
        host = std::make_unique<SimHost>(std::move(facility));
        host->trace().setFile(&trace);
        pending = std::make_unique<ScriptedPanel>();
        panel = pending.get();
        panel->events = &events;
        panel->onStart = [this](ScriptedPanel& p) { p.send("PS '1' '" + panelFile.path() + "'"); };
        // Pressing "Go" sends two property sets, then makes a crosspoint.
        // "Flood" sends more commands than the host keeps for one step.
        panel->onButton = [](ScriptedPanel& p, const std::string& control) {
            if (control == "Flood") {
                for (std::size_t i = 0; i < SimHost::maxRecentCommands + 10; ++i) p.send("TP 'a=1' '1' 'L'");
                p.send("TP 'last=1' '1' 'L'");
                return;
            }
            p.send("TP 'a=1' '1' 'L'");
            p.send("TP 'b=2' '1' 'L'");
            p.send("RC 7 2 1 ',' 0");
        };
        zarn_host_test::nextPanel() = panel;
        runner = std::make_unique<ScenarioRunner>(
            *host,
            [this](std::string&) {
                pending.release();  // from here on the host owns the panel
                return host->load(zarn_host_test::loadScriptedPanel, "", "scripted");
            },
            err);
    }

    // Runs a scenario text and returns its outcome.
    ScenarioRunner::Outcome run(const std::string& text) {
        std::vector<ScenarioStep> steps;
        std::string error;
        EXPECT_TRUE(parseScenario(text, "t.scenario", steps, error)) << error;
        return runner->run(steps);
    }

    // Declared before the host, which writes to them until it is gone.
    TempFile panelFile;
    std::ostringstream trace;
    std::ostringstream err;
    std::vector<std::string> events;
    std::unique_ptr<ScriptedPanel> pending;  // until the scenario loads it
    std::unique_ptr<SimHost> host;
    ScriptedPanel* panel = nullptr;
    std::unique_ptr<ScenarioRunner> runner;
};

TEST_F(ScenarioRunnerTest, command_expectations_match_in_order_within_the_last_step) {
    EXPECT_EQ(run("press Go\n"
                  "expect command TP 'a=1' '1' 'L'\n"
                  "expect command RC 7 2 1 ',' 0\n"
                  "expect no command TP 'c=3' '1' 'L'\n"
                  "expect property L b 2\n"
                  "expect route R 1 \"Cam 2\"\n"),
              ScenarioRunner::Outcome::ok)
        << err.str();
    EXPECT_EQ(runner->expectationsMet(), 5);
    // Matching moves on: a command already passed does not match again.
    EXPECT_EQ(run("expect command TP 'a=1' '1' 'L'\n"), ScenarioRunner::Outcome::expectationFailed);
    EXPECT_NE(err.str().find("t.scenario:1: expectation failed"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("it came before"), std::string::npos) << err.str();
}

// The host keeps one step's commands, and only so many of them: a long run
// stays flat, and an expectation past the kept ones says what was dropped.
TEST_F(ScenarioRunnerTest, the_host_keeps_a_bounded_window_of_the_last_steps_commands) {
    EXPECT_EQ(run("press Go\n"), ScenarioRunner::Outcome::ok) << err.str();
    EXPECT_EQ(run("press Flood\nexpect command TP 'last=1' '1' 'L'\n"), ScenarioRunner::Outcome::expectationFailed);
    EXPECT_NE(err.str().find("... and 11 more"), std::string::npos) << err.str().substr(err.str().size() - 200);
    EXPECT_EQ(host->recentCommands().size(), SimHost::maxRecentCommands);
    EXPECT_EQ(host->commandCount(), 1 + 3 + SimHost::maxRecentCommands + 11);  // PS, Go's three, the flood
    EXPECT_EQ(run("press Go\nexpect command TP 'b=2' '1' 'L'\n"), ScenarioRunner::Outcome::ok) << err.str();
    EXPECT_EQ(host->recentCommands().size(), 3u);
}

// "expect no command TEXT" names every command that TEXT begins, up to an
// argument's end: a word alone means "none of that word at all".
TEST_F(ScenarioRunnerTest, expect_no_command_matches_the_beginning_of_a_command_at_an_argument_end) {
    struct Case {
        const char* expectation;
        bool holds;
    } cases[] = {
        {"expect no command RC", false},
        {"expect no command RC 7", false},
        {"expect no command RC 7 2 1 ',' 0", false},
        {"expect no command RC 70", true},  // not the beginning of "RC 7 2 ..."
        {"expect no command RC 7 2 10", true},
        {"expect no command TP 'a=1'", false},
        {"expect no command TP 'a=1' '2'", true},
        {"expect no command ET", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(std::string("press Go\n") + c.expectation + "\n"),
                  c.holds ? ScenarioRunner::Outcome::ok : ScenarioRunner::Outcome::expectationFailed)
            << c.expectation << "\n"
            << err.str();
    }
}

// A step that needs a panel whose file the host refused gives the refusal,
// not a missing control.
TEST_F(ScenarioRunnerTest, steps_on_a_panel_whose_file_was_refused_give_the_refusal) {
    TempFile broken("broken.zarn_ui", R"({"controls": [{"id": "Go", "label": 1.5}]})");
    panel->onStart = [&broken](ScriptedPanel& p) { p.send("PS '1' '" + broken.path() + "'"); };
    const std::string refusal = "panel \"1\" is not shown: " + broken.path() + ": /controls/0/label: expected a text";
    for (const char* step : {"press Go\n", "pick L x\n", "show\n", "expect property Go text x\n"}) {
        err.str("");
        EXPECT_EQ(run(step), ScenarioRunner::Outcome::error) << step;
        EXPECT_NE(err.str().find(refusal), std::string::npos) << step << err.str();
    }
    EXPECT_EQ(host->refusedPanelFiles().size(), 1u);
    // Another panel id was never shown at all.
    err.str("");
    EXPECT_EQ(run("panel 2\npress Go\n"), ScenarioRunner::Outcome::error);
    EXPECT_NE(err.str().find("no panel \"2\" shown"), std::string::npos) << err.str();
}

TEST_F(ScenarioRunnerTest, failed_expectations_say_what_was_expected_and_what_happened) {
    struct Case {
        const char* scenario;
        const char* happened;
    } cases[] = {
        {"press Go\nexpect command TP 'z=1' '1' 'L'\n", "TP 'b=2' '1' 'L'"},
        {"press Go\nexpect no command\n", "commands since the last step"},
        {"press Go\nexpect property L a 9\n", "it is \"1\""},
        {"press Go\nexpect property L zz 9\n", "no property \"zz\""},
        {"expect route R 1 3\n", "it carries source 0 (no source)"},
        {"parent hello\nexpect reply \"x\"\n", "reply null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        SetUp();
        err.str("");
        EXPECT_EQ(run(c.scenario), ScenarioRunner::Outcome::expectationFailed);
        EXPECT_NE(err.str().find("expected:"), std::string::npos) << err.str();
        EXPECT_NE(err.str().find(c.happened), std::string::npos) << err.str();
    }
}

TEST_F(ScenarioRunnerTest, steps_the_host_cannot_carry_out_are_errors) {
    const char* cases[] = {
        "press Nothing\n",
        "pick L x\n",
        "route R 9 1\n",
        "route Q 1 1\n",
        "lock R 0\n",
        "lock R 1 panel\n",
        "lock R 1 70000\n",
        "offline Nobody\n",
        "expect reply null\n",
        "load\nload\n",
        "notify 2 sideways\n",
        "notify x null\n",
        "notify 1 revertive 7 two \"t\"\n",
    };
    for (const char* scenario : cases) {
        SCOPED_TRACE(scenario);
        SetUp();
        err.str("");
        EXPECT_EQ(run(scenario), ScenarioRunner::Outcome::error);
        EXPECT_NE(err.str().find("t.scenario:"), std::string::npos) << err.str();
    }
}

// A lock's owner: the scenario by default, else the page or a controller's
// device number; a lock taken again changes hands, an unlock frees it
// whoever held it.
TEST_F(ScenarioRunnerTest, a_lock_has_an_owner) {
    ASSERT_EQ(run("lock R 1\nlock R 2 page\nlock R 3 12\nlock R 4 12\nlock R 4 page\nunlock R 3\n"),
              ScenarioRunner::Outcome::ok)
        << err.str();
    const auto& locked = host->facility().router(7)->locked;
    const std::map<int32_t, LockOwner> expected{{1, LockOwner{LockOwner::Kind::scenario, 0}},
                                                {2, LockOwner{LockOwner::Kind::page, 0}},
                                                {4, LockOwner{LockOwner::Kind::page, 0}}};
    EXPECT_EQ(locked, expected);
    ASSERT_EQ(run("lock R 1 nobody\n"), ScenarioRunner::Outcome::error);
    EXPECT_NE(err.str().find("the lock's owner is scenario, page or a device number 0-65535, not \"nobody\""),
              std::string::npos)
        << err.str();
}

// Steps built by hand, not parsed, are held to the table too.
TEST_F(ScenarioRunnerTest, steps_built_by_hand_are_held_to_the_table) {
    ScenarioStep unknown;
    unknown.keyword = "frobnicate";
    EXPECT_EQ(runner->runStep(unknown), ScenarioRunner::Outcome::error);
    ScenarioStep tooFew;
    tooFew.keyword = "route";
    tooFew.args = {{"R", false}};
    EXPECT_EQ(runner->runStep(tooFew), ScenarioRunner::Outcome::error);
    ScenarioStep badWait;
    badWait.keyword = "wait";
    badWait.args = {{"-1", false}};
    EXPECT_EQ(runner->runStep(badWait), ScenarioRunner::Outcome::error);
    EXPECT_NE(err.str().find("unknown step \"frobnicate\""), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("\"route\" with 1 arguments"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("wait takes a number of milliseconds"), std::string::npos) << err.str();
}

// Raw notifications reach the panel as written; answers replace replies from then on.
TEST_F(ScenarioRunnerTest, notify_and_answer_reach_the_panel_as_written) {
    panel->onParent = [this](ScriptedPanel& p) { events.push_back("SD " + p.sendRead("SD 'R'")); };
    EXPECT_EQ(run("notify 1 revertive 7 2 \"it's \\\"long\\\"\"\nnotify 7 value 5\nnotify 5 foreign\n"
                  "answer SD \"1 2\"\nparent go\nanswer SD null\nparent go\n"),
              ScenarioRunner::Outcome::ok)
        << err.str();
    EXPECT_EQ(events, (std::vector<std::string>{"revertive 7/2 it's \"long\"", "SD 1 2", "SD <null>"}));
}

}  // namespace

namespace {

// A refusal the scenario expects fails nothing; one it does not, of a kind
// that fails, counts as failing once the next step begins.
TEST_F(ScenarioRunnerTest, expect_refused_matches_by_kind_and_whole_text) {
    panel->onButton = [](ScriptedPanel& p, const std::string&) {
        p.send("TP 'text=x' '1' 'Tally1'");
        p.send("TP 'text=x' '1' 'Tally2'");
        p.send("RC 7 1 9 ',' 0");
    };
    EXPECT_EQ(run("press Go\n"
                  "expect refused control\n"
                  "expect refused destination crosspoint refused: destination out of range\n"),
              ScenarioRunner::Outcome::ok)
        << err.str();
    EXPECT_EQ(runner->expectationsMet(), 2);
    EXPECT_EQ(run("press Go\nexpect refused control no control \"Tally2\" on panel \"1\"\npress Go\n"
                  "expect refused\n"),
              ScenarioRunner::Outcome::ok)
        << err.str();
    // The second press's Tally1 and its crosspoint went unexpected.
    EXPECT_EQ(host->refusalCounts().failing, 2u);
    host->finish();
    EXPECT_EQ(host->refusalCounts().failing, 2u);
    EXPECT_EQ(host->refusalCounts().total(), 9u);

    // Nothing of the kind: the failure lists what was refused.
    err.str("");
    EXPECT_EQ(run("press Go\nexpect refused locked\n"), ScenarioRunner::Outcome::expectationFailed);
    EXPECT_NE(err.str().find("expected: a refusal of kind locked (locked destination)"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("control no control \"Tally1\" on panel \"1\""), std::string::npos) << err.str();
}

TEST(scenario, expect_refused_names_a_kind_of_the_table) {
    ScenarioStep step;
    std::string error;
    EXPECT_TRUE(parseScenarioLine("expect refused", step, error)) << error;
    EXPECT_TRUE(parseScenarioLine("expect refused registration", step, error)) << error;
    EXPECT_TRUE(parseScenarioLine("expect refused control no control \"X\" on panel \"1\"", step, error)) << error;
    EXPECT_EQ(step.rest, "control no control \"X\" on panel \"1\"");
    EXPECT_FALSE(parseScenarioLine("expect refused no control \"X\" on panel \"1\"", step, error));
    EXPECT_NE(error.find("\"no\" is no kind of refusal (the kinds: panel, control, property"), std::string::npos)
        << error;
}

// Steps that name an instance take its numbers; a device number the device's.
TEST(scenario, an_instance_numbers_destinations_from_its_first) {
    Facility facility;
    std::string error;
    ASSERT_TRUE(Facility::parse(R"({"instances": [{"name": "A", "device": 7}, {"name": "B", "device": 7, "offset": 16},
            {"name": "Edge", "device": 8, "offset": 4}],
        "routers": [{"device": 7, "sources": 32, "destinations": 32, "destinationNames": {"19": "Out"}},
                    {"device": 8, "sources": 4, "destinations": 4}]})",
                                "f.json", facility, error))
        << error;
    EXPECT_EQ(facility.instanceDestinations(*facility.instance("A")), std::make_pair(1, 16));
    EXPECT_EQ(facility.instanceDestinations(*facility.instance("B")), std::make_pair(17, 32));
    EXPECT_EQ(facility.instanceDestinations(*facility.instance("Edge")), std::make_pair(5, 4));

    const struct Case {
        const char* line;
        const char* error;  // at read time; "" for none
    } cases[] = {
        {"expect route B 11 7", ""},
        {"expect route B 16 7", ""},
        {"expect route B 17 7",
         "s:1: destination 17 is outside instance \"B\" (its destinations 1..16 are the router's 17..32)"},
        {"route B 0 1",
         "s:1: destination 0 is outside instance \"B\" (its destinations 1..16 are the router's 17..32)"},
        {"lock A 17", "s:1: destination 17 is outside instance \"A\" (its destinations 1..16 are the router's 1..16)"},
        {"unlock Edge 1", "s:1: destination 1 is outside instance \"Edge\" (it spans no destination of the router)"},
        {"expect route 7 32 7", ""},
        {"expect route B Out 7", ""},  // names are the router's
    };
    for (const auto& c : cases) {
        std::vector<ScenarioStep> steps;
        ASSERT_TRUE(parseScenario(c.line, "s", steps, error)) << error;
        error.clear();
        EXPECT_EQ(checkInstanceNumbers(facility, steps, error), *c.error == '\0') << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }

    // Run: B's 3 is the router's 19, A's 3 the router's 3.
    SimHost host(std::move(facility));
    std::ostringstream err;
    ScenarioRunner runner(
        host, [](std::string&) { return false; }, err);
    std::vector<ScenarioStep> steps;
    ASSERT_TRUE(
        parseScenario("route B 3 5\nexpect route 7 19 5\nexpect route B Out 5\nroute A 3 6\n"
                      "expect route 7 3 6\nlock B 4\nexpect route B 3 5\n",
                      "s", steps, error))
        << error;
    EXPECT_EQ(runner.run(steps), ScenarioRunner::Outcome::ok) << err.str();
    const auto& locked = host.facility().router(7)->locked;
    ASSERT_EQ(locked.size(), 1u);
    EXPECT_EQ(locked.begin()->first, 20);
    // A step typed or sent by the page meets the rule when it runs.
    steps.clear();
    ASSERT_TRUE(parseScenario("expect route B 17 5\n", "s", steps, error)) << error;
    EXPECT_EQ(runner.run(steps), ScenarioRunner::Outcome::error);
    EXPECT_NE(err.str().find("destination 17 is outside instance \"B\""), std::string::npos) << err.str();
}

}  // namespace
