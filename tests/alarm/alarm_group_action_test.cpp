#include <gtest/gtest.h>
#include <zarn/zarn_script_helper.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/debug_capture.h"
#include "support/empty_panel.h"
#include "support/host_events.h"
#include "support/recording_host.h"

namespace {

using Commands = std::vector<std::string>;

const char* const listAlarms = "XI '1' 'alm_'";

class TestPanel : public EmptyPanel {
public:
    TestPanel(zarn_client_callback* host, bool alarms) : EmptyPanel(host) { alarmHandlingEnabled = alarms; }
    void onButton(ButtonEventHandle event) override { buttons.emplace_back(event.controlId().c_str()); }

    void press(const char* control, const char* command = "", const char* value = "", bool withDetails = true) {
        ButtonPress button(control, command, value, "1", withDetails);
        callback(button.data(), zarn_type_button);
    }

    std::vector<std::string> buttons;  // controls that reached onButton
};

std::string getState(const std::string& control) {
    return "TG '1' '" + control + "' 'value'";
}
std::string setAlarm(const std::string& action, const std::string& control) {
    return "TP 'alarm=" + action + "' '1' '" + control + "'";
}
std::string setState(const std::string& state, const std::string& control) {
    return "TP 'value=" + state + "' '1' '" + control + "'";
}

class AlarmGroupAction : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(host.faults.empty());
        EXPECT_TRUE(host.outstanding().empty());
    }

    // Controls "alm_0", "alm_1", ... whose state read-backs answer with the given replies.
    std::vector<std::string> alarms(const std::vector<std::optional<std::string>>& readBacks) {
        std::vector<std::string> ids;
        std::string list;
        for (size_t i = 0; i < readBacks.size(); ++i) {
            ids.push_back("alm_" + std::to_string(i));
            list += (i ? "," : "") + ids.back();
            host.answer(getState(ids.back()), readBacks[i]);
        }
        host.answer(listAlarms, list);
        return ids;
    }

    DebugCapture debug;
    RecordingHost host;
    TestPanel panel{&host, true};
};

TEST_F(AlarmGroupAction, acknowledge_reads_states_back_and_rewrites_state_1) {
    alarms({"value=1", "value=3"});
    panel.press("ActionAll", "alarm", "ack");
    EXPECT_EQ(host.trace, (Commands{listAlarms, "release XI '1' 'alm_'", setAlarm("ack", "alm_0"), getState("alm_0"),
                                    "release " + getState("alm_0"), setState("4", "alm_0"), setAlarm("ack", "alm_1"),
                                    getState("alm_1"), "release " + getState("alm_1")}));
    // AckAll, whatever its details, acknowledges with the alarm text "4".
    host.clear();
    panel.press("AckAll", "anything");
    EXPECT_EQ(host.commands, (Commands{listAlarms, setAlarm("4", "alm_0"), getState("alm_0"), setState("4", "alm_0"),
                                       setAlarm("4", "alm_1"), getState("alm_1")}));
    EXPECT_TRUE(panel.buttons.empty());
}

TEST_F(AlarmGroupAction, other_actions_write_alarm_text_and_at_most_a_state) {
    const std::pair<const char*, const char*> cases[] = {
        // action, state written to "value" or null for none
        {"0", "0"},    {"7", "7"},     {"9", "9"},     {"12", nullptr}, {"reset", nullptr},
        {"", nullptr}, {"x", nullptr}, {"-", nullptr}, {" ", nullptr},
    };
    for (const auto& [action, state] : cases) {
        SCOPED_TRACE(std::string("action \"") + action + "\"");
        host.clear();
        const std::vector<std::string> ids = alarms({"value=1", "value=1"});
        panel.press("ActionAll", "alarm", action);
        Commands expected{listAlarms};
        for (const std::string& id : ids) {
            expected.push_back(setAlarm(action, id));
            if (state) expected.push_back(setState(state, id));
        }
        EXPECT_EQ(host.commands, expected);
    }
}

TEST_F(AlarmGroupAction, acknowledge_rewrites_only_states_outside_0_and_2_to_5) {
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {"value=1", true},  {"value=6", true},  {"value=-2", true},    {"value=99", true},
        {"value=0", false}, {"value=2", false}, {"value=3", false},    {"value=4", false},
        {"value=5", false}, {"value=", false},  {std::nullopt, false},  // null reply: empty read-back
        {"Value=1", false},  // reply names another property: diagnostic, empty read-back
    };
    std::vector<std::optional<std::string>> readBacks;
    for (const auto& c : cases) readBacks.push_back(c.first);
    const std::vector<std::string> ids = alarms(readBacks);
    panel.press("ActionAll", "alarm", "ack");
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE("read-back " + cases[i].first.value_or("null"));
        const auto sent = std::count(host.commands.begin(), host.commands.end(), setState("4", ids[i]));
        EXPECT_EQ(sent, cases[i].second ? 1 : 0);
    }
    ASSERT_EQ(debug.output().size(), 1u);
    EXPECT_NE(debug.output()[0].find("\"Value\""), std::string::npos) << debug.output()[0];
    EXPECT_NE(debug.output()[0].find(ids.back()), std::string::npos) << debug.output()[0];
}

TEST_F(AlarmGroupAction, no_alarm_controls_sends_the_list_request_only) {
    host.answer(listAlarms, "");
    panel.press("AckAll");
    EXPECT_EQ(host.trace, (Commands{listAlarms, "release XI '1' 'alm_'"}));
    host.clear();
    host.answer(listAlarms, std::nullopt);
    panel.press("ActionAll", "alarm", "0");
    EXPECT_EQ(host.trace, Commands{listAlarms});
}

TEST_F(AlarmGroupAction, entries_that_are_not_alarm_controls_are_skipped_and_reported) {
    host.answer(listAlarms, "alm_1,,Fader_1,alm_x' '2' 'Fader_2,alm_2,");
    panel.press("ActionAll", "alarm", "0");
    EXPECT_EQ(host.commands, (Commands{listAlarms, setAlarm("0", "alm_1"), setState("0", "alm_1"),
                                       setAlarm("0", "alm_2"), setState("0", "alm_2")}));
    ASSERT_EQ(debug.output().size(), 1u);
    EXPECT_NE(debug.output()[0].find("2 entries"), std::string::npos) << debug.output()[0];
    EXPECT_NE(debug.output()[0].find("Fader_1"), std::string::npos) << debug.output()[0];
}

TEST(alarm_group_buttons, events_the_interception_does_not_handle_reach_on_button) {
    const struct {
        bool enabled;
        const char* control;
        const char* command;
        bool withDetails;
        bool handled;
    } cases[] = {
        {false, "ActionAll", "alarm", true, false},  // flag off: every event reaches onButton
        {false, "AckAll", "", true, false},         {true, "ActionAll", "select", true, false},
        {true, "Mon_1", "alarm", true, false},      {true, "actionall", "alarm", true, false},
        {true, nullptr, "alarm", true, false},      {true, "ActionAll", nullptr, true, false},
        {true, "ActionAll", "", false, false},      {true, "AckAll", "", false, true},
        {true, "ActionAll", "alarm", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.control ? c.control : "null") + "/" + (c.command ? c.command : "null") +
                     (c.enabled ? " enabled" : " disabled"));
        RecordingHost host;
        host.answer(listAlarms, "alm_1");
        TestPanel panel(&host, c.enabled);
        panel.press(c.control, c.command, "0", c.withDetails);
        EXPECT_EQ(panel.buttons.size(), c.handled ? 0u : 1u);
        EXPECT_EQ(host.commands.empty(), !c.handled);
    }
}

}  // namespace
