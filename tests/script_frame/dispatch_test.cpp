#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "frame_internal.h"
#include "support/host_events.h"
#include "support/platform_debug_output.h"
#include "support/recording_host.h"
#include "test_panel.h"

namespace {

using Texts = std::vector<std::string>;

TEST(dispatch, each_type_reaches_its_hook) {
    TestPanel panel(nullptr);
    auto revertive = revertiveEvent(5, 20, "CAM 1");
    auto longText = revertiveEvent(5, 21, std::string(300, 'x'));
    ButtonPress button("Sources", "select", "12");
    ButtonPress nullTexts(nullptr, nullptr, nullptr, nullptr);  // null texts and details read as empty
    ButtonPress noDetails("", "", "", "", false);
    int record = 0;
    EXPECT_EQ(panel.callback(revertive.event(), zarn_type_revertive), nullptr);
    EXPECT_EQ(panel.callback(longText.event(), zarn_type_revertive), nullptr);
    EXPECT_EQ(panel.callback(button.data(), zarn_type_button), nullptr);
    EXPECT_EQ(panel.callback(nullTexts.data(), zarn_type_button), nullptr);
    EXPECT_EQ(panel.callback(noDetails.data(), zarn_type_button), nullptr);
    EXPECT_EQ(panel.callback(asPointer(1), zarn_type_timer), nullptr);
    EXPECT_EQ(panel.callback(asPointer(-3), zarn_type_timer), nullptr);
    EXPECT_EQ(panel.callback(asPointer(42), zarn_type_value), nullptr);
    EXPECT_EQ(panel.callback(&record, zarn_type_record), nullptr);
    EXPECT_EQ(panel.calls,
              (Texts{"revertive 5|20|CAM 1", "revertive 5|21|" + std::string(300, 'x'), "button 1|Sources|select|12",
                     "button |||", "button |||", "timer 1", "timer -3", "value 42", "record"}));
    EXPECT_EQ(panel.lastRecord, &record);
}

TEST(dispatch, null_records_are_ignored_with_a_diagnostic) {
    TestPanel panel(nullptr);
    DebugCapture debug;
    EXPECT_EQ(panel.callback(nullptr, zarn_type_revertive), nullptr);
    EXPECT_EQ(panel.callback(nullptr, zarn_type_button), nullptr);
    EXPECT_TRUE(panel.calls.empty());
    EXPECT_EQ(debug.output().size(), 2u);
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
    EXPECT_EQ(panel.callback(asPointer(4), zarn_type_timer), nullptr);
    EXPECT_EQ(debug.output(), Texts{"zarn_script_helper: notification type 4 abandoned: boom"});
    // Revertives take a path of their own to their hook, with the same guard.
    panel.throwOnRevertive = true;
    auto revertive = revertiveEvent(5, 20, "CAM 1");
    EXPECT_EQ(panel.callback(revertive.event(), zarn_type_revertive), nullptr);
    EXPECT_EQ(debug.output(), (Texts{"zarn_script_helper: notification type 4 abandoned: boom",
                                     "zarn_script_helper: notification type 1 abandoned: unknown exception"}));
}

TEST(parent_message, parsed_text_reaches_the_hook_and_an_empty_reply_gives_null) {
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

    // A second hand-back, a foreign pointer and null are left alone (the sanitizers catch a wrong free).
    char foreign[] = "foreign";
    EXPECT_EQ(panel.callback(reply, zarn_type_release), nullptr);
    EXPECT_EQ(panel.callback(foreign, zarn_type_release), nullptr);
    EXPECT_EQ(debug.output().size(), 2u);
    EXPECT_EQ(panel.callback(nullptr, zarn_type_release), nullptr);
    EXPECT_EQ(debug.output().size(), 2u);
    EXPECT_STREQ(foreign, "foreign");
}

TEST(parent_message, replies_never_handed_back_are_freed_with_the_panel) {
    // The sanitizer build's leak checker fails this test if they are not.
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

#if defined(_WIN32) && !defined(_MSC_VER)
// Slot 0 as a Microsoft-built host calls it: bit 0 set frees the panel, clear
// only destroys it (the memory stays the caller's). Both end the panel.
TEST(script_helper, deleting_destructor_slot_destroys_and_frees_by_flag) {
    for (unsigned int flags : {1u, 0u}) {
        RecordingHost host;
        alignas(TestPanel) unsigned char storage[sizeof(TestPanel)];
        TestPanel* panel = flags & 1u ? new TestPanel(&host) : new (storage) TestPanel(&host);
        zarn_client_callback* object = panel;
        void* result = object->deleting_destructor(flags);
        EXPECT_EQ(result, static_cast<void*>(object)) << flags;
        EXPECT_EQ(host.trace, Texts{"AS"}) << flags;
    }
}
#endif

TEST(script_helper, carries_its_identification_text) {
    EXPECT_STREQ(zarn_script_helper_signature,
                 "ZARN_SIG,name=zarn_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author=K7 panel team");
}

// Standard error is shared: on POSIX a diagnostic never runs into the next
// one. OutputDebugStringA gets each text as given.
TEST(debug_output, each_diagnostic_reaches_the_platform_output_on_its_own) {
    PlatformDebugOutput platform;
    const char* const texts[] = {"textGet: \"x\"", "with end\n", "", nullptr, "two\nlines"};
    for (const char* text : texts) zarn::writeDebugOutput(text);
#ifdef _WIN32
    EXPECT_EQ(platform.output(), "textGet: \"x\"with end\ntwo\nlines");
#else
    EXPECT_EQ(platform.output(), "textGet: \"x\"\nwith end\ntwo\nlines\n");
#endif
}

}  // namespace
