#include <gtest/gtest.h>
#include <zarn/host_commands.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "support/recording_host.h"
#include "test_panel.h"

namespace {

using Texts = std::vector<std::string>;

// The plain forms of these texts are checked where the K7 and alarm panels send them.
TEST(command_protocol, sends_exact_command_texts_and_hands_back_only_read_replies) {
    const std::pair<std::function<void(TestPanel&)>, const char*> cases[] = {
        {[](TestPanel& p) { p.showPanel("2", "f", "a b"); }, "PS '2' 'f' 'a b'"},
        {[](TestPanel& p) { p.makeCrosspoint(3, 12, 40, "x", true); }, "RC 3 12 40 ',x' 1"},
        {[](TestPanel& p) { p.makeCrosspoint(-1, 0, INT_MIN, "", true); }, "RC -1 0 -2147483648 ',' 1"},
        {[](TestPanel& p) { p.readDatabaseEntry(7, 1, 390, p.readBack); }, "RN 7 1 390"},
        {[](TestPanel& p) { p.pollRouter(INT_MIN, INT_MIN, INT_MIN); }, "RP -2147483648 -2147483648 -2147483648"},
        {[](TestPanel& p) { p.registerRouter(INT_MIN, INT_MIN, INT_MIN, true); },
         "RR -2147483648 -2147483648 -2147483648 'ADD'"},
        {[](TestPanel& p) { p.unregisterRouter(INT_MIN); }, "RU -2147483648"},
        {[](TestPanel& p) { p.startTimer(1, 0); }, "ET 1"},
        {[](TestPanel& p) { p.startTimer(INT_MAX, INT_MIN); }, "ET 2147483647 -2147483648"},
        // Argument texts arrive unchanged: no trimming, quotes not escaped, placeholders not filled again.
        {[](TestPanel& p) { p.lookupDevice(" it's %1 ", nullptr, nullptr); }, "SD ' it's %1 '"},
        {[](TestPanel& p) { p.listControls("%2", "%1"); }, "XI '%2' '%1'"},
        {[](TestPanel& p) { p.makeCrosspoint(1, 2, 3, "%1%5", false); }, "RC 1 2 3 ',%1%5' 0"},
        {[](TestPanel& p) { p.setProperty("text", "%1 'q'", "1", "Vidtally_1"); }, "TP 'text=%1 'q'' '1' 'Vidtally_1'"},
        {[](TestPanel& p) { p.setProperty(PreparedProperty("text", "1", "Vidtally_1"), "%1 'q'"); },
         "TP 'text=%1 'q'' '1' 'Vidtally_1'"},
        // A null value reads as empty, whichever way the property is given.
        {[](TestPanel& p) { p.setProperty("text", static_cast<const char*>(nullptr), "1", "c"); },
         "TP 'text=' '1' 'c'"},
        {[](TestPanel& p) { p.setProperty(PreparedProperty("", "", ""), nullptr); }, "TP '=' '' ''"},
        {[](TestPanel& p) {
             p.scriptPath = "panels/";
             p.showPanel("1", "f", "");
         },
         "PS '1' 'panels//f'"},
    };
    for (const auto& [action, expected] : cases) {
        SCOPED_TRACE(expected);
        RecordingHost host;
        host.answer(expected, std::string("reply"));
        host.answer("AS", std::string("kept"));  // the destructor's last command; its reply stays with the host
        {
            TestPanel panel(&host);
            action(panel);
            host.forget(expected);
        }
        const std::string word = std::string(expected).substr(0, 2);
        const zarn::HostCommand* command = zarn::findHostCommand(word);
        ASSERT_NE(command, nullptr) << "the frame sends a word the host command table does not have";
        const bool handsBack = command->replyHandedBack();
        EXPECT_EQ(host.trace,
                  (handsBack ? Texts{expected, std::string("release ") + expected, "AS"} : Texts{expected, "AS"}));
        EXPECT_TRUE(host.faults.empty());
    }
}

// Commands are built in a buffer of 256 bytes and move to the heap beyond it:
// lengths around that edge, and far past it, must arrive whole.
TEST(command_protocol, long_arguments_arrive_whole) {
    for (const std::size_t length : {0u, 49u, 50u, 239u, 240u, 241u, 242u, 255u, 256u, 300u, 100000u}) {
        const std::string value(length, 'v');
        RecordingHost host;
        {
            TestPanel panel(&host);
            panel.setPropertyText(value.c_str(), "1", "c");
            panel.textGet(value.c_str(), "1", "c", panel.readBack);
            panel.makeCrosspoint(INT_MIN, INT_MIN, INT_MIN, value.c_str(), true);
            // TP with its value as a string, as a text and into a prepared
            // property; the prepared one outlives the strings it was made of.
            panel.setProperty("p", zarn_string(value.c_str()), "1", "c");
            panel.setProperty("p", value.c_str(), "1", "c");
            const PreparedProperty prepared(zarn_string("p"), zarn_string("1"), zarn_string("c"));
            panel.setProperty(prepared, value.c_str());
            // Prepared around a long text: past the object's own buffer.
            panel.setProperty(PreparedProperty(value.c_str(), "1", "c"), "v");
        }
        const std::string property = "TP 'p=" + value + "' '1' 'c'";
        EXPECT_EQ(host.commands, (Texts{"TP '" + value + "' '1' 'c'", "TG '1' 'c' '" + value + "'",
                                        "RC -2147483648 -2147483648 -2147483648 '," + value + "' 1", property, property,
                                        property, "TP '" + value + "=v' '1' 'c'", "AS"}))
            << length;
    }
}

// A prepared TP shorter than 32 bytes with a value shorter than 224 is
// written in fixed windows; every other goes the general way. Around both
// edges, and with head and tail of every length, it sends what the plain
// setProperty sends.
TEST(command_protocol, prepared_property_matches_the_plain_one) {
    for (const std::size_t controlSize : {0u, 1u, 14u, 15u, 16u, 17u, 40u}) {
        for (const std::size_t propertySize : {0u, 4u, 20u}) {
            for (const std::size_t valueSize : {0u, 1u, 8u, 16u, 17u, 32u, 222u, 223u, 224u, 225u, 300u}) {
                const std::string control(controlSize, 'c');
                const std::string property(propertySize, 'p');
                const std::string value(valueSize, 'v');
                RecordingHost host;
                {
                    TestPanel panel(&host);
                    panel.setProperty(PreparedProperty(property.c_str(), "1", control.c_str()), value.c_str());
                    panel.setProperty(property.c_str(), value.c_str(), "1", control.c_str());
                }
                ASSERT_EQ(host.commands.size(), 3u);
                EXPECT_EQ(host.commands[0], host.commands[1])
                    << "property " << propertySize << ", control " << controlSize << ", value " << valueSize;
                EXPECT_EQ(host.commands[1], "TP '" + property + "=" + value + "' '1' '" + control + "'");
            }
        }
    }
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
        EXPECT_EQ(host.trace, (c.reply ? Texts{request, "release " + request} : Texts{request}));
    }
}

TEST(command_protocol, show_panel_tests_reply_for_null_only) {
    RecordingHost host;
    TestPanel panel(&host);
    EXPECT_FALSE(panel.showPanel("1", "f", ""));
    host.answer("PS '1' 'f'", std::string("ok"));
    EXPECT_TRUE(panel.showPanel("1", "f", ""));
    EXPECT_EQ(host.trace, (Texts{"PS '1' 'f'", "PS '1' 'f'"}));
}

TEST(command_protocol, read_database_entry_hands_back_a_null_reply_and_keeps_the_entry) {
    RecordingHost host;
    TestPanel panel(&host);
    zarn_string entry("earlier");
    panel.readDatabaseEntry(7, 1, 390, entry);
    EXPECT_STREQ(entry, "earlier");
    EXPECT_EQ(host.trace, (Texts{"RN 7 1 390", "release null"}));
}

TEST(command_protocol, text_get_reads_the_requested_property) {
    const auto mismatch = [](const std::string& name, const std::string& reply) {
        return "textGet: value returned \"" + name + "\" was not the value requested \"value\" (value returned was \"" +
               reply + "\" from control \"alm_3\", on panel \"1\")";
    };
    const struct {
        const char* property;
        const char* reply;  // null: no reply
        const char* value;
        std::string diagnostic;
    } cases[] = {
        {"value", "value=2", "2", ""},
        {"value", "value=a=b", "a=b", ""},
        {"value", "value=", "", ""},
        {"value", "value", "", ""},
        {"value", "Value=2", "", mismatch("Value", "Value=2")},
        {"value", " value=2", "", mismatch(" value", " value=2")},
        {"value", "%2=%1", "", mismatch("%2", "%2=%1")},  // host texts are inserted once, never filled again
        {"value", nullptr, "", ""},
        {"all", "a=1\nb=2", "a=1\nb=2", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply ? c.reply : "<null>");
        const std::string request = std::string("TG '1' 'alm_3' '") + c.property + "'";
        RecordingHost host;
        if (c.reply) host.answer(request, std::string(c.reply));
        TestPanel panel(&host);
        DebugCapture debug;
        zarn_string value("earlier");
        panel.textGet(c.property, "1", "alm_3", value);
        EXPECT_STREQ(value, c.value);
        EXPECT_EQ(debug.output(), (c.diagnostic.empty() ? Texts{} : Texts{c.diagnostic}));
        EXPECT_EQ(host.trace, (c.reply ? Texts{request, "release " + request} : Texts{request}));
    }
}

TEST(command_protocol, text_get_result_may_be_an_argument) {
    RecordingHost host;
    host.answer("TG '1' 'x' 'value'", std::string("value=5"));
    TestPanel panel(&host);
    zarn_string text("value");
    panel.textGet(text, "1", "x", text);
    EXPECT_STREQ(text, "5");
}

// Every operation returns at once without a host; these are the ones with a result.
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
    panel.setProperty(PreparedProperty("text", "1", "x"), "v");
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
