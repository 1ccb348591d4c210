// alarm_example: a panel of alarm controls whose group buttons ("ActionAll",
// "AckAll") the base handles. The panel needs no code of its own for them.
#include <zarn/zarn_script_helper.h>

namespace {

class alarm_example : public zarn_script_helper {
public:
    alarm_example(zarn_client_callback* host, const char* path) : zarn_script_helper(host, path) {
        alarmHandlingEnabled = true;
        showPanel("1", "alarm_example.zarn_ui", "");
    }

    // The group buttons never get here; the panel has no other buttons.
    void onButton(ButtonEventHandle) override {}
    int32_t onRevertive(RevertiveEventHandle) override { return 0; }
    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t id) override { stopTimer(id); }
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path) {
    try {
        return new alarm_example(host, path);
    } catch (...) {
        return nullptr;
    }
}
