// Counts heap allocations around single operations: a parse allocates its one
// copy, and the integer-formatted commands allocate nothing.
#include <gtest/gtest.h>
#include <zarn/param_command.h>

#include <cstring>
#include <functional>

#include "decode_zarn_string.h"
#include "support/counting_allocator.h"
#include "support/recording_host.h"
#include "test_panel.h"

namespace {

using CountedScope = counting_allocator::Scope;

TEST(allocation, a_parse_allocates_only_its_copy) {
    const char* const texts[] = {"a.b.c=d.e",
                                 "c.s0.s1.s2.s3.s4.s5.s6.s7.s8.s9.s10.s11.s12.s13.s14.s15.s16.s17.s18."
                                 "s19.s20.s21.s22.s23.s24.s25.s26.s27.s28.s29.s30.s31.s32=v"};
    for (const char* text : texts) {
        CountedScope scope;
        { const ParamCommand parsed(text); }
        EXPECT_EQ(scope.count(), 1) << text;
    }
    for (const char* text : {"1234 0", "a 'b c' d e f g h i j k l m n o p q r s t u v w x y z 1 2 3 4 5 6 7 8 9"}) {
        CountedScope scope;
        { const decodeZARNString decoded(text, '\''); }
        EXPECT_EQ(scope.count(), 1) << text;
    }
    CountedScope scope;
    {
        const ParamCommand parsed(nullptr);
        const ParamCommand empty("");
        const decodeZARNString decoded(nullptr, '\'');
        const decodeZARNString blank("", '\'');
    }
    EXPECT_EQ(scope.count(), 0);
}

TEST(allocation, integer_commands_allocate_nothing) {
    RecordingHost host;
    host.recordTexts = false;  // keeps the last command in a fixed buffer, allocating nothing
    TestPanel panel(&host);
    {
        CountedScope scope;
        panel.pollRouter(INT32_MIN, INT32_MIN, INT32_MIN);
        panel.registerRouter(INT32_MIN, INT32_MIN, INT32_MIN, true);
        EXPECT_STREQ(host.lastCommand, "RR -2147483648 -2147483648 -2147483648 'ADD'");
        panel.registerRouter(1, 2, 3, false);
        panel.unregisterRouter(INT32_MIN);
        panel.startTimer(INT32_MIN, INT32_MIN);
        panel.startTimer(2, 0);
        panel.stopTimer(INT32_MAX);
        EXPECT_EQ(scope.count(), 0);
    }
    EXPECT_EQ(host.commandCount, 7);
}

// Answers every command with one long reply and makes allocation fail until
// the reply comes back, so copying the reply is what fails.
class StarvingHost : public zarn_client_callback {
public:
    char reply[64] = "value=a reply longer than any small-string buffer";
    int handedBack = 0;
    char* callback(void* data, int32_t type) override {
        if (type == zarn_type_release && data == reply) {
            ++handedBack;
            counting_allocator::setFailing(false);
        }
        if (type != zarn_type_command || std::strcmp(static_cast<const char*>(data), "AS") == 0) return nullptr;
        counting_allocator::setFailing(true);
        return reply;
    }
};

TEST(allocation, a_reply_comes_back_when_copying_it_fails) {
    StarvingHost host;
    TestPanel panel(&host);
    zarn_string text;
    const std::function<void()> operations[] = {
        [&] { panel.lookupDevice("X", nullptr, nullptr); },
        [&] { panel.listControls("1", "alm_"); },
        [&] { panel.readDatabaseEntry(1, 2, 3, text); },
        [&] { panel.textGet("value", "1", "alm_1", text); },
    };
    for (const auto& operation : operations) {
        host.handedBack = 0;
        EXPECT_THROW(operation(), std::bad_alloc);
        counting_allocator::setFailing(false);
        EXPECT_EQ(host.handedBack, 1);
    }
}

}  // namespace
