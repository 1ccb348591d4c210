#include "bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/counting_allocator.h"

namespace {

std::map<std::string, double>& targets() {
    static std::map<std::string, double> byName;
    return byName;
}

}  // namespace

namespace zarn_bench {

std::uint64_t allocationCount() {
    return counting_allocator::total();
}

void reportAllocations(benchmark::State& state, std::uint64_t start) {
    const double made = static_cast<double>(allocationCount() - start);
    state.counters["allocs"] = benchmark::Counter(made, benchmark::Counter::kAvgIterations);
}

void setTarget(const char* name, double ratio) {
    targets()[name] = ratio;
}

}  // namespace zarn_bench

namespace {

struct Figure {
    double nanoseconds = 0;   // real time per iteration
    double allocations = -1;  // per iteration; -1 when not counted
};

// Prints the usual console output and keeps one figure per benchmark name.
class FloorReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // With repetitions, the median stands for the benchmark.
            std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
            Figure figure;
            figure.nanoseconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            const auto allocs = run.counters.find("allocs");
            if (allocs != run.counters.end()) figure.allocations = allocs->second.value;
            if (figures_.find(name) == figures_.end()) order_.push_back(name);
            figures_[name] = figure;
        }
    }

    void printRatios() const {
        bool header = false;
        for (const std::string& name : order_) {
            if (name.rfind("floor/", 0) == 0) continue;
            const auto floor = figures_.find("floor/" + name);
            if (floor == figures_.end()) continue;
            if (!header) {
                std::printf("\n| benchmark | ns | floor ns | ratio | target | allocs | floor allocs |\n");
                std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
                header = true;
            }
            const Figure& measured = figures_.at(name);
            const double ratio = measured.nanoseconds / floor->second.nanoseconds;
            std::printf("| %s | %.1f | %.1f | %.2f | %s | %s | %s |\n", name.c_str(), measured.nanoseconds,
                        floor->second.nanoseconds, ratio, targetText(name, ratio).c_str(),
                        allocText(measured.allocations).c_str(), allocText(floor->second.allocations).c_str());
        }
    }

    // For every family "base/N": the time per step from one N to the next,
    // with the factor by which N grew.
    void printScaling() const {
        std::map<std::string, std::vector<std::pair<long long, double>>> families;
        for (const std::string& name : order_) {
            const std::size_t slash = name.rfind('/');
            if (slash == std::string::npos) continue;
            char* end = nullptr;
            const long long size = std::strtoll(name.c_str() + slash + 1, &end, 10);
            if (end == name.c_str() + slash + 1 || *end != '\0') continue;
            families[name.substr(0, slash)].emplace_back(size, figures_.at(name).nanoseconds);
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

private:
    static std::string allocText(double allocations) {
        if (allocations < 0) return "";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", allocations);
        return text;
    }

    static std::string targetText(const std::string& name, double ratio) {
        const auto target = targets().find(name);
        if (target == targets().end()) return "";
        char text[48];
        std::snprintf(text, sizeof text, "%s %.0fx", ratio <= target->second ? "within" : "MISSED", target->second);
        return text;
    }

    std::vector<std::string> order_;
    std::map<std::string, Figure> figures_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FloorReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    reporter.printScaling();
    benchmark::Shutdown();
    return 0;
}
