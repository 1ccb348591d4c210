// An XY router panel as a panel engineer writes it from the SDK: 16
// destinations of a router instance, a source list, a Take, a tally per
// destination fed by revertives, and the parent protocol of the facility's
// panels. Built correct, and once a fault that a real host swallows:
//   XY_TALLY_NAME        writes the tallies to "Tally1" for the file's "Tally_1"
//   XY_RR_PAST_ROUTER    registers 116 destinations from the instance's first
//   XY_SOURCE_OFFSET     adds the instance's offset to the source too
//   XY_NO_RU             never unregisters
//   XY_LEAKS_ON_INSTANCE leaks 4 KiB on each "instance=" parent message
#include <zarn/zarn_script_helper.h>
#include <zarn/zarn_string.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr char panelId[] = "1";
constexpr char panelFile[] = "xy_router.zarn_ui";
constexpr char routerInstance[] = "XY Router B";
constexpr int32_t destinations = 16;
#ifdef XY_RR_PAST_ROUTER
constexpr int32_t registered = 116;
#else
constexpr int32_t registered = destinations;
#endif
#ifdef XY_TALLY_NAME
constexpr char tallyControl[] = "Tally%1";
#else
constexpr char tallyControl[] = "Tally_%1";
#endif

#ifdef XY_LEAKS_ON_INSTANCE
char* volatile lastLeak = nullptr;
#endif

class xy_router_panel : public zarn_script_helper {
public:
    xy_router_panel(zarn_client_callback* host, const char* path) : zarn_script_helper(host, path) {
        lookupDevice(routerInstance, &router_, &offset_);
        showPanel(panelId, panelFile, zarn_string());
        registerRouter(router_, offset_ + 1, offset_ + registered, false);
        pollRouter(router_, offset_ + 1, offset_ + destinations);
    }

    ~xy_router_panel() override {
#ifndef XY_NO_RU
        unregisterRouter(router_);
#endif
    }

    void onButton(ButtonEventHandle event) override {
        if (event.panelId() != panelId) return;
        const zarn_string control = event.controlId();
        if (control == "Dests") {
            dest_ = event.value().toInt();
        } else if (control == "Sources") {
            source_ = event.value().toInt();
        } else if (control == "Take" && dest_ >= 1 && dest_ <= destinations && source_ >= 1) {
#ifdef XY_SOURCE_OFFSET
            makeCrosspoint(router_, offset_ + source_, offset_ + dest_, zarn_string(), false);
#else
            makeCrosspoint(router_, source_, offset_ + dest_, zarn_string(), false);
#endif
        }
    }

    int32_t onRevertive(RevertiveEventHandle event) override {
        // Compared before subtracting: a hostile index must not overflow.
        const int32_t index = event.index();
        if (event.device() == router_ && index > offset_ && index <= offset_ + destinations) {
            const int32_t dest = index - offset_;
            setProperty("text", event.text(), panelId, zarn_string(tallyControl).args({zarn_string(dest, 0, 0, 10)}));
        }
        return 0;
    }

    zarn_string onParentMessage(ParamCommandHandle message) override {
        const zarn_string command = message.command();
        const zarn_string value = message.value();
        if (command == "instance") {
#ifdef XY_LEAKS_ON_INSTANCE
            lastLeak = new char[4096];
            std::memset(lastLeak, 1, 4096);
#endif
            instance_ = value;
            return zarn_string();
        }
        if (command == "dest") {
            dest_ = value.toInt();
            return zarn_string();
        }
        if (command == "return" && value == "dest") return zarn_string("dest=%1").args({zarn_string(dest_, 0, 0, 10)});
        if (command == "_commands") return zarn_string("dest=[value]");
        if (command == "_events") return zarn_string("take=*");
        return zarn_string();
    }

    void onTimer(int32_t id) override {
        stopTimer(id);
    }

private:
    int32_t router_ = 0;
    int32_t offset_ = 0;
    int32_t dest_ = 0;
    int32_t source_ = 0;
    zarn_string instance_;
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* path) {
    try {
        return new (std::nothrow) xy_router_panel(host, path);
    } catch (...) {
        return nullptr;
    }
}
