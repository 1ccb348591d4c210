// Scaling of the string library over text sizes from 1 KB to 1 MB; each
// benchmark reports its fitted complexity, which should come out as O(N).
#include <benchmark/benchmark.h>

#include <string>

#include "zarn_string/zarn_string.h"
#include "zarn_string/zarn_stringlist.h"

namespace {

// "alm_0,alm_1,..." cut to about size bytes.
zarn_string controlList(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) text += "alm_" + std::to_string(i) + ",";
    text.resize(size);
    return zarn_string(text.c_str());
}

void listSplit(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const zarn_string text = controlList(size);
    for (auto _ : state) {
        zarn_stringlist list(text, ',');
        benchmark::DoNotOptimize(list.count());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(listSplit)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

void listToString(benchmark::State& state) {
    zarn_stringlist list(controlList(static_cast<std::size_t>(state.range(0))), ',');
    for (auto _ : state) {
        zarn_string joined = list.toString('\n');
        benchmark::DoNotOptimize(joined.c_str());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(listToString)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

// A text full of placeholders "%1".."%9" repeated, filled by args and by arg.
zarn_string placeholderText(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) text += "item %" + std::to_string(i % 9 + 1) + "; ";
    return zarn_string(text.c_str());
}

void argsFill(benchmark::State& state) {
    const zarn_string text = placeholderText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        zarn_string filled = text.args({"one", "two", "three", "four", "five", "six", "seven", "eight", "nine"});
        benchmark::DoNotOptimize(filled.c_str());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(argsFill)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

void argFill(benchmark::State& state) {
    const zarn_string text = placeholderText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        zarn_string filled = text.arg("value");
        benchmark::DoNotOptimize(filled.c_str());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(argFill)->RangeMultiplier(4)->Range(1 << 10, 1 << 20)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
