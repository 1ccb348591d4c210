// Allocation budgets of the K7 panel, counted across the library boundary:
// libk7_mon.so is loaded by path and its operator new calls land in this
// executable's counting allocator. The budgets assume a standard library that
// keeps texts of up to 15 bytes inside the string object (libstdc++).
#include <gtest/gtest.h>
#include <zarn/zarn_client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "support/counting_allocator.h"
#include "support/host_events.h"
#include "support/panel_entry_point.h"
#include "support/recording_host.h"

namespace {

load_zarn_client_script_fn entryPoint() {
    static const load_zarn_client_script_fn entry = panelEntryPoint(K7_MON_LIBRARY);
    return entry;
}

// Answers from fixed buffers, so the host itself allocates nothing. Devices
// in the order of the panel's look-ups; database 1 (monitor destinations) and
// 0 (source packages) answer one entry each.
struct FixedAnswers {
    char* operator()(const char* text) {
        if (std::strncmp(text, "SD ", 3) == 0) return devices[lookups++ % 4];
        if (std::strncmp(text, "RN ", 3) == 0) return std::strstr(text, " 1 ") ? destinationEntry : sourceEntry;
        return nullptr;
    }
    int lookups = 0;
    char devices[4][8] = {"201 0", "202 0", "101 0", "102 0"};
    char destinationEntry[8] = "40,20";
    char sourceEntry[8] = "11,3";
};

class FixedHost : public RecordingHost {
public:
    FixedHost() {
        recordTexts = false;
        fixedAnswer = [this](const char* text) { return answers(text); };
    }

private:
    FixedAnswers answers;
};

struct Budget {
    const char* what;
    std::function<void(zarn_client_callback&)> setUp;  // outside the count
    std::function<void(zarn_client_callback&)> action;
    int allocations;
    int commands;
};

TEST(K7AllocationBudget, each_notification_stays_within_its_budget) {
    const char* const shortTally = "Studio A PGM";
    const char* const longTally = "Studio A programme, clean feed, backup";
    const auto none = [](zarn_client_callback&) {};
    const auto press = [](const char* control, const char* value = "") {
        return [control, value](zarn_client_callback& panel) {
            ButtonPress event(control, "", value);
            panel.callback(event.data(), zarn_type_button);
        };
    };
    // The record is built here, outside the count.
    const auto revertive = [](const char* text) {
        auto event = std::make_shared<zarn_revertive_record>(revertiveEvent(101, 40, text));
        return [event](zarn_client_callback& panel) { panel.callback(event->event(), zarn_type_revertive); };
    };
    const auto parent = [](const char* text, bool handBack) {
        return [text, handBack](zarn_client_callback& panel) {
            char message[64];
            std::snprintf(message, sizeof message, "%s", text);
            char* reply = panel.callback(message, zarn_type_parent_message);
            if (handBack) panel.callback(reply, zarn_type_release);
        };
    };
    const Budget budgets[] = {
        // RN, RC, RC, ET: every text fits inside its string object.
        {"take to monitor 1", none, press("Sources", "12"), 0, 4},
        {"take to monitor 3", press("Mon_3"), press("Sources", "12"), 0, 4},
        {"monitor select", none, press("Mon_2"), 0, 2},
        {"timer tick", none, [](zarn_client_callback& p) { p.callback(asPointer(1), zarn_type_timer); }, 0, 2},
        {"revertive, short tally", none, revertive(shortTally), 0, 1},
        // The tally text goes from the host's record into the TP, not into a
        // string of its own, however long it is.
        {"revertive, long tally", none, revertive(longTally), 0, 1},
        // The parse's copy only.
        {"parent sets myParam", none, parent("myParam=Bay K7", false), 1, 0},
        // The parse's copy, the reply buffer, the record of it as outstanding;
        // the hand-back frees both without allocating. (The first reply ever
        // also sizes the table of outstanding replies, so one read comes first.)
        {"parent reads myParam",
         [&](zarn_client_callback& p) {
             parent("myParam=Bay K7", false)(p);
             parent("return=myParam", true)(p);
         },
         parent("return=myParam", true), 3, 0},
    };
    for (const Budget& budget : budgets) {
        FixedHost host;
        zarn_client_callback* panel = entryPoint()(&host, "panels");
        ASSERT_NE(panel, nullptr);
        budget.setUp(*panel);
        const int before = host.commandCount;
        int made = 0;
        {
            counting_allocator::Scope scope;
            budget.action(*panel);
            made = scope.count();
        }
        EXPECT_EQ(made, budget.allocations) << budget.what;
        EXPECT_EQ(host.commandCount - before, budget.commands) << budget.what;
        delete panel;
    }
}

TEST(K7AllocationBudget, start_up_and_shut_down) {
    FixedHost host;
    counting_allocator::Scope scope;
    zarn_client_callback* panel = entryPoint()(&host, "panels");
    ASSERT_NE(panel, nullptr);
    // The panel object, the four device-reply parses and the 16-byte "K7
    // Package Names" handed to lookupDevice; the two 21-byte level images go
    // into their TP as they are.
    EXPECT_EQ(scope.count(), 6);
    EXPECT_EQ(host.commandCount, 37);
    delete panel;
    EXPECT_EQ(scope.count(), 6);
    EXPECT_EQ(host.commandCount, 40);
}

}  // namespace
