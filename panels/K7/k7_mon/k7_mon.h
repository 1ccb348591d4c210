// k7_mon: the K7 bay monitor switching panel.
//
// Five bay monitors, each fed by one SDI router destination and one audio
// router destination. The operator selects a monitor, then takes a source
// package to it; tallies follow the router revertives, and an embedding panel
// can set and read two text parameters.
#pragma once

#include <zarn/zarn_script_helper.h>
#include <zarn/zarn_string.h>

#include <cstdint>

class k7_mon : public zarn_script_helper {
public:
    static constexpr int32_t monitorCount = 5;

    // Runs the whole start-up: device and destination look-ups, the panel and
    // its initial control states, revertive registration and polls.
    k7_mon(zarn_client_callback* host, const char* path);
    // Unregisters both routers; the base then sends "AS".
    ~k7_mon() override;

    // Reads entry index of database of "K7 Package XPTS" ("video,audio"; "-"
    // for none) into two router indices. A missing or invalid part gives 0.
    void resolvePackage(int32_t index, int32_t database, int32_t& video, int32_t& audio);

protected:
    // Panel "1" only: "Sources" takes, "Mon_<n>" selects, "VidLevel" and
    // "AudLevel" toggle the levels of takes to monitor 1.
    void onButton(ButtonEventHandle event) override;
    // Writes the revertive text into the tally of the monitor it feeds.
    int32_t onRevertive(RevertiveEventHandle event) override;
    // "return", "instance", "myParam", "_events", "_commands".
    zarn_string onParentMessage(ParamCommandHandle message) override;
    // Timer 1 clears the source list selection after a take.
    void onTimer(int32_t id) override;

private:
    void startUp();
    void unregisterRouters();
    int32_t lookupRequiredDevice(const char* instanceName);
    int32_t routerIndex(const zarn_string& part, int32_t index, int32_t database);
    void take(int32_t package);
    void selectMonitor(int32_t monitor);
    void toggleLevel(bool& levelOn, const char* control);

    zarn_string myParam;
    zarn_string instance;
    int32_t sdiRouterDevice;
    int32_t audioRouterDevice;
    int32_t packageNamesDevice;  // stored only
    int32_t packageXptsDevice;
    int32_t selectedMonitor;              // always 1 to monitorCount
    int32_t videoDest[monitorCount + 1];  // by monitor number; [0] stays 0
    int32_t audioDest[monitorCount + 1];
    bool videoLevelOn;  // act on takes to monitor 1 only
    bool audioLevelOn;
};
