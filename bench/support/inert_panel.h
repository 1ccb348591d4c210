// A panel that answers every notification with nothing, for the benchmarks
// that drive the script frame's own operations. Needs zarn::script_frame.
#pragma once

#include <zarn/zarn_script_helper.h>

namespace zarn_bench {

class InertPanel : public zarn_script_helper {
public:
    InertPanel(zarn_client_callback* host, const char* path) : zarn_script_helper(host, path) {}
    void onButton(ButtonEventHandle) override {}
    int32_t onRevertive(RevertiveEventHandle) override { return 0; }
    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t) override {}
};

}  // namespace zarn_bench
