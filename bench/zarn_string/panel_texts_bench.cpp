// The texts panels build, each built four ways in the same binary: with
// zarn_string ("string/text/X"), the way a panel engineer would write it with
// std::string ("std/text/X"), with Qt's QString where the benchmark build
// found Qt ("qt/text/X"), and the floor ("floor/string/text/X"): the bytes
// written by hand with memcpy and a digit loop into a stack buffer. The ratio
// table sets every one of them against that one floor.
#include <zarn/zarn_string.h>
// Over 400 lines: one benchmark per text, four ways each, in one binary so the ratios share a run.
#include <zarn/zarn_stringlist.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"

#ifdef ZARN_BENCH_QT
#include <QString>
#include <QStringList>
#endif

// The inputs of every row. They have external linkage, so no side can treat
// them as constants and build its text at compile time.
struct PanelTextInputs {
    int device = 1001;
    int source = 12;
    int dest = 40;
    int level = 2;
    int router = 201;
    const char* salvo = "Studio A";
    const char* property = "text";
    const char* value = "Studio A PGM";
    const char* panel = "1";
    const char* control = "Vidtally_1";
    const char* instance = "K7 Package Names";
    const char* shortInstance = "K7 SDI Router";
    const char* number = "-12345";
};
PanelTextInputs panelTextInputs;

namespace {

PanelTextInputs& inputs = panelTextInputs;

// ---- Floor: a stack buffer filled left to right ----

class HandText {
public:
    HandText& put(const char* text, std::size_t size) {
        std::memcpy(end_, text, size);
        end_ += size;
        return *this;
    }
    HandText& put(const char* text) { return put(text, std::strlen(text)); }
    HandText& put(int value) {
        char digits[12];
        char* first = digits + sizeof digits;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            *--first = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) *--first = '-';
        return put(first, static_cast<std::size_t>(digits + sizeof digits - first));
    }
    const char* text() {
        *end_ = '\0';
        return buffer_;
    }

private:
    char buffer_[128];
    char* end_ = buffer_;
};

// ---- One row: the four ways ----

void crosspointFloor(benchmark::State& state) {
    for (auto _ : state) {
        HandText text;
        text.put("RC ", 3).put(inputs.device).put(" ", 1).put(inputs.source).put(" ", 1).put(inputs.dest);
        text.put(" ',", 3).put(inputs.level).put("' ", 2).put(inputs.salvo);
        benchmark::DoNotOptimize(text.text());
    }
}
void crosspointString(benchmark::State& state) {
    const zarn_string format("RC %1 %2 %3 ',%4' %5");
    const zarn_string salvo(inputs.salvo);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text =
            format.arg(inputs.device).arg(inputs.source).arg(inputs.dest).arg(inputs.level).arg(salvo);
        benchmark::DoNotOptimize(text.c_str());
    }
}
void crosspointStd(benchmark::State& state) {
    const std::string salvo(inputs.salvo);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text = "RC " + std::to_string(inputs.device) + " " + std::to_string(inputs.source) + " " +
                                 std::to_string(inputs.dest) + " '," + std::to_string(inputs.level) + "' " + salvo;
        benchmark::DoNotOptimize(text.c_str());
    }
}

void propertyFloor(benchmark::State& state) {
    for (auto _ : state) {
        HandText text;
        text.put("TP '", 4).put(inputs.property).put("=", 1).put(inputs.value).put("' '", 3).put(inputs.panel);
        text.put("' '", 3).put(inputs.control).put("'", 1);
        benchmark::DoNotOptimize(text.text());
    }
}
void propertyString(benchmark::State& state) {
    const zarn_string property(inputs.property), value(inputs.value), panel(inputs.panel), control(inputs.control);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text = "TP '" + property + "=" + value + "' '" + panel + "' '" + control + "'";
        benchmark::DoNotOptimize(text.c_str());
    }
}
void propertyStd(benchmark::State& state) {
    const std::string property(inputs.property), value(inputs.value), panel(inputs.panel), control(inputs.control);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text = "TP '" + property + "=" + value + "' '" + panel + "' '" + control + "'";
        benchmark::DoNotOptimize(text.c_str());
    }
}

void lookupFloor(benchmark::State& state) {
    for (auto _ : state) {
        HandText text;
        text.put("SD '", 4).put(inputs.instance).put("'", 1);
        benchmark::DoNotOptimize(text.text());
    }
}
void lookupString(benchmark::State& state) {
    const zarn_string format("SD '%1'");
    const zarn_string instance(inputs.instance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text = format.arg(instance);
        benchmark::DoNotOptimize(text.c_str());
    }
}
void lookupStd(benchmark::State& state) {
    const std::string instance(inputs.instance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text = "SD '" + instance + "'";
        benchmark::DoNotOptimize(text.c_str());
    }
}

// The same with an argument a string keeps inline, the usual host command:
// only the result leaves the string's inline buffer.
void lookupShortFloor(benchmark::State& state) {
    for (auto _ : state) {
        HandText text;
        text.put("SD '", 4).put(inputs.shortInstance).put("'", 1);
        benchmark::DoNotOptimize(text.text());
    }
}
void lookupShortString(benchmark::State& state) {
    const zarn_string format("SD '%1'");
    const zarn_string instance(inputs.shortInstance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text = format.arg(instance);
        benchmark::DoNotOptimize(text.c_str());
    }
}
void lookupShortStd(benchmark::State& state) {
    const std::string instance(inputs.shortInstance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text = "SD '" + instance + "'";
        benchmark::DoNotOptimize(text.c_str());
    }
}

void registerFloor(benchmark::State& state) {
    for (auto _ : state) {
        HandText text;
        text.put("RR ", 3).put(inputs.router).put(" ", 1).put(inputs.dest).put(" ", 1).put(inputs.dest + 1);
        text.put(" 'ADD'", 6);
        benchmark::DoNotOptimize(text.text());
    }
}
void registerString(benchmark::State& state) {
    const zarn_string format("RR %1 %2 %3 'ADD'");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text = format.arg(inputs.router).arg(inputs.dest).arg(inputs.dest + 1);
        benchmark::DoNotOptimize(text.c_str());
    }
}
void registerStd(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text = "RR " + std::to_string(inputs.router) + " " + std::to_string(inputs.dest) + " " +
                                 std::to_string(inputs.dest + 1) + " 'ADD'";
        benchmark::DoNotOptimize(text.c_str());
    }
}

// Four texts into one format in a single call: the same TP text as the
// concatenation, so the same floor.
void fillFloor(benchmark::State& state) {
    propertyFloor(state);
}
void fillString(benchmark::State& state) {
    const zarn_string format("TP '%1=%2' '%3' '%4'");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text = format.args({inputs.property, inputs.value, inputs.panel, inputs.control});
        benchmark::DoNotOptimize(text.c_str());
    }
}
void fillStd(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        std::string text = "TP '";
        text += inputs.property;
        text += "=";
        text += inputs.value;
        text += "' '";
        text += inputs.panel;
        text += "' '";
        text += inputs.control;
        text += "'";
        benchmark::DoNotOptimize(text.c_str());
    }
}

// A text longer than a string keeps inline, so every side copies to the heap.
void fromTextFloor(benchmark::State& state) {
    for (auto _ : state) {
        const std::size_t size = std::strlen(inputs.instance);
        char* copy = static_cast<char*>(std::malloc(size + 1));
        std::memcpy(copy, inputs.instance, size + 1);
        benchmark::DoNotOptimize(copy);
        std::free(copy);
    }
}
void fromTextString(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_string text(inputs.instance);
        benchmark::DoNotOptimize(text.c_str());
    }
}
void fromTextStd(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const std::string text(inputs.instance);
        benchmark::DoNotOptimize(text.c_str());
    }
}

void toIntFloor(benchmark::State& state) {
    const std::string number(inputs.number);
    for (auto _ : state) {
        const char* digit = number.c_str();
        const bool negative = *digit == '-';
        if (negative) ++digit;
        int value = 0;
        while (*digit >= '0' && *digit <= '9') value = value * 10 + (*digit++ - '0');
        benchmark::DoNotOptimize(negative ? -value : value);
    }
}
void toIntString(benchmark::State& state) {
    const zarn_string number(inputs.number);
    for (auto _ : state) benchmark::DoNotOptimize(number.toInt());
}
void toIntStd(benchmark::State& state) {
    const std::string number(inputs.number);
    for (auto _ : state) benchmark::DoNotOptimize(std::stoi(number));
}

// ---- A control list of 10,000 entries cut at its commas ----

std::string listText() {
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        if (i != 0) text += ',';
        text += "alm_" + std::to_string(i);
    }
    return text;
}

void listFloor(benchmark::State& state) {
    const std::string source = listText();
    for (auto _ : state) {
        // One copy cut in place, a pointer per entry.
        char* copy = static_cast<char*>(std::malloc(source.size() + 1));
        std::memcpy(copy, source.c_str(), source.size() + 1);
        std::vector<const char*> entries;
        entries.reserve(10000);
        for (char* pos = copy;;) {
            entries.push_back(pos);
            char* next = std::strchr(pos, ',');
            if (next == nullptr) break;
            *next = '\0';
            pos = next + 1;
        }
        benchmark::DoNotOptimize(entries.data());
        std::free(copy);
    }
}
void listString(benchmark::State& state) {
    const zarn_string text(listText().c_str());
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const zarn_stringlist list(text, ',');
        benchmark::DoNotOptimize(list.count());
    }
}
void listStd(benchmark::State& state) {
    const std::string text = listText();
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        std::vector<std::string> list;
        for (std::size_t pos = 0;;) {
            const std::size_t comma = text.find(',', pos);
            list.push_back(text.substr(pos, comma - pos));
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
        benchmark::DoNotOptimize(list.data());
    }
}

#ifdef ZARN_BENCH_QT
void crosspointQt(benchmark::State& state) {
    const QString format("RC %1 %2 %3 ',%4' %5");
    const QString salvo(inputs.salvo);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = format.arg(inputs.device).arg(inputs.source).arg(inputs.dest).arg(inputs.level).arg(salvo);
        benchmark::DoNotOptimize(text.constData());
    }
}
void propertyQt(benchmark::State& state) {
    const QString property(inputs.property), value(inputs.value), panel(inputs.panel), control(inputs.control);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = "TP '" + property + "=" + value + "' '" + panel + "' '" + control + "'";
        benchmark::DoNotOptimize(text.constData());
    }
}
void lookupQt(benchmark::State& state) {
    const QString format("SD '%1'");
    const QString instance(inputs.instance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = format.arg(instance);
        benchmark::DoNotOptimize(text.constData());
    }
}
void lookupShortQt(benchmark::State& state) {
    const QString format("SD '%1'");
    const QString instance(inputs.shortInstance);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = format.arg(instance);
        benchmark::DoNotOptimize(text.constData());
    }
}
void registerQt(benchmark::State& state) {
    const QString format("RR %1 %2 %3 'ADD'");
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = format.arg(inputs.router).arg(inputs.dest).arg(inputs.dest + 1);
        benchmark::DoNotOptimize(text.constData());
    }
}
void fillQt(benchmark::State& state) {
    const QString format("TP '%1=%2' '%3' '%4'");
    const QString property(inputs.property), value(inputs.value), panel(inputs.panel), control(inputs.control);
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text = format.arg(property, value, panel, control);
        benchmark::DoNotOptimize(text.constData());
    }
}
void fromTextQt(benchmark::State& state) {
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QString text(inputs.instance);
        benchmark::DoNotOptimize(text.constData());
    }
}
void toIntQt(benchmark::State& state) {
    const QString number(inputs.number);
    for (auto _ : state) benchmark::DoNotOptimize(number.toInt());
}
void listQt(benchmark::State& state) {
    const QString text = QString::fromStdString(listText());
    zarn_bench::AllocationCounter allocations(state);
    for (auto _ : state) {
        const QStringList list = text.split(',');
        benchmark::DoNotOptimize(list.size());
    }
}
#endif

using Function = void (*)(benchmark::State&);

struct Row {
    const char* name;
    long long work;  // against a short text, for counting instructions
    Function floor;
    Function string;
    Function std;
    Function qt;  // null without Qt
};

#ifdef ZARN_BENCH_QT
#define ZARN_QT(function) function
#else
#define ZARN_QT(function) nullptr
#endif

const bool registered = [] {
    const Row rows[] = {
        {"text/crosspoint_arg_chain", 1, crosspointFloor, crosspointString, crosspointStd, ZARN_QT(crosspointQt)},
        {"text/property_concatenation", 1, propertyFloor, propertyString, propertyStd, ZARN_QT(propertyQt)},
        {"text/lookup_arg_text", 1, lookupFloor, lookupString, lookupStd, ZARN_QT(lookupQt)},
        {"text/lookup_arg_short", 1, lookupShortFloor, lookupShortString, lookupShortStd, ZARN_QT(lookupShortQt)},
        {"text/register_arg_numbers", 1, registerFloor, registerString, registerStd, ZARN_QT(registerQt)},
        {"text/property_args", 1, fillFloor, fillString, fillStd, ZARN_QT(fillQt)},
        {"text/from_c_text", 1, fromTextFloor, fromTextString, fromTextStd, ZARN_QT(fromTextQt)},
        {"text/toInt", 1, toIntFloor, toIntString, toIntStd, ZARN_QT(toIntQt)},
        {"text/list_split_10000", 10000, listFloor, listString, listStd, ZARN_QT(listQt)},
    };
    for (const Row& row : rows) {
        const std::string name = row.name;
        zarn_bench::add(("string/" + name).c_str(), row.string, row.work);
        zarn_bench::add(("std/" + name).c_str(), row.std, row.work);
        if (row.qt != nullptr) zarn_bench::add(("qt/" + name).c_str(), row.qt, row.work);
        zarn_bench::add(("floor/string/" + name).c_str(), row.floor, row.work);
        zarn_bench::compareWith(("string/" + name).c_str(), ("std/" + name).c_str(),
                                row.qt != nullptr ? ("qt/" + name).c_str() : nullptr, 1.5);
    }
    return true;
}();

}  // namespace
