// Cost of one alarm group action over N alarm controls; expected linear in N.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "script_frame/zarn_script_helper.h"

namespace {

// Answers the control list with N ids and every state read-back with state 1,
// so an acknowledge takes its longest path on every control. Replies live in
// the host and are never freed, so hand-backs are ignored.
class AlarmHost : public zarn_client_callback {
public:
    explicit AlarmHost(int controls) {
        for (int i = 0; i < controls; ++i) list_ += (i ? ",alm_" : "alm_") + std::to_string(i);
    }
    char* callback(void* data, int32_t type) override {
        if (type != zarn_type_command || !data) return nullptr;
        ++commands;
        const char* text = static_cast<const char*>(data);
        if (std::strncmp(text, "XI ", 3) == 0) return list_.data();
        if (std::strncmp(text, "TG ", 3) == 0) return state_.data();
        return nullptr;
    }
    long commands = 0;

private:
    std::string list_;
    std::string state_ = "value=1";
};

class BenchPanel : public zarn_script_helper {
public:
    explicit BenchPanel(zarn_client_callback* host) : zarn_script_helper(host, "") { alarmHandlingEnabled = true; }
    void onButton(ButtonEventHandle) override {}
    int32_t onRevertive(RevertiveEventHandle) override { return 0; }
    zarn_string onParentMessage(ParamCommandHandle) override { return zarn_string(); }
    void onTimer(int32_t) override {}
};

void runAction(benchmark::State& state, const char* action) {
    AlarmHost host(static_cast<int>(state.range(0)));
    BenchPanel panel(&host);
    const zarn_string text(action);
    for (auto _ : state) panel.alarmGroupAction(text);
    state.SetComplexityN(state.range(0));
    state.counters["commands/action"] = static_cast<double>(host.commands) / static_cast<double>(state.iterations());
}

// Per control: TP alarm, TG value, TP value.
void acknowledge(benchmark::State& state) {
    runAction(state, "ack");
}
// Per control: TP alarm, TP value; nothing read back.
void setState(benchmark::State& state) {
    runAction(state, "0");
}

BENCHMARK(acknowledge)->RangeMultiplier(4)->Range(100, 10000)->Complexity(benchmark::oN);
BENCHMARK(setState)->RangeMultiplier(4)->Range(100, 10000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
