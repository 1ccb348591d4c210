// Parse and command costs of the script frame, against a host that answers
// without allocating.
#include <benchmark/benchmark.h>

#include "script_frame/decode_zarn_string.h"
#include "script_frame/param_command.h"
#include "script_frame/zarn_script_helper.h"

namespace {

class QuietHost : public zarn_client_callback {
public:
    char* callback(void* data, int32_t type) override {
        benchmark::DoNotOptimize(data);
        if (type == zarn_type_command) return reply_;
        return nullptr;
    }

private:
    char reply_[16] = "value=2";
};

class Panel : public zarn_script_helper {
public:
    explicit Panel(zarn_client_callback* host) : zarn_script_helper(host, "panels") {}
    void onButton(ButtonEventHandle) override {}
    int32_t onRevertive(RevertiveEventHandle) override { return 0; }
    zarn_string onParentMessage(ParamCommandHandle message) override { return message.value(); }
    void onTimer(int32_t) override {}
};

void parseParamCommand(benchmark::State& state) {
    for (auto _ : state) {
        const ParamCommand parsed("return.a.b.c=myParam");
        benchmark::DoNotOptimize(parsed.value);
    }
}
BENCHMARK(parseParamCommand);

void parseDeviceReply(benchmark::State& state) {
    for (auto _ : state) {
        const decodeZARNString decoded("1234 0 'K7 SDI Router'", '\'');
        benchmark::DoNotOptimize(decoded.tokens[1]);
    }
}
BENCHMARK(parseDeviceReply);

void registerRouterCommand(benchmark::State& state) {
    QuietHost host;
    Panel panel(&host);
    for (auto _ : state) panel.registerRouter(5, 20, 20, true);
}
BENCHMARK(registerRouterCommand);

void setPropertyCommand(benchmark::State& state) {
    QuietHost host;
    Panel panel(&host);
    for (auto _ : state) panel.setProperty("statesheet", "RZ_Tally_Red", "1", "ID_1");
}
BENCHMARK(setPropertyCommand);

void crosspointCommand(benchmark::State& state) {
    QuietHost host;
    Panel panel(&host);
    for (auto _ : state) panel.makeCrosspoint(3, 12, 40, "", false);
}
BENCHMARK(crosspointCommand);

void parentMessageRoundTrip(benchmark::State& state) {
    QuietHost host;
    Panel panel(&host);
    char text[] = "return=myParam";
    for (auto _ : state) {
        char* reply = panel.callback(text, zarn_type_parent_message);
        panel.callback(reply, zarn_type_release);
    }
}
BENCHMARK(parentMessageRoundTrip);

}  // namespace

BENCHMARK_MAIN();
