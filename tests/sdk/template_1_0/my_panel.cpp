// my_panel: takes the source picked in the "Sources" list to the studio
// output and shows, in "Tally", what the output carries.
#include <script_frame/zarn_script_helper.h>
#include <zarn_string/zarn_string.h>

#include <cstdint>
#include <new>

namespace {

constexpr char panelId[] = "1";
constexpr char panelFile[] = "my_panel.zarn_ui";
constexpr char routerInstance[] = "Studio Router";
constexpr int32_t outputDest = 1;  // the router destination this panel drives

class my_panel : public zarn_script_helper {
public:
    my_panel(zarn_client_callback* host, const char* path) : zarn_script_helper(host, path) {
        lookupDevice(routerInstance, &router_, nullptr);
        showPanel(panelId, panelFile, zarn_string());
        // Revertives for the output from now on, and one with its current source.
        registerRouter(router_, outputDest, outputDest, false);
        pollRouter(router_, outputDest, outputDest);
    }

    ~my_panel() override { unregisterRouter(router_); }

    // A pick in the list carries the source number as its value.
    void onButton(ButtonEventHandle event) override {
        if (event.panelId() != panelId || event.controlId() != "Sources") return;
        const int32_t source = event.value().toInt();
        if (source >= 1) makeCrosspoint(router_, source, outputDest, zarn_string(), false);
    }

    // The revertive's text is the name of the source the output now carries.
    int32_t onRevertive(RevertiveEventHandle event) override {
        if (event.device() == router_ && event.index() == outputDest) {
            setProperty("text", event.text(), panelId, "Tally");
        }
        return 0;
    }

    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t id) override { stopTimer(id); }

private:
    int32_t router_ = 0;
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
