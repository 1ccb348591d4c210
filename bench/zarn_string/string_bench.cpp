// Cost of the string library as panels use it, each beside its floor: the
// same job done by hand with snprintf, memchr and memcpy into stack buffers or
// one malloc'd buffer. The families ending in a size show how the cost grows
// with the text or the number of entries.
#include <zarn/zarn_string.h>
#include <zarn/zarn_stringlist.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

// ---- Short texts a panel builds on every event ----

// Three chains a panel writes: a crosspoint, a tally text and a state sheet.
void argChain(benchmark::State& state) {
    const zarn_string crosspoint("RC %1 %2 %3 ',' 0");
    const zarn_string tally("TP 'text=%1' '%2' '%3'");
    const zarn_string sheet("TP 'statesheet=%1' '%2' 'ID_%3'");
    const zarn_string source("Studio A PGM");
    const zarn_string control("Vidtally_1");
    const zarn_string red("RZ_Tally_Red");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string a = crosspoint.arg(3).arg(12).arg(40);
        const zarn_string b = tally.arg(source).arg(1).arg(control);
        const zarn_string c = sheet.arg(red).arg(1).arg(2);
        benchmark::DoNotOptimize(a.c_str());
        benchmark::DoNotOptimize(b.c_str());
        benchmark::DoNotOptimize(c.c_str());
    }
}

void argChainFloor(benchmark::State& state) {
    const char* source = "Studio A PGM";
    const char* control = "Vidtally_1";
    const char* red = "RZ_Tally_Red";
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        char a[64];
        char b[128];
        char c[128];
        std::snprintf(a, sizeof a, "RC %d %d %d ',' 0", 3, 12, 40);
        std::snprintf(b, sizeof b, "TP 'text=%s' '%d' '%s'", source, 1, control);
        std::snprintf(c, sizeof c, "TP 'statesheet=%s' '%d' 'ID_%d'", red, 1, 2);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(c);
    }
}

// One-pass fills with three, four and five values.
void args(benchmark::State& state) {
    const zarn_string crosspoint("RC %1 %2 %3");
    const zarn_string property("TP '%1=%2' '%3' '%4'");
    const zarn_string report("%1: %2 of panel \"%3\" skipped (first: \"%4\", last: \"%5\")");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string a = crosspoint.args({"201", "12", "40"});
        const zarn_string b = property.args({"alarm", "ack", "1", "alm_17"});
        const zarn_string c = report.args({"alarmGroupAction", "3", "1", "btn_2", "lbl_9"});
        benchmark::DoNotOptimize(a.c_str());
        benchmark::DoNotOptimize(b.c_str());
        benchmark::DoNotOptimize(c.c_str());
    }
}

void argsFloor(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        char a[64];
        char b[128];
        char c[160];
        std::snprintf(a, sizeof a, "RC %s %s %s", "201", "12", "40");
        std::snprintf(b, sizeof b, "TP '%s=%s' '%s' '%s'", "alarm", "ack", "1", "alm_17");
        std::snprintf(c, sizeof c, "%s: %s of panel \"%s\" skipped (first: \"%s\", last: \"%s\")", "alarmGroupAction",
                      "3", "1", "btn_2", "lbl_9");
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(c);
    }
}

// A package entry "video,audio" cut at its comma.
void split(benchmark::State& state) {
    const zarn_string entry("40,20");
    const zarn_string named("Studio A PGM,Studio A Audio");
    zarn_string left;
    zarn_string right;
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry.split(',', left, right));
        benchmark::DoNotOptimize(left.c_str());
        benchmark::DoNotOptimize(named.split(',', left, right));
        benchmark::DoNotOptimize(right.c_str());
    }
}

// Copies text cut at its first separator into left and right; returns the
// number of separators, as split does.
int handSplit(const char* text, std::size_t size, char separator, char* left, char* right, std::size_t capacity) {
    const void* found = std::memchr(text, separator, size);
    const std::size_t at = found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
    const std::size_t leftSize = at < capacity ? at : capacity - 1;
    std::memcpy(left, text, leftSize);
    left[leftSize] = '\0';
    std::size_t rightSize = at < size ? size - at - 1 : 0;
    if (rightSize >= capacity) rightSize = capacity - 1;
    std::memcpy(right, text + at + (at < size ? 1 : 0), rightSize);
    right[rightSize] = '\0';
    int separators = 0;
    for (const char* c = text + at; c != text + size; ++c) separators += *c == separator;
    return separators;
}

void splitFloor(benchmark::State& state) {
    const std::string entry("40,20");
    const std::string named("Studio A PGM,Studio A Audio");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        char left[64];
        char right[64];
        benchmark::DoNotOptimize(handSplit(entry.data(), entry.size(), ',', left, right, sizeof left));
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(handSplit(named.data(), named.size(), ',', left, right, sizeof left));
        benchmark::DoNotOptimize(right);
    }
}

// ---- Control lists ----

// "alm_0,alm_1,..." cut to exactly size bytes.
std::string controlListText(std::size_t size) {
    std::string text;
    text.reserve(size + 16);
    for (int i = 0; text.size() < size; ++i) {
        text += "alm_";
        text += std::to_string(i);
        text += ',';
    }
    text.resize(size);
    return text;
}

void listSplit(benchmark::State& state) {
    const zarn_string text(controlListText(static_cast<std::size_t>(state.range(0))).c_str());
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        zarn_stringlist list(text, ',');
        benchmark::DoNotOptimize(list.count());
    }
    allocations.report();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The text copied once into a malloc'd buffer, cut in place, with a pointer
// to each entry in a vector reserved once for the whole count.
void listSplitFloor(benchmark::State& state) {
    const std::string source = controlListText(static_cast<std::size_t>(state.range(0)));
    const char* const text = source.c_str();
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::size_t size = std::strlen(text);
        char* copy = static_cast<char*>(std::malloc(size + 1));
        std::memcpy(copy, text, size + 1);
        std::size_t separators = 0;
        for (std::size_t i = 0; i < size; ++i) separators += copy[i] == ',';
        std::vector<const char*> entries;
        entries.reserve(separators + 1);
        char* pos = copy;
        char* const end = copy + size;
        for (;;) {
            entries.push_back(pos);
            char* next = static_cast<char*>(std::memchr(pos, ',', static_cast<std::size_t>(end - pos)));
            if (next == nullptr) break;
            *next = '\0';
            pos = next + 1;
        }
        benchmark::DoNotOptimize(entries.data());
        std::free(copy);
    }
    allocations.report();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

std::vector<std::string> controlNames(std::size_t count) {
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.push_back("alm_" + std::to_string(i));
    return names;
}

void listBuild(benchmark::State& state) {
    std::vector<zarn_string> names;
    for (const std::string& name : controlNames(static_cast<std::size_t>(state.range(0)))) {
        names.emplace_back(name.c_str());
    }
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        zarn_stringlist list;
        for (const zarn_string& name : names) list << name;
        const zarn_string joined = list.toString(',');
        benchmark::DoNotOptimize(joined.c_str());
    }
}

// The entries, whose lengths are known, copied with their separators into one
// buffer sized for all of them.
void listBuildFloor(benchmark::State& state) {
    const std::vector<std::string> names = controlNames(static_cast<std::size_t>(state.range(0)));
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        std::size_t size = 0;
        for (const std::string& name : names) size += name.size() + 1;
        char* joined = static_cast<char*>(std::malloc(size + 1));
        char* out = joined;
        for (const std::string& name : names) {
            if (out != joined) *out++ = ',';
            std::memcpy(out, name.data(), name.size());
            out += name.size();
        }
        *out = '\0';
        benchmark::DoNotOptimize(joined);
        std::free(joined);
    }
}

// ---- Placeholder fills over long texts ----

// "item %1; item %2; ..." with the numbers 1 to 9 in turn, about size bytes.
std::string placeholderText(std::size_t size) {
    std::string text;
    text.reserve(size + 16);
    for (int i = 0; text.size() < size; ++i) {
        text += "item %";
        text += static_cast<char>('1' + i % 9);
        text += "; ";
    }
    return text;
}

const char* const fillValues[9] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};

void argsFill(benchmark::State& state) {
    const zarn_string text(placeholderText(static_cast<std::size_t>(state.range(0))).c_str());
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string filled = text.args({fillValues[0], fillValues[1], fillValues[2], fillValues[3], fillValues[4],
                                              fillValues[5], fillValues[6], fillValues[7], fillValues[8]});
        benchmark::DoNotOptimize(filled.c_str());
    }
}

void argFill(benchmark::State& state) {
    const zarn_string text(placeholderText(static_cast<std::size_t>(state.range(0))).c_str());
    const zarn_string value("value");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string filled = text.arg(value);
        benchmark::DoNotOptimize(filled.c_str());
    }
}

// One pass over text: every "%n" (n 1 to 99) for which value(n) gives a text
// is replaced by it, everything else is copied. out is reserved once with
// room for what these texts grow by.
template <typename Value>
void handFill(const std::string& text, std::string& out, Value value) {
    out.clear();
    out.reserve(text.size() + text.size() / 2);
    const char* pos = text.data();
    const char* const end = pos + text.size();
    while (pos != end) {
        const char* percent = static_cast<const char*>(std::memchr(pos, '%', static_cast<std::size_t>(end - pos)));
        if (percent == nullptr) break;
        if (end - percent < 2 || percent[1] < '1' || percent[1] > '9') {
            out.append(pos, static_cast<std::size_t>(percent + 1 - pos));
            pos = percent + 1;
            continue;
        }
        int number = percent[1] - '0';
        const char* after = percent + 2;
        if (after != end && *after >= '0' && *after <= '9') number = number * 10 + (*after++ - '0');
        const char* replacement = value(number);
        out.append(pos, static_cast<std::size_t>((replacement != nullptr ? percent : after) - pos));
        if (replacement != nullptr) out.append(replacement);
        pos = after;
    }
    out.append(pos, static_cast<std::size_t>(end - pos));
}

void argsFillFloor(benchmark::State& state) {
    const std::string text = placeholderText(static_cast<std::size_t>(state.range(0)));
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        std::string filled;
        handFill(text, filled, [](int number) { return number <= 9 ? fillValues[number - 1] : nullptr; });
        benchmark::DoNotOptimize(filled.data());
    }
}

void argFillFloor(benchmark::State& state) {
    const std::string text = placeholderText(static_cast<std::size_t>(state.range(0)));
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        std::string filled;
        handFill(text, filled, [](int number) { return number == 1 ? "value" : nullptr; });
        benchmark::DoNotOptimize(filled.data());
    }
}

// ---- Registration ----

struct Pair {
    const char* name;
    void (*measured)(benchmark::State&);
    void (*floor)(benchmark::State&);
    long long first;  // sizes first, first * 10, ... up to last; 0 for none
    long long last;
};

const bool registered = [] {
    const Pair pairs[] = {
        {"string/arg_chain", argChain, argChainFloor, 0, 0},
        {"string/args", args, argsFloor, 0, 0},
        {"string/split", split, splitFloor, 0, 0},
        {"string/list_split", listSplit, listSplitFloor, 1000, 1000000},
        {"string/list_build", listBuild, listBuildFloor, 100, 100000},
        {"string/args_fill", argsFill, argsFillFloor, 1000, 1000000},
        {"string/arg_fill", argFill, argFillFloor, 1000, 1000000},
    };
    for (const Pair& pair : pairs) {
        const std::string floorName = std::string("floor/") + pair.name;
        auto* measured = zarn_bench::add(pair.name, pair.measured, std::max(1LL, pair.last));
        auto* floor = zarn_bench::add(floorName.c_str(), pair.floor, std::max(1LL, pair.last));
        for (long long size = pair.first; size != 0 && size <= pair.last; size *= 10) {
            measured->Arg(size);
            floor->Arg(size);
        }
        if (pair.first != 0) {
            measured->Unit(benchmark::kMicrosecond);
            floor->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

}  // namespace
