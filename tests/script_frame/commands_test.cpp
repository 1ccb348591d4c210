#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "test_panel.h"

namespace {

using Texts = std::vector<std::string>;

struct CommandCase {
    const char* name;
    std::function<void(TestPanel&)> action;
    const char* expected;
};

// Each operation sends exactly one text, byte for byte; only the replies of
// SD, XI, RN and TG travel back, and only those when the host gave one.
TEST(command_protocol, sends_exact_command_texts) {
    const CommandCase cases[] = {
        {"SD", [](TestPanel& p) { p.lookupDevice("K7 SDI Router", nullptr, nullptr); }, "SD 'K7 SDI Router'"},
        {"XI", [](TestPanel& p) { p.listControls("1", "alm_"); }, "XI '1' 'alm_'"},
        {"PS", [](TestPanel& p) { p.showPanel("1", "k7_mon.zarn_ui", ""); }, "PS '1' 'k7_mon.zarn_ui'"},
        {"PS path",
         [](TestPanel& p) {
             p.scriptPath = "panels";
             p.showPanel("1", "k7_mon.zarn_ui", "");
         },
         "PS '1' 'panels/k7_mon.zarn_ui'"},
        {"PS path with slash",
         [](TestPanel& p) {
             p.scriptPath = "panels/";
             p.showPanel("1", "f", "");
         },
         "PS '1' 'panels//f'"},
        {"PS parameter", [](TestPanel& p) { p.showPanel("2", "f", "a b"); }, "PS '2' 'f' 'a b'"},
        {"RC", [](TestPanel& p) { p.makeCrosspoint(3, 12, 40, "", false); }, "RC 3 12 40 ',' 0"},
        {"RC extra", [](TestPanel& p) { p.makeCrosspoint(3, 12, 40, "x", true); }, "RC 3 12 40 ',x' 1"},
        {"RC negative", [](TestPanel& p) { p.makeCrosspoint(-1, 0, INT_MIN, "", true); }, "RC -1 0 -2147483648 ',' 1"},
        {"RN",
         [](TestPanel& p) {
             zarn_string entry;
             p.readDatabaseEntry(7, 1, 390, entry);
         },
         "RN 7 1 390"},
        {"RP", [](TestPanel& p) { p.pollRouter(5, 1, 20); }, "RP 5 1 20"},
        {"RP wide", [](TestPanel& p) { p.pollRouter(INT_MIN, INT_MIN, INT_MIN); },
         "RP -2147483648 -2147483648 -2147483648"},
        {"RR add", [](TestPanel& p) { p.registerRouter(5, 20, 20, true); }, "RR 5 20 20 'ADD'"},
        {"RR", [](TestPanel& p) { p.registerRouter(5, 20, 20, false); }, "RR 5 20 20"},
        {"RR wide", [](TestPanel& p) { p.registerRouter(INT_MIN, INT_MIN, INT_MIN, true); },
         "RR -2147483648 -2147483648 -2147483648 'ADD'"},
        {"RU", [](TestPanel& p) { p.unregisterRouter(INT_MIN); }, "RU -2147483648"},
        {"ET start", [](TestPanel& p) { p.startTimer(1, 160); }, "ET 1 160"},
        {"ET start 0", [](TestPanel& p) { p.startTimer(1, 0); }, "ET 1"},
        {"ET stop", [](TestPanel& p) { p.stopTimer(1); }, "ET 1"},
        {"ET wide", [](TestPanel& p) { p.startTimer(INT_MAX, INT_MIN); }, "ET 2147483647 -2147483648"},
        {"TP", [](TestPanel& p) { p.setProperty("statesheet", "RZ_Tally_Red", "1", "ID_1"); },
         "TP 'statesheet=RZ_Tally_Red' '1' 'ID_1'"},
        {"TP empty property", [](TestPanel& p) { p.setProperty("", "/images/SmallTick.png", "1", "VidLevel"); },
         "TP '=/images/SmallTick.png' '1' 'VidLevel'"},
        {"TP text", [](TestPanel& p) { p.setPropertyText("select=-1", "1", "Sources"); },
         "TP 'select=-1' '1' 'Sources'"},
        {"TG",
         [](TestPanel& p) {
             zarn_string value;
             p.textGet("value", "1", "alm_3", value);
         },
         "TG '1' 'alm_3' 'value'"},
        // Argument texts arrive unchanged: no trimming, quotes not escaped,
        // placeholders inside them not filled again.
        {"SD placeholder", [](TestPanel& p) { p.lookupDevice(" it's %1 ", nullptr, nullptr); }, "SD ' it's %1 '"},
        {"XI placeholders", [](TestPanel& p) { p.listControls("%2", "%1"); }, "XI '%2' '%1'"},
        {"RC placeholder", [](TestPanel& p) { p.makeCrosspoint(1, 2, 3, "%1%5", false); }, "RC 1 2 3 ',%1%5' 0"},
        {"TP placeholder", [](TestPanel& p) { p.setProperty("text", "%1 'q'", "1", "Vidtally_1"); },
         "TP 'text=%1 'q'' '1' 'Vidtally_1'"},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingHost host;
        host.answer(c.expected, std::string("reply"));
        DebugCapture debug;  // TG's "reply" names no property
        {
            TestPanel panel(&host);
            c.action(panel);
            ASSERT_FALSE(host.commands.empty());
            EXPECT_EQ(host.commands.front(), c.expected);
            host.forget(c.expected);
        }
        // The panel's last command is AS; replies of these commands other
        // than SD, XI, RN and TG stay with the host.
        const std::string word = std::string(c.expected).substr(0, 2);
        const bool handsBack = word == "SD" || word == "XI" || word == "RN" || word == "TG";
        const Texts expected =
            handsBack ? Texts{c.expected, std::string("release ") + c.expected, "AS"} : Texts{c.expected, "AS"};
        EXPECT_EQ(host.trace, expected);
        EXPECT_TRUE(host.faults.empty());
    }
}

TEST(command_protocol, destructor_sends_as_last_and_keeps_its_reply) {
    RecordingHost host;
    host.answer("AS", std::string("ok"));
    { TestPanel panel(&host); }
    EXPECT_EQ(host.trace, Texts{"AS"});
    EXPECT_EQ(host.outstanding(), Texts{"AS"});
}

TEST(command_protocol, lookup_device_reads_two_tokens) {
    const struct {
        const char* reply;  // null: no reply
        int32_t device;
        int32_t offset;
    } cases[] = {
        {"1234 0", 1234, 0}, {"17", 17, 0},           {"", 0, 0},      {"-5 3 extra tokens", -5, 3},
        {"12x 4", 12, 4},    {"99999999999 5", 0, 5}, {"'7' 8", 0, 7}, {nullptr, 0, 0},
    };
    const std::string request = "SD 'K7 SDI Router'";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply ? c.reply : "<null>");
        RecordingHost host;
        if (c.reply) host.answer(request, std::string(c.reply));
        TestPanel panel(&host);
        int32_t device = 99;
        int32_t offset = 99;
        EXPECT_EQ(panel.lookupDevice("K7 SDI Router", &device, &offset), c.reply != nullptr);
        EXPECT_EQ(device, c.device);
        EXPECT_EQ(offset, c.offset);
        const Texts trace = c.reply ? Texts{request, "release " + request} : Texts{request};
        EXPECT_EQ(host.trace, trace);
    }
}

TEST(command_protocol, list_controls_keeps_host_order) {
    RecordingHost host;
    host.answer("XI '1' 'alm_'", std::string("alm_3,alm_1,alm_2"));
    TestPanel panel(&host);
    const zarn_stringlist list = panel.listControls("1", "alm_");
    ASSERT_EQ(list.count(), 3);
    EXPECT_STREQ(list.at(0), "alm_3");
    EXPECT_STREQ(list.at(1), "alm_1");
    EXPECT_STREQ(list.at(2), "alm_2");
    EXPECT_EQ(host.trace, (Texts{"XI '1' 'alm_'", "release XI '1' 'alm_'"}));

    host.clear();
    EXPECT_TRUE(panel.listControls("2", "x").isEmpty());
    EXPECT_EQ(host.trace, Texts{"XI '2' 'x'"});
}

TEST(command_protocol, show_panel_tests_reply_for_null_only) {
    RecordingHost host;
    TestPanel panel(&host);
    EXPECT_FALSE(panel.showPanel("1", "f", ""));
    host.answer("PS '1' 'f'", std::string("ok"));
    EXPECT_TRUE(panel.showPanel("1", "f", ""));
    EXPECT_EQ(host.trace, (Texts{"PS '1' 'f'", "PS '1' 'f'"}));
}

TEST(command_protocol, read_database_entry_hands_back_every_reply) {
    RecordingHost host;
    host.answer("RN 7 0 12", std::string("12,-"));
    TestPanel panel(&host);
    zarn_string entry("earlier");
    panel.readDatabaseEntry(7, 0, 12, entry);
    EXPECT_STREQ(entry, "12,-");
    panel.readDatabaseEntry(7, 1, 390, entry);
    EXPECT_STREQ(entry, "12,-");
    EXPECT_EQ(host.trace, (Texts{"RN 7 0 12", "release RN 7 0 12", "RN 7 1 390", "release null"}));
}

TEST(command_protocol, text_get_reads_the_requested_property) {
    const std::string request = "TG '1' 'alm_3' 'value'";
    const std::string mismatch =
        "textGet: value returned \"Value\" was not the value requested \"value\" (value returned was \"Value=2\" "
        "from control \"alm_3\", on panel \"1\")";
    const struct {
        const char* reply;  // null: no reply
        const char* value;
        std::string diagnostic;
    } cases[] = {
        {"value=2", "2", ""},
        {"value=a=b", "a=b", ""},
        {"value=", "", ""},
        {"value", "", ""},
        {"Value=2", "", mismatch},
        {" value=2", "",
         "textGet: value returned \" value\" was not the value requested \"value\" (value returned "
         "was \" value=2\" from control \"alm_3\", on panel \"1\")"},
        // Texts from the host are inserted once, never filled again.
        {"%2=%1", "",
         "textGet: value returned \"%2\" was not the value requested \"value\" (value returned was "
         "\"%2=%1\" from control \"alm_3\", on panel \"1\")"},
        {nullptr, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply ? c.reply : "<null>");
        RecordingHost host;
        if (c.reply) host.answer(request, std::string(c.reply));
        TestPanel panel(&host);
        DebugCapture debug;
        zarn_string value("earlier");
        panel.textGet("value", "1", "alm_3", value);
        EXPECT_STREQ(value, c.value);
        const Texts diagnostics = c.diagnostic.empty() ? Texts{} : Texts{c.diagnostic};
        EXPECT_EQ(debug.output(), diagnostics);
        const Texts trace = c.reply ? Texts{request, "release " + request} : Texts{request};
        EXPECT_EQ(host.trace, trace);
    }
}

TEST(command_protocol, text_get_all_returns_the_whole_reply) {
    RecordingHost host;
    host.answer("TG '1' 'x' 'all'", std::string("a=1\nb=2"));
    TestPanel panel(&host);
    DebugCapture debug;
    zarn_string value;
    panel.textGet("all", "1", "x", value);
    EXPECT_STREQ(value, "a=1\nb=2");
    EXPECT_TRUE(debug.output().empty());
}

TEST(command_protocol, text_get_result_may_be_an_argument) {
    RecordingHost host;
    host.answer("TG '1' 'x' 'value'", std::string("value=5"));
    TestPanel panel(&host);
    zarn_string text("value");
    panel.textGet(text, "1", "x", text);
    EXPECT_STREQ(text, "5");
}

TEST(command_protocol, without_host_sends_nothing) {
    DebugCapture debug;
    TestPanel panel(nullptr, "panels");
    EXPECT_EQ(panel.sendCommand("AS"), nullptr);
    int32_t device = 9;
    int32_t offset = 9;
    EXPECT_FALSE(panel.lookupDevice("x", &device, &offset));
    EXPECT_EQ(device, 0);
    EXPECT_EQ(offset, 0);
    EXPECT_TRUE(panel.listControls("1", "alm_").isEmpty());
    EXPECT_TRUE(panel.showPanel("1", "f", "p"));
    zarn_string entry("kept");
    panel.readDatabaseEntry(1, 2, 3, entry);
    EXPECT_STREQ(entry, "kept");
    zarn_string value("old");
    panel.textGet("value", "1", "x", value);
    EXPECT_STREQ(value, "");
    panel.makeCrosspoint(1, 2, 3, "", true);
    panel.pollRouter(1, 2, 3);
    panel.registerRouter(1, 2, 3, true);
    panel.unregisterRouter(1);
    panel.startTimer(1, 2);
    panel.stopTimer(1);
    panel.setProperty("a", "b", "1", "c");
    panel.setPropertyText("a=b", "1", "c");
    EXPECT_TRUE(debug.output().empty());
}

TEST(debug_print, fills_placeholders_once_and_writes_one_text) {
    TestPanel panel(nullptr);
    DebugCapture debug;
    panel.debugPrint("%1-%2", "a", "b");
    panel.debugPrint("no placeholders");
    panel.debugPrint("%2<%1", "%2", "%1");
    panel.debugPrint("%1%2%3%4%5%6%7%8%9", "1", "2", "3", "4", "5", "6", "7", "8", "9");
    EXPECT_EQ(debug.output(), (Texts{"a-b", "no placeholders", "%1<%2", "123456789"}));
}

}  // namespace
