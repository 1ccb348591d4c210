// Cost of one alarm group action over N alarm controls, beside its floor: the
// same commands built by hand with snprintf into a stack buffer, the control
// list cut by hand, sent to the same host. Both should grow linearly in N.
#include <zarn/zarn_script_helper.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "inert_panel.h"

namespace {

// Answers XI with N alarm controls and every TG with state 1, so that an
// acknowledge takes its longest path (TP, TG, TP) on every control. Replies
// live in the host, so hand-backs cost nothing. With a transcript, every
// command and hand-back is written to it, one a line.
class AlarmHost : public zarn_client_callback {
public:
    explicit AlarmHost(int controls) {
        for (int i = 0; i < controls; ++i) list_ += (i ? ",alm_" : "alm_") + std::to_string(i);
    }
    char* callback(void* data, int32_t type) override {
        if (type == zarn_type_release) {
            ++releases;
            if (transcript != nullptr) *transcript += "release\n";
            return nullptr;
        }
        if (type != zarn_type_command || data == nullptr) return nullptr;
        ++commands;
        const char* text = static_cast<const char*>(data);
        if (transcript != nullptr) (*transcript += text) += '\n';
        if (std::strncmp(text, "XI ", 3) == 0) return &list_[0];
        if (std::strncmp(text, "TG ", 3) == 0) return state_;
        return nullptr;
    }
    long commands = 0;
    long releases = 0;
    std::string* transcript = nullptr;

private:
    std::string list_;
    char state_[16] = "value=1";
};

class BenchPanel : public zarn_bench::InertPanel {
public:
    explicit BenchPanel(zarn_client_callback* host) : InertPanel(host, "") { alarmHandlingEnabled = true; }
};

// ---- The floor: the group action written by hand ----

char* send(zarn_client_callback& host, char* text) {
    return host.callback(text, zarn_type_command);
}

// The state in a "value=<n>" reply; anything else reads as 0, as it does for
// the library (which then keeps the state).
int stateIn(const char* reply) {
    if (std::strncmp(reply, "value=", 6) != 0) return 0;
    char* end = nullptr;
    const long state = std::strtol(reply + 6, &end, 10);
    return end != reply + 6 && *end == '\0' ? static_cast<int>(state) : 0;
}

// action "ack" acknowledges, "0".."9" sets that state.
void handGroupAction(zarn_client_callback& host, const char* action) {
    const bool acknowledge = std::strcmp(action, "ack") == 0;
    char text[256];
    std::snprintf(text, sizeof text, "XI '%d' '%s'", 1, "alm_");
    char* reply = send(host, text);
    if (reply == nullptr) return;
    const std::size_t size = std::strlen(reply);
    char* list = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(list, reply, size + 1);
    host.callback(reply, zarn_type_release);

    char* const end = list + size;
    for (char* control = list; control < end;) {
        char* comma = static_cast<char*>(std::memchr(control, ',', static_cast<std::size_t>(end - control)));
        if (comma == nullptr) comma = end;
        *comma = '\0';
        if (std::strncmp(control, "alm_", 4) == 0 && std::strchr(control, '\'') == nullptr) {
            std::snprintf(text, sizeof text, "TP 'alarm=%s' '1' '%s'", action, control);
            send(host, text);
            if (acknowledge) {
                std::snprintf(text, sizeof text, "TG '1' '%s' 'value'", control);
                char* value = send(host, text);
                if (value != nullptr) {
                    const int state = stateIn(value);
                    host.callback(value, zarn_type_release);
                    if (state == 1 || state < 0 || state > 5) {
                        std::snprintf(text, sizeof text, "TP 'value=4' '1' '%s'", control);
                        send(host, text);
                    }
                }
            } else {
                std::snprintf(text, sizeof text, "TP 'value=%s' '1' '%s'", action, control);
                send(host, text);
            }
        }
        control = comma + 1;
    }
    std::free(list);
}

// The floor must send exactly what the library sends; checked once on a
// small list before the first floor runs.
void checkFloorMatches(const char* action) {
    std::string library;
    std::string hand;
    {
        AlarmHost host(5);
        host.transcript = &library;
        BenchPanel panel(&host);
        panel.alarmGroupAction(action);
        host.transcript = nullptr;  // the panel's "AS" on destruction is not part of the action
    }
    AlarmHost host(5);
    host.transcript = &hand;
    handGroupAction(host, action);
    if (library != hand) {
        std::fprintf(stderr, "floor for \"%s\" differs from the library:\n--- library\n%s--- floor\n%s", action,
                     library.c_str(), hand.c_str());
        std::exit(2);
    }
}

// ---- Benchmarks ----

void reportCommands(benchmark::State& state, const AlarmHost& host) {
    state.counters["commands/action"] =
        benchmark::Counter(static_cast<double>(host.commands), benchmark::Counter::kAvgIterations);
}

void runAction(benchmark::State& state, const char* action) {
    AlarmHost host(static_cast<int>(state.range(0)));
    BenchPanel panel(&host);
    const zarn_string text(action);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) panel.alarmGroupAction(text);
    allocations.report();
    reportCommands(state, host);
}

void runFloor(benchmark::State& state, const char* action) {
    checkFloorMatches(action);
    AlarmHost host(static_cast<int>(state.range(0)));
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) handGroupAction(host, action);
    allocations.report();
    reportCommands(state, host);
}

// Per control: TP alarm, TG value (handed back), TP value=4.
void acknowledge(benchmark::State& state) {
    runAction(state, "ack");
}
void acknowledgeFloor(benchmark::State& state) {
    runFloor(state, "ack");
}
// Per control: TP alarm, TP value; nothing read back.
void setState(benchmark::State& state) {
    runAction(state, "0");
}
void setStateFloor(benchmark::State& state) {
    runFloor(state, "0");
}

const bool registered = [] {
    const struct {
        const char* name;
        void (*fn)(benchmark::State&);
    } all[] = {
        {"alarm/ack", acknowledge},
        {"floor/alarm/ack", acknowledgeFloor},
        {"alarm/set", setState},
        {"floor/alarm/set", setStateFloor},
    };
    for (const auto& entry : all) {
        auto* registeredBenchmark = zarn_bench::add(entry.name, entry.fn, 100000)->Unit(benchmark::kMicrosecond);
        for (int controls = 100; controls <= 100000; controls *= 10) {
            registeredBenchmark->Arg(controls);
            if (std::strncmp(entry.name, "floor/", 6) != 0) {
                zarn_bench::setTarget((std::string(entry.name) + "/" + std::to_string(controls)).c_str(), 3);
            }
        }
    }
    return true;
}();

}  // namespace
