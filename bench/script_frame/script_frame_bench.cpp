// Cost of every host command operation and of both parsers, each beside its
// floor: the same command text built by hand with snprintf into a stack
// buffer, sent to the same null-cost host, its reply read and handed back the
// same way.
#include <zarn/param_command.h>
#include <zarn/zarn_script_helper.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "decode_zarn_string.h"
#include "inert_panel.h"

namespace {

using zarn_bench::NullHost;

class Panel : public zarn_bench::InertPanel {
public:
    explicit Panel(zarn_client_callback* host) : InertPanel(host, "panels") {}
};

char* send(NullHost& host, char* text) {
    return host.callback(text, zarn_type_command);
}

// Runs operation against a panel on the null-cost host.
template <typename Operation>
void measure(benchmark::State& state, Operation operation) {
    NullHost host;
    Panel panel(&host);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) operation(panel);
}

// Runs the hand-written equivalent against the same host.
template <typename Operation>
void measureFloor(benchmark::State& state, Operation operation) {
    NullHost host;
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) operation(host);
}

// Texts a panel keeps ready, so that the operations, not the conversions of
// literals, are measured.
const zarn_string instanceName = "K7 SDI Router";
const zarn_string panelId = "1";
const zarn_string alarmPrefix = "alm_";
const zarn_string panelFile = "k7_mon.zarn_ui";
const zarn_string noText;
const zarn_string stateProperty = "statesheet";
const zarn_string redSheet = "RZ_Tally_Red";
const zarn_string indicator = "ID_1";
const zarn_string valueProperty = "value";
const zarn_string alarmControl = "alm_1";

void lookupDevice(benchmark::State& state) {
    measure(state, [](Panel& panel) {
        int32_t device = 0;
        int32_t offset = 0;
        panel.lookupDevice(instanceName, &device, &offset);
        benchmark::DoNotOptimize(device + offset);
    });
}
void lookupDeviceFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "SD '%s'", "K7 SDI Router");
        char* reply = send(host, text);
        char* end = nullptr;
        const long device = std::strtol(reply, &end, 10);
        const long offset = std::strtol(end, nullptr, 10);
        host.callback(reply, zarn_type_release);
        benchmark::DoNotOptimize(device + offset);
    });
}

void listControls(benchmark::State& state) {
    measure(state, [](Panel& panel) {
        zarn_stringlist names = panel.listControls(panelId, alarmPrefix);
        benchmark::DoNotOptimize(names.count());
    });
}
void listControlsFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "XI '%s' '%s'", "1", "alm_");
        char* reply = send(host, text);
        char names[256];
        std::snprintf(names, sizeof names, "%s", reply);
        host.callback(reply, zarn_type_release);
        const char* entries[64];
        int count = 0;
        for (char* pos = names; count < 64;) {
            entries[count++] = pos;
            pos = std::strchr(pos, ',');
            if (pos == nullptr) break;
            *pos++ = '\0';
        }
        benchmark::DoNotOptimize(entries[count - 1]);
    });
}

void showPanel(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.showPanel(panelId, panelFile, noText); });
}
void showPanelFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[128];
        std::snprintf(text, sizeof text, "PS '%s' '%s/%s'", "1", "panels", "k7_mon.zarn_ui");
        send(host, text);
    });
}

void makeCrosspoint(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.makeCrosspoint(3, 12, 40, noText, false); });
}
void makeCrosspointFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "RC %d %d %d ',%s' %d", 3, 12, 40, "", 0);
        send(host, text);
    });
}

void readDatabaseEntry(benchmark::State& state) {
    zarn_string entry;
    measure(state, [&entry](Panel& panel) { panel.readDatabaseEntry(202, 0, 12, entry); });
}
void readDatabaseEntryFloor(benchmark::State& state) {
    char entry[256];
    measureFloor(state, [&entry](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "RN %d %d %d", 202, 0, 12);
        char* reply = send(host, text);
        if (reply != nullptr) std::snprintf(entry, sizeof entry, "%s", reply);
        host.callback(reply, zarn_type_release);
        benchmark::DoNotOptimize(entry[0]);
    });
}

void pollRouter(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.pollRouter(101, 40, 40); });
}
void pollRouterFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "RP %d %d %d", 101, 40, 40);
        send(host, text);
    });
}

void registerRouter(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.registerRouter(101, 40, 40, true); });
}
void registerRouterFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[64];
        std::snprintf(text, sizeof text, "RR %d %d %d 'ADD'", 101, 40, 40);
        send(host, text);
    });
}

void unregisterRouter(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.unregisterRouter(101); });
}
void unregisterRouterFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[32];
        std::snprintf(text, sizeof text, "RU %d", 101);
        send(host, text);
    });
}

void startTimer(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.startTimer(1, 160); });
}
void startTimerFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[32];
        std::snprintf(text, sizeof text, "ET %d %d", 1, 160);
        send(host, text);
    });
}

void stopTimer(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.stopTimer(1); });
}
void stopTimerFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[32];
        std::snprintf(text, sizeof text, "ET %d", 1);
        send(host, text);
    });
}

void setProperty(benchmark::State& state) {
    measure(state, [](Panel& panel) { panel.setProperty(stateProperty, redSheet, panelId, indicator); });
}
void setPropertyFloor(benchmark::State& state) {
    measureFloor(state, [](NullHost& host) {
        char text[128];
        std::snprintf(text, sizeof text, "TP '%s=%s' '%s' '%s'", "statesheet", "RZ_Tally_Red", "1", "ID_1");
        send(host, text);
    });
}

void textGet(benchmark::State& state) {
    zarn_string value;
    measure(state, [&value](Panel& panel) { panel.textGet(valueProperty, panelId, alarmControl, value); });
}
void textGetFloor(benchmark::State& state) {
    char value[256];
    measureFloor(state, [&value](NullHost& host) {
        char text[128];
        std::snprintf(text, sizeof text, "TG '%s' '%s' '%s'", "1", "alm_1", "value");
        char* reply = send(host, text);
        const char* equals = reply != nullptr ? std::strchr(reply, '=') : nullptr;
        if (equals != nullptr && std::strncmp(reply, "value", static_cast<std::size_t>(equals - reply)) == 0) {
            std::snprintf(value, sizeof value, "%s", equals + 1);
        } else {
            value[0] = '\0';
        }
        host.callback(reply, zarn_type_release);
        benchmark::DoNotOptimize(value[0]);
    });
}

// ---- Parsers: one copy, split in place ----

const char shortParamText[] = "return.a.b.c=myParam";
const char shortReplyText[] = "1234 0 'K7 SDI Router'";

// Texts of about size bytes: a message whose value is long, and a reply whose
// quoted tokens are (the parsers stop after 32 fields, but copy everything).
std::string longParamText(std::size_t size) {
    std::string text = "return.a.b.c=";
    while (text.size() < size) text += "myParam ";
    return text;
}
std::string longReplyText(std::size_t size) {
    std::string text;
    while (text.size() < size) text += "1234 0 'K7 SDI Router' ";
    return text;
}

void parseParamCommandOf(benchmark::State& state, const char* paramText) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const ParamCommand parsed(paramText);
        benchmark::DoNotOptimize(parsed.value);
    }
}
void parseParamCommandFloorOf(benchmark::State& state, const char* paramText) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::size_t length = std::strlen(paramText);
        char* buffer = new char[length + 1];
        std::memcpy(buffer, paramText, length + 1);
        const char* subFields[32];
        int count = 0;
        const char* value = "";
        for (std::size_t i = 0; i < length && count < 32; ++i) {
            if (buffer[i] == '.') {
                buffer[i] = '\0';
                subFields[count++] = buffer + i + 1;
            } else if (buffer[i] == '=') {
                buffer[i] = '\0';
                value = buffer + i + 1;
                break;
            }
        }
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(subFields[count > 0 ? count - 1 : 0]);
        delete[] buffer;
    }
}

void parseDeviceReplyOf(benchmark::State& state, const char* replyText) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const decodeZARNString decoded(replyText, '\'');
        benchmark::DoNotOptimize(decoded.tokens[2]);
    }
}
void parseDeviceReplyFloorOf(benchmark::State& state, const char* replyText) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::size_t length = std::strlen(replyText);
        char* buffer = new char[length + 1];
        std::memcpy(buffer, replyText, length + 1);
        const char* tokens[32];
        int count = 0;
        bool quoted = false;
        bool inToken = false;
        for (std::size_t i = 0; i < length && count < 32; ++i) {
            char& byte = buffer[i];
            if (byte == '\'') {
                byte = '\0';
                quoted = !quoted;
                if (quoted) {
                    tokens[count++] = buffer + i + 1;
                    inToken = true;
                } else {
                    inToken = false;
                }
            } else if (byte == ' ' && !quoted) {
                byte = '\0';
                inToken = false;
            } else if (!inToken) {
                tokens[count++] = buffer + i;
                inToken = true;
            }
        }
        benchmark::DoNotOptimize(tokens[count > 0 ? count - 1 : 0]);
        delete[] buffer;
    }
}

void parseParamCommand(benchmark::State& state) {
    parseParamCommandOf(state, shortParamText);
}
void parseParamCommandFloor(benchmark::State& state) {
    parseParamCommandFloorOf(state, shortParamText);
}
void parseDeviceReply(benchmark::State& state) {
    parseDeviceReplyOf(state, shortReplyText);
}
void parseDeviceReplyFloor(benchmark::State& state) {
    parseDeviceReplyFloorOf(state, shortReplyText);
}
void parseLongParamCommand(benchmark::State& state) {
    parseParamCommandOf(state, longParamText(static_cast<std::size_t>(state.range(0))).c_str());
}
void parseLongParamCommandFloor(benchmark::State& state) {
    parseParamCommandFloorOf(state, longParamText(static_cast<std::size_t>(state.range(0))).c_str());
}
void parseLongDeviceReply(benchmark::State& state) {
    parseDeviceReplyOf(state, longReplyText(static_cast<std::size_t>(state.range(0))).c_str());
}
void parseLongDeviceReplyFloor(benchmark::State& state) {
    parseDeviceReplyFloorOf(state, longReplyText(static_cast<std::size_t>(state.range(0))).c_str());
}

struct Pair {
    const char* name;
    void (*measured)(benchmark::State&);
    void (*floor)(benchmark::State&);
    double target;  // 0: no target
};

const bool registered = [] {
    const Pair pairs[] = {
        {"frame/SD_lookupDevice", lookupDevice, lookupDeviceFloor, 0},
        {"frame/XI_listControls", listControls, listControlsFloor, 0},
        {"frame/PS_showPanel", showPanel, showPanelFloor, 0},
        {"frame/RC_makeCrosspoint", makeCrosspoint, makeCrosspointFloor, 0},
        {"frame/RN_readDatabaseEntry", readDatabaseEntry, readDatabaseEntryFloor, 0},
        {"frame/RP_pollRouter", pollRouter, pollRouterFloor, 0},
        {"frame/RR_registerRouter", registerRouter, registerRouterFloor, 0},
        {"frame/RU_unregisterRouter", unregisterRouter, unregisterRouterFloor, 0},
        {"frame/ET_startTimer", startTimer, startTimerFloor, 0},
        {"frame/ET_stopTimer", stopTimer, stopTimerFloor, 0},
        {"frame/TP_setProperty", setProperty, setPropertyFloor, 0},
        {"frame/TG_textGet", textGet, textGetFloor, 0},
        {"frame/parse_ParamCommand", parseParamCommand, parseParamCommandFloor, 2},
        {"frame/parse_decodeZARNString", parseDeviceReply, parseDeviceReplyFloor, 2},
    };
    for (const Pair& pair : pairs) {
        zarn_bench::add(pair.name, pair.measured);
        zarn_bench::add((std::string("floor/") + pair.name).c_str(), pair.floor);
        if (pair.target > 0) zarn_bench::setTarget(pair.name, pair.target);
    }
    // How the parsers grow with their text, 1 KB to 1 MB.
    const Pair sized[] = {
        {"frame/parse_ParamCommand_size", parseLongParamCommand, parseLongParamCommandFloor, 0},
        {"frame/parse_decodeZARNString_size", parseLongDeviceReply, parseLongDeviceReplyFloor, 0},
    };
    for (const Pair& pair : sized) {
        auto* measured = zarn_bench::add(pair.name, pair.measured, 1000000);
        auto* floor = zarn_bench::add((std::string("floor/") + pair.name).c_str(), pair.floor, 1000000);
        for (int size = 1000; size <= 1000000; size *= 10) {
            measured->Arg(size)->Unit(benchmark::kMicrosecond);
            floor->Arg(size)->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

}  // namespace
