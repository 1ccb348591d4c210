// Shared benchmark support: the null hosts, the panel loader, allocation
// counting and the reporters. Over 400 lines because every benchmark binary
// links this one file instead of carrying its own copy.
#include "bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define ZARN_HAVE_CALLGRIND 1
#endif

#include "support/counting_allocator.h"

namespace {

std::map<std::string, double>& targets() {
    static std::map<std::string, double> byName;
    return byName;
}

struct Comparison {
    std::string name;
    std::string standard;
    std::string qt;  // empty without Qt
    double ratio;
};

std::vector<Comparison>& comparisons() {
    static std::vector<Comparison> all;
    return all;
}

// Benchmarks whose floor is another one's: the std::string and QString rows
// are set against the zarn_string row's floor.
std::map<std::string, std::string>& sharedFloors() {
    static std::map<std::string, std::string> byName;
    return byName;
}

struct Family {
    std::string name;
    benchmark::internal::Benchmark* benchmark;
    long long work;
};

std::vector<Family>& families() {
    static std::vector<Family> all;
    return all;
}

std::string floorOf(const std::string& name) {
    const auto shared = sharedFloors().find(name);
    return shared != sharedFloors().end() ? shared->second : "floor/" + name;
}

}  // namespace

namespace zarn_bench {

AllocationCounter::AllocationCounter() : start_(counting_allocator::total()) {}

AllocationCounter::AllocationCounter(benchmark::State& state) : state_(&state), start_(counting_allocator::total()) {}

AllocationCounter::~AllocationCounter() {
    report();
}

std::uint64_t AllocationCounter::count() const {
    return counting_allocator::total() - start_;
}

void AllocationCounter::report() {
    if (state_ == nullptr) return;
    const double made = static_cast<double>(count());
    state_->counters["allocs"] = benchmark::Counter(made, benchmark::Counter::kAvgIterations);
    state_ = nullptr;
}

void setTarget(const char* name, double ratio) {
    targets()[name] = ratio;
}

benchmark::internal::Benchmark* add(const char* name, void (*function)(benchmark::State&), long long work) {
    benchmark::internal::Benchmark* registered = benchmark::RegisterBenchmark(name, function);
    families().push_back({name, registered, std::max(1LL, work)});
    return registered;
}

void compareWith(const char* name, const char* standard, const char* qt, double ratio) {
    comparisons().push_back({name, standard, qt != nullptr ? qt : "", ratio});
    sharedFloors()[standard] = floorOf(name);
    if (qt != nullptr) sharedFloors()[qt] = floorOf(name);
}

}  // namespace zarn_bench

namespace {

struct Figure {
    double nanoseconds = -1;   // real time per iteration; -1 when not timed
    double allocations = -1;   // per iteration; -1 when not counted
    double instructions = -1;  // per iteration; -1 when not counted
};

// Figures by benchmark name, in the order they were first reported.
class Figures {
public:
    Figure& operator[](const std::string& name) {
        if (byName_.find(name) == byName_.end()) order_.push_back(name);
        return byName_[name];
    }
    const Figure* find(const std::string& name) const {
        const auto found = byName_.find(name);
        return found != byName_.end() ? &found->second : nullptr;
    }
    const std::vector<std::string>& order() const { return order_; }

    // One line per benchmark: name, ns, allocations.
    void save(const char* path) const {
        std::ofstream out(path);
        for (const std::string& name : order_) {
            const Figure& figure = byName_.at(name);
            out << name << '\t' << figure.nanoseconds << '\t' << figure.allocations << '\n';
        }
        if (!out) std::fprintf(stderr, "cannot write the figures to %s\n", path);
    }
    // Takes the times of an earlier run saved with save(); a missing file
    // leaves the times out.
    void loadTimes(const char* path) {
        std::ifstream in(path);
        std::string name;
        double nanoseconds = 0;
        double allocations = 0;
        while (std::getline(in, name, '\t') && in >> nanoseconds >> allocations) {
            in.ignore(1);
            Figure& figure = (*this)[name];
            figure.nanoseconds = nanoseconds;
            if (figure.allocations < 0) figure.allocations = allocations;
        }
    }

private:
    std::vector<std::string> order_;
    std::map<std::string, Figure> byName_;
};

std::string number(double value, const char* format) {
    if (value < 0) return "";
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string ratioText(double measured, double floor) {
    return measured >= 0 && floor > 0 ? number(measured / floor, "%.2f") : "";
}

std::string targetText(const std::string& name, double ratio) {
    const auto target = targets().find(name);
    if (target == targets().end() || ratio < 0) return "";
    char text[48];
    std::snprintf(text, sizeof text, "%s %gx", ratio <= target->second ? "within" : "MISSED", target->second);
    return text;
}

// The figure to judge a target by: instructions when counted, else time.
double measure(const Figure& figure) {
    return figure.instructions >= 0 ? figure.instructions : figure.nanoseconds;
}

void printRatios(const Figures& figures, bool instructions) {
    bool header = false;
    for (const std::string& name : figures.order()) {
        if (name.rfind("floor/", 0) == 0) continue;
        const Figure* floor = figures.find(floorOf(name));
        if (floor == nullptr) continue;
        const Figure& measured = *figures.find(name);
        const double timeRatio =
            measured.nanoseconds >= 0 && floor->nanoseconds > 0 ? measured.nanoseconds / floor->nanoseconds : -1;
        if (!instructions) {
            if (!header) {
                std::printf("\n| benchmark | ns | floor ns | ratio | target | allocs | floor allocs |\n");
                std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
                header = true;
            }
            std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", name.c_str(),
                        number(measured.nanoseconds, "%.1f").c_str(), number(floor->nanoseconds, "%.1f").c_str(),
                        number(timeRatio, "%.2f").c_str(), targetText(name, timeRatio).c_str(),
                        number(measured.allocations, "%.2f").c_str(), number(floor->allocations, "%.2f").c_str());
            continue;
        }
        if (measured.instructions < 0 || floor->instructions <= 0) continue;
        if (!header) {
            std::printf("\n| benchmark | instructions | floor instructions | ratio | time ratio | target | allocs |\n");
            std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
            header = true;
        }
        const double ratio = measured.instructions / floor->instructions;
        std::printf("| %s | %s | %s | %.2f | %s | %s | %s |\n", name.c_str(),
                    number(measured.instructions, "%.0f").c_str(), number(floor->instructions, "%.0f").c_str(), ratio,
                    number(timeRatio, "%.2f").c_str(), targetText(name, ratio).c_str(),
                    number(measured.allocations, "%.2f").c_str());
    }
}

// Each zarn_string row beside std::string and QString: every figure as a
// multiple of the shared floor, and zarn_string over std::string.
void printComparisons(const Figures& figures, bool instructions) {
    bool header = false;
    for (const Comparison& row : comparisons()) {
        const Figure* floor = figures.find(floorOf(row.name));
        const Figure* zarn = figures.find(row.name);
        const Figure* standard = figures.find(row.standard);
        const Figure* qt = row.qt.empty() ? nullptr : figures.find(row.qt);
        if (floor == nullptr || zarn == nullptr || standard == nullptr) continue;
        const auto value = [&](const Figure* figure) { return figure == nullptr ? -1 : measure(*figure); };
        if (!header) {
            std::printf("\n%s, each as a multiple of the same floor\n", instructions ? "Instructions" : "Time");
            std::printf(
                "| text | floor | zarn_string | std::string | QString | zarn_string / std::string | "
                "time: zarn_string / std::string | target |\n");
            std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
            header = true;
        }
        const double over = value(standard) > 0 ? value(zarn) / value(standard) : -1;
        const double overInTime =
            standard->nanoseconds > 0 && zarn->nanoseconds >= 0 ? zarn->nanoseconds / standard->nanoseconds : -1;
        std::string verdict =
            over < 0 ? "" : (over <= row.ratio ? "within " : "MISSED ") + number(row.ratio, "%g") + "x";
        if (qt != nullptr && value(zarn) >= value(qt)) verdict += ", not below QString";
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", row.name.c_str() + std::strlen("string/"),
                    number(value(floor), instructions ? "%.0f" : "%.1f ns").c_str(),
                    ratioText(value(zarn), value(floor)).c_str(), ratioText(value(standard), value(floor)).c_str(),
                    ratioText(value(qt), value(floor)).c_str(), number(over, "%.2f").c_str(),
                    number(overInTime, "%.2f").c_str(), verdict.c_str());
    }
}

// For every family "base/N": the time per step from one N to the next,
// with the factor by which N grew.
void printScaling(const Figures& figures) {
    std::map<std::string, std::vector<std::pair<long long, double>>> families;
    for (const std::string& name : figures.order()) {
        const std::size_t slash = name.rfind('/');
        if (slash == std::string::npos) continue;
        char* end = nullptr;
        const long long size = std::strtoll(name.c_str() + slash + 1, &end, 10);
        if (end == name.c_str() + slash + 1 || *end != '\0') continue;
        families[name.substr(0, slash)].emplace_back(size, figures.find(name)->nanoseconds);
    }
    bool header = false;
    for (auto& family : families) {
        auto& points = family.second;
        if (points.size() < 2) continue;
        std::sort(points.begin(), points.end());
        if (!header) {
            std::printf("\n| family | N | ns | growth vs previous N |\n|---|---:|---:|---|\n");
            header = true;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            std::string growth = "";
            if (i > 0) {
                char text[64];
                std::snprintf(text, sizeof text, "x%.1f for x%lld", points[i].second / points[i - 1].second,
                              points[i].first / std::max(1LL, points[i - 1].first));
                growth = text;
            }
            std::printf("| %s | %lld | %.0f | %s |\n", family.first.c_str(), points[i].first, points[i].second,
                        growth.c_str());
        }
    }
}

// Prints the usual console output and keeps one figure per benchmark name.
class FloorReporter : public benchmark::ConsoleReporter {
public:
    explicit FloorReporter(Figures& figures) : figures_(figures) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // With repetitions, the median stands for the benchmark.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
            Figure& figure = figures_[run.run_name.str()];
            figure.nanoseconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            const auto allocs = run.counters.find("allocs");
            if (allocs != run.counters.end()) figure.allocations = allocs->second.value;
        }
    }

private:
    Figures& figures_;
};

// Value of "--flag=value" (or "" for a bare "--flag") removed from argv;
// null when the flag is absent.
const char* takeFlag(int& argc, char** argv, const char* flag) {
    const std::size_t size = std::strlen(flag);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], flag, size) != 0 || (argv[i][size] != '\0' && argv[i][size] != '=')) continue;
        const char* value = argv[i][size] == '=' ? argv[i] + size + 1 : "";
        std::copy(argv + i + 1, argv + argc, argv + i);
        argv[--argc] = nullptr;
        return value;
    }
    return nullptr;
}

#ifdef ZARN_HAVE_CALLGRIND
// Benchmark names in the order they ran, for the tables.
std::vector<std::string>& runOrder() {
    static std::vector<std::string> names;
    return names;
}

// Under callgrind: dumps the instructions counted since the last dump each
// time a benchmark has run, named "zarn <pass> <benchmark>".
class DumpReporter : public benchmark::BenchmarkReporter {
public:
    explicit DumpReporter(int pass) : pass_(pass) {}
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        if (runs.empty()) return;
        // The name without the "/iterations:N" a fixed count adds, so both
        // passes name the benchmark alike.
        std::string name = runs.front().run_name.str();
        const std::size_t fixed = name.find("/iterations:");
        if (fixed != std::string::npos) name.erase(fixed, name.find('/', fixed + 1) - fixed);
        if (pass_ == 0) runOrder().push_back(name);
        const std::string reason = "zarn " + std::to_string(pass_) + " " + name;
        CALLGRIND_DUMP_STATS_AT(reason.c_str());
    }

private:
    int pass_;
};

// Instructions of every dump named "zarn <pass> <benchmark>" in a callgrind
// output file written with --combine-dumps=yes, by pass and benchmark.
std::map<std::pair<int, std::string>, double> readDumps(const char* path) {
    std::map<std::pair<int, std::string>, double> dumps;
    std::ifstream in(path);
    std::string line;
    std::string reason;
    const std::string trigger = "desc: Trigger: Client Request: zarn ";
    while (std::getline(in, line)) {
        if (line.rfind(trigger, 0) == 0) {
            reason = line.substr(trigger.size());
        } else if (!reason.empty() && (line.rfind("summary: ", 0) == 0 || line.rfind("totals: ", 0) == 0)) {
            const std::size_t blank = reason.find(' ');
            const int pass = std::atoi(reason.c_str());
            dumps[{pass, reason.substr(blank + 1)}] = std::strtod(line.c_str() + line.find(' ') + 1, nullptr);
            reason.clear();
        }
    }
    return dumps;
}

// The registered family a benchmark run belongs to: the longest family name
// that is the run's name or a leading part of it ending before a "/".
const Family* familyOf(const std::string& name) {
    const Family* best = nullptr;
    std::size_t bestSize = 0;
    for (const Family& family : families()) {
        const std::string& prefix = family.name;
        const bool matches =
            name.compare(0, prefix.size(), prefix) == 0 && (name.size() == prefix.size() || name[prefix.size()] == '/');
        if (matches && prefix.size() >= bestSize) {
            best = &family;
            bestSize = prefix.size();
        }
    }
    return best;
}

// Runs every benchmark three times with a fixed iteration count: n to warm up
// (lazy binding, first-use statics), then n and 2n. The difference of the
// last two is n iterations' worth, free of each benchmark's set-up.
int countInstructions(const char* output, const char* times, long long iterations) {
    if (!RUNNING_ON_VALGRIND) {
        std::fprintf(stderr, "--zarn_instructions counts only under valgrind --tool=callgrind\n");
        return 2;
    }
    const long long factors[3] = {1, 1, 2};
    for (int pass = 0; pass < 3; ++pass) {
        for (const Family& family : families()) {
            family.benchmark->Iterations(std::max(1LL, iterations / family.work) * factors[pass]);
        }
        DumpReporter reporter(pass);
        CALLGRIND_ZERO_STATS;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    const auto dumps = readDumps(output);
    if (dumps.empty()) {
        std::fprintf(stderr,
                     "no instruction counts in %s: was it callgrind's --callgrind-out-file, with "
                     "--combine-dumps=yes?\n",
                     output);
        return 2;
    }
    // Pass 2 ran twice pass 1's iterations, so their difference is pass 1's
    // count of iterations, which follows from the benchmark's family.
    Figures figures;
    for (const std::string& name : runOrder()) {
        const auto once = dumps.find({1, name});
        const auto twice = dumps.find({2, name});
        const Family* family = familyOf(name);
        if (once == dumps.end() || twice == dumps.end() || family == nullptr) continue;
        const double n = static_cast<double>(std::max(1LL, iterations / family->work));
        figures[name].instructions = (twice->second - once->second) / n;
    }
    if (times != nullptr) figures.loadTimes(times);
    printRatios(figures, true);
    printComparisons(figures, true);
    return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // Our own flags go before Google Benchmark sees the rest.
    const char* figuresPath = takeFlag(argc, argv, "--zarn_figures");
    const char* instructions = takeFlag(argc, argv, "--zarn_instructions");
    const char* times = takeFlag(argc, argv, "--zarn_times");
    const char* iterations = takeFlag(argc, argv, "--zarn_iterations");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (instructions != nullptr) {
#ifdef ZARN_HAVE_CALLGRIND
        const long long count = iterations != nullptr ? std::atoll(iterations) : 0;
        return countInstructions(instructions, times, count > 0 ? count : 1000);
#else
        (void)times;
        (void)iterations;
        std::fprintf(stderr, "built without valgrind/callgrind.h: cannot count instructions\n");
        return 2;
#endif
    }
    Figures figures;
    FloorReporter reporter(figures);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatios(figures, false);
    printComparisons(figures, false);
    printScaling(figures);
    if (figuresPath != nullptr) figures.save(figuresPath);
    benchmark::Shutdown();
    return 0;
}
