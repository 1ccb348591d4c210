// Cost of each K7 notification and of start-up, each beside its floor: the
// same commands built by hand with snprintf into stack buffers and sent to the
// same null-cost host.
#include <zarn/button_record.h>
#include <zarn/revertive_record.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench_support.h"
#include "support/panel_entry_point.h"

namespace {

using zarn_bench::NullHost;

constexpr const char* panelFolder = "panels";

load_zarn_client_script_fn entryPoint() {
    static const load_zarn_client_script_fn entry = panelEntryPoint(K7_MON_LIBRARY);
    return entry;
}

// A button event as the host lays it out.
// The panel under test, started on the null-cost host.
class LoadedPanel {
public:
    explicit LoadedPanel(NullHost& host) : panel_(entryPoint()(&host, panelFolder)) {}
    ~LoadedPanel() { delete panel_; }
    char* send(void* data, int32_t type) { return panel_->callback(data, type); }

private:
    zarn_client_callback* panel_;
};

// ---- The floor: a panel written by hand for exactly this facility ----

char* sendCommand(zarn_client_callback& host, char* text) {
    return host.callback(text, zarn_type_command);
}

// The host as the hand-written panel sees it: behind the callback interface,
// a virtual call the compiler cannot see through, as it is for every panel
// library. Without this the compiler may call the null host directly, or
// write its few lines into the floor, which no panel can.
zarn_client_callback& hostOf(NullHost& host) {
    zarn_client_callback* seen = &host;
    benchmark::DoNotOptimize(seen);
    return *seen;
}

struct HandPanel {
    int sdi = 0, audio = 0, names = 0, xpts = 0;
    int videoDest[6] = {};
    int audioDest[6] = {};
    int selected = 1;
    bool videoOn = true, audioOn = true;
    char myParam[64] = "";
};

int lookup(zarn_client_callback& host, const char* instance) {
    char text[64];
    std::snprintf(text, sizeof text, "SD '%s'", instance);
    char* reply = sendCommand(host, text);
    const int device = reply != nullptr ? std::atoi(reply) : 0;
    host.callback(reply, zarn_type_release);
    return device;
}

void readEntry(zarn_client_callback& host, const HandPanel& panel, int database, int index, int& video, int& audio) {
    char text[64];
    std::snprintf(text, sizeof text, "RN %d %d %d", panel.xpts, database, index);
    char* reply = sendCommand(host, text);
    video = audio = 0;
    if (reply != nullptr) {
        char* end = nullptr;
        video = static_cast<int>(std::strtol(reply, &end, 10));
        if (*end == ',') audio = std::atoi(end + 1);
    }
    host.callback(reply, zarn_type_release);
}

void setSheet(zarn_client_callback& host, int monitor, bool selected) {
    char text[96];
    std::snprintf(text, sizeof text, "TP 'statesheet=%s' '1' 'ID_%d'", selected ? "RZ_Tally_Red" : "RZ_Tally_Black",
                  monitor);
    sendCommand(host, text);
}

void handStartUp(zarn_client_callback& host, HandPanel& panel) {
    panel.names = lookup(host, "K7 Package Names");
    panel.xpts = lookup(host, "K7 Package XPTS");
    panel.sdi = lookup(host, "K7 SDI Router");
    panel.audio = lookup(host, "K7 Audio Router");
    static const int packages[5] = {361, 388, 389, 387, 390};
    for (int monitor = 1; monitor <= 5; ++monitor) {
        readEntry(host, panel, 1, packages[monitor - 1], panel.videoDest[monitor], panel.audioDest[monitor]);
    }
    char text[128];
    std::snprintf(text, sizeof text, "PS '1' '%s/k7_mon.zarn_ui'", panelFolder);
    sendCommand(host, text);
    std::snprintf(text, sizeof text, "TP '=/images/SmallTick.png' '1' 'VidLevel'");
    sendCommand(host, text);
    std::snprintf(text, sizeof text, "TP '=/images/SmallTick.png' '1' 'AudLevel'");
    sendCommand(host, text);
    for (int monitor = 1; monitor <= 5; ++monitor) setSheet(host, monitor, monitor == 1);
    for (int monitor = 1; monitor <= 5; ++monitor) {
        std::snprintf(text, sizeof text, monitor == 1 ? "RR %d %d %d" : "RR %d %d %d 'ADD'", panel.sdi,
                      panel.videoDest[monitor], panel.videoDest[monitor]);
        sendCommand(host, text);
    }
    for (int monitor = 1; monitor <= 5; ++monitor) {
        std::snprintf(text, sizeof text, monitor == 1 ? "RR %d %d %d" : "RR %d %d %d 'ADD'", panel.audio,
                      panel.audioDest[monitor], panel.audioDest[monitor]);
        sendCommand(host, text);
    }
    for (int monitor = 1; monitor <= 5; ++monitor) {
        std::snprintf(text, sizeof text, "RP %d %d %d", panel.sdi, panel.videoDest[monitor], panel.videoDest[monitor]);
        sendCommand(host, text);
    }
    for (int monitor = 1; monitor <= 5; ++monitor) {
        std::snprintf(text, sizeof text, "RP %d %d %d", panel.audio, panel.audioDest[monitor],
                      panel.audioDest[monitor]);
        sendCommand(host, text);
    }
}

void handShutDown(zarn_client_callback& host, const HandPanel& panel) {
    char text[32];
    std::snprintf(text, sizeof text, "RU %d", panel.sdi);
    sendCommand(host, text);
    std::snprintf(text, sizeof text, "RU %d", panel.audio);
    sendCommand(host, text);
    char last[] = "AS";
    sendCommand(host, last);
}

void handButton(zarn_client_callback& host, HandPanel& panel, const ButtonEvent* event) {
    if (std::strcmp(event->panelId, "1") != 0) return;
    const char* control = event->controlId;
    char text[96];
    if (std::strcmp(control, "Sources") == 0) {
        const int package = std::atoi(event->details->value);
        if (package < 1) return;
        int video = 0;
        int audio = 0;
        readEntry(host, panel, 0, package, video, audio);
        const int monitor = panel.selected;
        if ((monitor != 1 || panel.videoOn) && video != 0 && panel.videoDest[monitor] != 0) {
            std::snprintf(text, sizeof text, "RC %d %d %d ',' 0", panel.sdi, video, panel.videoDest[monitor]);
            sendCommand(host, text);
        }
        if ((monitor != 1 || panel.audioOn) && audio != 0 && panel.audioDest[monitor] != 0) {
            std::snprintf(text, sizeof text, "RC %d %d %d ',' 0", panel.audio, audio, panel.audioDest[monitor]);
            sendCommand(host, text);
        }
        std::snprintf(text, sizeof text, "ET %d %d", 1, 160);
        sendCommand(host, text);
    } else if (std::strncmp(control, "Mon_", 4) == 0) {
        const int monitor = std::atoi(control + 4);
        if (monitor < 1 || monitor > 5 || monitor == panel.selected) return;
        setSheet(host, panel.selected, false);
        panel.selected = monitor;
        setSheet(host, monitor, true);
    }
}

void handRevertive(zarn_client_callback& host, const HandPanel& panel, const RevertiveEvent* event) {
    static const char* const videoTallies[4] = {nullptr, "Vidtally_1", "Vidtally_2", "Vidtally_3"};
    const char* control = nullptr;
    if (event->device == panel.sdi) {
        for (int monitor = 1; monitor <= 3 && control == nullptr; ++monitor) {
            if (event->index == panel.videoDest[monitor]) control = videoTallies[monitor];
        }
    }
    if (control == nullptr) return;
    // The TP written with memcpy: the fixed parts, the tally text (at most 255
    // bytes here) and the control id.
    static const char head[] = "TP 'text=";
    static const char middle[] = "' '1' '";
    const char* tally = event->text();
    const std::size_t tallySize = std::min<std::size_t>(std::strlen(tally), 255);
    const std::size_t controlSize = std::strlen(control);
    char text[320];
    char* out = text;
    std::memcpy(out, head, sizeof head - 1);
    out += sizeof head - 1;
    std::memcpy(out, tally, tallySize);
    out += tallySize;
    std::memcpy(out, middle, sizeof middle - 1);
    out += sizeof middle - 1;
    std::memcpy(out, control, controlSize);
    out += controlSize;
    out[0] = '\'';
    out[1] = '\0';
    sendCommand(host, text);
}

// "return=myParam": the reply is allocated, handed to the host, and freed
// when the host hands it back.
char* handParentMessage(HandPanel& panel, const char* message) {
    const char* equals = std::strchr(message, '=');
    if (equals == nullptr) return nullptr;
    const std::size_t commandLength = static_cast<std::size_t>(equals - message);
    if (commandLength == 6 && std::strncmp(message, "return", 6) == 0 && std::strcmp(equals + 1, "myParam") == 0) {
        const std::size_t size = std::strlen(panel.myParam) + sizeof "myParam=";
        char* reply = static_cast<char*>(std::malloc(size));
        std::snprintf(reply, size, "myParam=%s", panel.myParam);
        return reply;
    }
    if (commandLength == 7 && std::strncmp(message, "myParam", 7) == 0) {
        std::snprintf(panel.myParam, sizeof panel.myParam, "%s", equals + 1);
    }
    return nullptr;
}

// ---- Benchmarks ----

// A take to monitor 1: RN, RC, RC, ET.
void take(benchmark::State& state) {
    NullHost host;
    LoadedPanel panel(host);
    zarn_button_record pick("1", "Sources", "", "12");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) panel.send(pick.event(), zarn_type_button);
}

void takeFloor(benchmark::State& state) {
    NullHost nullHost;
    zarn_client_callback& host = hostOf(nullHost);
    HandPanel panel;
    handStartUp(host, panel);
    zarn_button_record pick("1", "Sources", "", "12");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) handButton(host, panel, pick.event());
}

// Monitor 2 then monitor 3 selected: two TP each.
void selectMonitor(benchmark::State& state) {
    NullHost host;
    LoadedPanel panel(host);
    zarn_button_record second("1", "Mon_2", "", "");
    zarn_button_record third("1", "Mon_3", "", "");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        panel.send(second.event(), zarn_type_button);
        panel.send(third.event(), zarn_type_button);
    }
}

void selectMonitorFloor(benchmark::State& state) {
    NullHost nullHost;
    zarn_client_callback& host = hostOf(nullHost);
    HandPanel panel;
    handStartUp(host, panel);
    zarn_button_record second("1", "Mon_2", "", "");
    zarn_button_record third("1", "Mon_3", "", "");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        handButton(host, panel, second.event());
        handButton(host, panel, third.event());
    }
}

// A revertive for monitor 1's video destination: one TP.
void revertive(benchmark::State& state) {
    NullHost host;
    LoadedPanel panel(host);
    zarn_revertive_record event(101, 40, "Studio A PGM");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) panel.send(event.event(), zarn_type_revertive);
}

void revertiveFloor(benchmark::State& state) {
    NullHost nullHost;
    zarn_client_callback& host = hostOf(nullHost);
    HandPanel panel;
    handStartUp(host, panel);
    zarn_revertive_record event(101, 40, "Studio A PGM");
    // Every panel receives its revertives through the callback interface:
    // so does the floor, with a virtual call the compiler cannot see through.
    class HandRevertivePanel : public zarn_client_callback {
    public:
        HandRevertivePanel(zarn_client_callback& host, const HandPanel& panel) : host_(host), panel_(panel) {}
        char* callback(void* data, int32_t type) override {
            if (type == zarn_type_revertive && data != nullptr) {
                handRevertive(host_, panel_, static_cast<const RevertiveEvent*>(data));
            }
            return nullptr;
        }

    private:
        zarn_client_callback& host_;
        const HandPanel& panel_;
    };
    HandRevertivePanel handPanel(host, panel);
    zarn_client_callback* receiver = &handPanel;
    benchmark::DoNotOptimize(receiver);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) receiver->callback(event.event(), zarn_type_revertive);
}

// "return=myParam" answered, and the reply handed back with type 5.
void parentMessage(benchmark::State& state) {
    NullHost host;
    LoadedPanel panel(host);
    char set[] = "myParam=Bay K7";
    panel.send(set, zarn_type_parent_message);
    char ask[] = "return=myParam";
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        char* reply = panel.send(ask, zarn_type_parent_message);
        panel.send(reply, zarn_type_release);
    }
}

void parentMessageFloor(benchmark::State& state) {
    HandPanel panel;
    handParentMessage(panel, "myParam=Bay K7");
    char ask[] = "return=myParam";
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        char* reply = handParentMessage(panel, ask);
        benchmark::DoNotOptimize(reply);
        std::free(reply);
    }
}

// Entry point to return: the 37 start-up commands. The clock runs from the
// call to its return; the destruction that follows (RU, RU, AS) is not timed.
void startUp(benchmark::State& state) {
    NullHost host;
    const auto entry = entryPoint();
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        zarn_client_callback* panel = entry(&host, panelFolder);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        delete panel;
    }
    allocations.report();
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(host.commands), benchmark::Counter::kAvgIterations);
}

void startUpFloor(benchmark::State& state) {
    NullHost nullHost;
    zarn_client_callback& host = hostOf(nullHost);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        auto* panel = new HandPanel;
        handStartUp(host, *panel);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        handShutDown(host, *panel);
        delete panel;
    }
    allocations.report();
    state.counters["commands"] =
        benchmark::Counter(static_cast<double>(nullHost.commands), benchmark::Counter::kAvgIterations);
}

struct Pair {
    const char* name;
    void (*measured)(benchmark::State&);
    void (*floor)(benchmark::State&);
    double target;  // 0: no target
    bool manualTime;
};

const bool registered = [] {
    const Pair pairs[] = {
        {"k7/take", take, takeFloor, 3, false},
        {"k7/select_monitor", selectMonitor, selectMonitorFloor, 0, false},
        {"k7/revertive", revertive, revertiveFloor, 3, false},
        {"k7/parent_message", parentMessage, parentMessageFloor, 0, false},
        // Timed by hand, which names the runs "k7/start_up/manual_time".
        {"k7/start_up", startUp, startUpFloor, 3, true},
    };
    for (const Pair& pair : pairs) {
        auto* measured = zarn_bench::add(pair.name, pair.measured);
        auto* floor = zarn_bench::add((std::string("floor/") + pair.name).c_str(), pair.floor);
        std::string reported = pair.name;
        if (pair.manualTime) {
            measured->UseManualTime();
            floor->UseManualTime();
            reported += "/manual_time";
        }
        if (pair.target > 0) zarn_bench::setTarget(reported.c_str(), pair.target);
    }
    return true;
}();

}  // namespace
