#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "script_frame/frame_internal.h"
#include "support/recording_host.h"
#include "test_panel.h"

namespace {

using Texts = std::vector<std::string>;

void* integerAsPointer(std::intptr_t value) {
    return reinterpret_cast<void*>(value);
}

TEST(dispatch, revertive_reaches_on_revertive) {
    TestPanel panel(nullptr);
    RevertiveEvent event{};
    event.device = 5;
    event.index = 20;
    std::strcpy(event.text, "CAM 1");
    EXPECT_EQ(panel.callback(&event, zarn_type_revertive), nullptr);
    EXPECT_EQ(panel.calls, Texts{"revertive 5|20|CAM 1"});
}

TEST(dispatch, button_reaches_on_button) {
    TestPanel panel(nullptr);
    ButtonEventDetails details{};
    details.command = "select";
    details.value = "12";
    ButtonEvent event{};
    event.panelId = "1";
    event.controlId = "Sources";
    event.details = &details;
    EXPECT_EQ(panel.callback(&event, zarn_type_button), nullptr);

    // Null texts inside a record read as empty.
    ButtonEvent bare{};
    EXPECT_EQ(panel.callback(&bare, zarn_type_button), nullptr);
    EXPECT_EQ(panel.calls, (Texts{"button 1|Sources|select|12", "button |||"}));
}

TEST(dispatch, alarm_group_buttons_reach_on_button_while_handling_is_off) {
    TestPanel panel(nullptr);
    EXPECT_FALSE(panel.alarmHandlingEnabled);
    ButtonEventDetails details{};
    details.command = "alarm";
    details.value = "ack";
    ButtonEvent event{};
    event.panelId = "1";
    event.details = &details;
    for (const char* control : {"ActionAll", "AckAll"}) {
        event.controlId = control;
        panel.callback(&event, zarn_type_button);
    }
    // With handling on, other controls still reach the hook.
    panel.alarmHandlingEnabled = true;
    event.controlId = "Sources";
    panel.callback(&event, zarn_type_button);
    EXPECT_EQ(panel.calls,
              (Texts{"button 1|ActionAll|alarm|ack", "button 1|AckAll|alarm|ack", "button 1|Sources|alarm|ack"}));
}

TEST(dispatch, null_records_are_ignored_with_a_diagnostic) {
    TestPanel panel(nullptr);
    DebugCapture debug;
    EXPECT_EQ(panel.callback(nullptr, zarn_type_revertive), nullptr);
    EXPECT_EQ(panel.callback(nullptr, zarn_type_button), nullptr);
    EXPECT_TRUE(panel.calls.empty());
    EXPECT_EQ(debug.output().size(), 2u);
}

TEST(dispatch, integer_types_and_records) {
    TestPanel panel(nullptr);
    int record = 0;
    EXPECT_EQ(panel.callback(integerAsPointer(1), zarn_type_timer), nullptr);
    EXPECT_EQ(panel.callback(integerAsPointer(-3), zarn_type_timer), nullptr);
    EXPECT_EQ(panel.callback(integerAsPointer(42), zarn_type_value), nullptr);
    EXPECT_EQ(panel.callback(&record, zarn_type_record), nullptr);
    EXPECT_EQ(panel.calls, (Texts{"timer 1", "timer -3", "value 42", "record"}));
    EXPECT_EQ(panel.lastRecord, &record);
}

TEST(dispatch, other_types_are_ignored) {
    RecordingHost host;
    TestPanel panel(&host);
    int data = 0;
    for (int32_t type : {0, 8, -1, 1000, INT32_MIN}) {
        EXPECT_EQ(panel.callback(&data, type), nullptr) << type;
        EXPECT_EQ(panel.callback(nullptr, type), nullptr) << type;
    }
    EXPECT_TRUE(panel.calls.empty());
    EXPECT_TRUE(host.trace.empty());
}

TEST(dispatch, a_throwing_hook_does_not_unwind_into_the_host) {
    TestPanel panel(nullptr);
    panel.throwOnTimer = true;
    DebugCapture debug;
    EXPECT_EQ(panel.callback(integerAsPointer(4), zarn_type_timer), nullptr);
    EXPECT_EQ(debug.output(), Texts{"zarn_script_helper: notification type 4 abandoned: boom"});
}

TEST(parent_message, parsed_text_reaches_the_hook) {
    TestPanel panel(nullptr);
    char text[] = "return.x=myParam";
    EXPECT_EQ(panel.callback(text, zarn_type_parent_message), nullptr);
    EXPECT_STREQ(text, "return.x=myParam");  // the host's text is not cut
    EXPECT_EQ(panel.callback(nullptr, zarn_type_parent_message), nullptr);
    EXPECT_EQ(panel.calls, (Texts{"parent return|myParam", "parent |"}));
}

TEST(parent_message, reply_is_a_buffer_freed_once_on_hand_back) {
    TestPanel panel(nullptr);
    DebugCapture debug;
    panel.parentReply = "myParam=abc";
    char* reply = panel.callback(const_cast<char*>("return=myParam"), zarn_type_parent_message);
    ASSERT_NE(reply, nullptr);
    EXPECT_STREQ(reply, "myParam=abc");
    EXPECT_EQ(panel.callback(reply, zarn_type_release), nullptr);
    EXPECT_TRUE(debug.output().empty());

    // A second hand-back of the same pointer, a pointer never returned and a
    // null pointer are left alone (the sanitizers catch a wrong free).
    char foreign[] = "foreign";
    EXPECT_EQ(panel.callback(reply, zarn_type_release), nullptr);
    EXPECT_EQ(panel.callback(foreign, zarn_type_release), nullptr);
    EXPECT_EQ(debug.output().size(), 2u);
    EXPECT_EQ(panel.callback(nullptr, zarn_type_release), nullptr);
    EXPECT_EQ(debug.output().size(), 2u);
    EXPECT_STREQ(foreign, "foreign");
}

TEST(parent_message, empty_reply_gives_null) {
    TestPanel panel(nullptr);
    EXPECT_EQ(panel.callback(const_cast<char*>("return=instance"), zarn_type_parent_message), nullptr);
}

TEST(parent_message, replies_never_handed_back_are_freed_with_the_panel) {
    // The leak checker of the sanitizer build fails this test if they are not.
    RecordingHost host;
    auto* panel = new TestPanel(&host);
    panel->parentReply = "x";
    char* first = panel->callback(const_cast<char*>("a"), zarn_type_parent_message);
    char* second = panel->callback(const_cast<char*>("b"), zarn_type_parent_message);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    panel->callback(first, zarn_type_release);
    delete static_cast<zarn_client_callback*>(panel);
    EXPECT_EQ(host.trace, Texts{"AS"});
}

TEST(script_helper, carries_its_identification_text) {
    EXPECT_STREQ(zarn_script_helper_signature,
                 "ZARN_SIG,name=zarn_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author=K7 panel team");
}

TEST(script_helper, null_path_reads_as_empty) {
    TestPanel panel(nullptr, nullptr);
    EXPECT_STREQ(panel.scriptPath, "");
}

TEST(debug_output, writes_the_text_to_standard_error_without_line_end) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedError = dup(STDERR_FILENO);
    ASSERT_GE(savedError, 0);
    ASSERT_GE(dup2(pipeEnds[1], STDERR_FILENO), 0);
    zarn::writeDebugOutput("textGet: \"x\"");
    zarn::writeDebugOutput(nullptr);
    dup2(savedError, STDERR_FILENO);
    close(savedError);
    close(pipeEnds[1]);
    char read_back[64] = {};
    const ssize_t size = read(pipeEnds[0], read_back, sizeof read_back - 1);
    close(pipeEnds[0]);
    EXPECT_EQ(std::string(read_back, size > 0 ? static_cast<std::size_t>(size) : 0), "textGet: \"x\"");
}

}  // namespace
