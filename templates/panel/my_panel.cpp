// my_panel: takes the source picked in the "Sources" list to the studio
// output and shows, in "Tally", what the output carries.
#include <zarn/zarn_script_helper.h>
#include <zarn/zarn_string.h>

#include <cstdint>
#include <new>

namespace {

constexpr char panelId[] = "1";
constexpr char panelFile[] = "my_panel.zarn_ui";
constexpr char routerInstance[] = "Studio Router";
constexpr int32_t outputDest = 1;  // the studio's destination this panel drives, counted from the instance

class my_panel : public zarn_script_helper {
public:
    my_panel(zarn_client_callback* host, const char* path) : zarn_script_helper(host, path) {
        // The instance may be a slice of a bigger router: its destinations
        // start after offset on the device, so the output is the device's
        // destination offset + outputDest. Sources are the device's own.
        int32_t offset = 0;
        lookupDevice(routerInstance, &router_, &offset);
        output_ = offset + outputDest;
        showPanel(panelId, panelFile, zarn_string());
        // Revertives for the output from now on, and one with its current source.
        registerRouter(router_, output_, output_, false);
        pollRouter(router_, output_, output_);
    }

    ~my_panel() override { unregisterRouter(router_); }

    // A pick in the list carries the source number as its value.
    void onButton(ButtonEventHandle event) override {
        if (event.panelId() != panelId || event.controlId() != "Sources") return;
        const int32_t source = event.value().toInt();
        if (source >= 1) makeCrosspoint(router_, source, output_, zarn_string(), false);
    }

    // The revertive's text is the name of the source the output now carries.
    int32_t onRevertive(RevertiveEventHandle event) override {
        if (event.device() == router_ && event.index() == output_) {
            setProperty("text", event.text(), panelId, "Tally");
        }
        return 0;
    }

    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t id) override { stopTimer(id); }

private:
    int32_t router_ = 0;
    int32_t output_ = outputDest;  // the output's destination number on the device
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path) {
    // No exception may reach the host: a failed start-up gives null.
    try {
        return new (std::nothrow) my_panel(host, path);
    } catch (...) {
        return nullptr;
    }
}
