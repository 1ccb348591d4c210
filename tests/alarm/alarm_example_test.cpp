// Loads the alarm example library the way a host does and drives it through the boundary.
#include <gtest/gtest.h>
#include <zarn/zarn_client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/host_events.h"
#include "support/panel_entry_point.h"
#include "support/recording_host.h"

namespace {

TEST(alarm_example, shows_its_panel_and_acknowledges_through_the_base) {
    const load_zarn_client_script_fn load = panelEntryPoint(ALARM_EXAMPLE_LIBRARY);

    RecordingHost host;
    host.answer("PS '1' 'facility/alarm_example.zarn_ui'", "ok");
    host.answer("XI '1' 'alm_'", "alm_1,alm_2");
    host.answer("TG '1' 'alm_1' 'value'", "value=1");
    host.answer("TG '1' 'alm_2' 'value'", "value=2");
    zarn_client_callback* script = load(&host, "facility");
    ASSERT_NE(script, nullptr);

    ButtonPress ackAll("AckAll");
    ButtonPress other("Other", "alarm", "0");
    char message[] = "instance=x";
    EXPECT_EQ(script->callback(ackAll.data(), zarn_type_button), nullptr);
    EXPECT_EQ(script->callback(other.data(), zarn_type_button), nullptr);
    EXPECT_EQ(script->callback(reinterpret_cast<void*>(std::intptr_t{3}), zarn_type_timer), nullptr);
    EXPECT_EQ(script->callback(message, zarn_type_parent_message), nullptr);
    delete script;

    EXPECT_EQ(host.commands, (std::vector<std::string>{"PS '1' 'facility/alarm_example.zarn_ui'", "XI '1' 'alm_'",
                                                       "TP 'alarm=4' '1' 'alm_1'", "TG '1' 'alm_1' 'value'",
                                                       "TP 'value=4' '1' 'alm_1'", "TP 'alarm=4' '1' 'alm_2'",
                                                       "TG '1' 'alm_2' 'value'", "ET 3", "AS"}));
    EXPECT_TRUE(host.faults.empty());
    // The show-panel reply is only tested for null and stays with the host.
    EXPECT_EQ(host.outstanding(), std::vector<std::string>{"PS '1' 'facility/alarm_example.zarn_ui'"});
}

}  // namespace
