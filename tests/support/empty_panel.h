// EmptyPanel: a panel that does nothing with what it is sent, for tests that
// drive the script frame itself; a test panel overrides only the hooks it
// looks at.
#pragma once

#include <zarn/zarn_script_helper.h>

#include <cstdint>

class EmptyPanel : public zarn_script_helper {
public:
    explicit EmptyPanel(zarn_client_callback* host, const char* path = "") : zarn_script_helper(host, path) {}

    using zarn_script_helper::alarmHandlingEnabled;
    using zarn_script_helper::scriptPath;
    using zarn_script_helper::sendCommand;

    void onButton(ButtonEventHandle) override {}
    int32_t onRevertive(RevertiveEventHandle) override { return 0; }
    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t) override {}
};
