// Over 400 lines: the scenario, its floor and their set-up belong together
// so the ratio between them is measured on the same inputs.
// The simulated host running a long K7 scenario: N takes and N routes made
// outside the panel, stepped through ScenarioRunner with the trace going
// nowhere. Beside it, a floor: the same notifications handed straight to the
// same panel library by a host that does nothing but answer SD and RN from a
// fixed table. host_scenario/N against floor/host_scenario/N is the host's
// own cost per step.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <zarn/button_record.h>
#include <zarn/revertive_record.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "model/facility.h"
#include "model/panel_model.h"
#include "platform/panel_library.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"

namespace {

using zarn_host::Facility;
using zarn_host::ScenarioRunner;
using zarn_host::ScenarioStep;
using zarn_host::SimHost;

const std::string facilityDir = K7_FACILITY_DIR;
const std::string panelLibraryPath = K7_MON_LIBRARY;

// The K7 panel clears its source list this long after a take.
constexpr int takeTimerMs = 160;
// Every this many takes the operator selects another monitor, and the
// scenario checks that the take timer's tick came.
constexpr int64_t monitorSwitchEvery = 7;
constexpr int monitorCount = 5;

std::string quote(const std::string& text) {
    return "\"" + text + "\"";
}

// What the scenarios are built from: the facility, the panel's source list
// and the destinations the panel registers for revertives.
struct K7Setup {
    Facility facility;
    std::vector<std::string> sourceEntries;  // texts of the "Sources" list
    struct Target {
        std::string router;       // instance name
        std::string destination;  // destination name
        int32_t sources;
    };
    std::vector<Target> targets;
    std::unique_ptr<zarn_host::PanelLibrary> library;
    std::string error;
};

const K7Setup& k7() {
    static const K7Setup setup = [] {
        K7Setup s;
        if (!Facility::load(facilityDir + "/facility.json", s.facility, s.error)) return s;
        zarn_host::Panel panel;
        if (!zarn_host::Panel::load(facilityDir + "/k7_mon.zarn_ui", panel, s.error)) return s;
        if (const zarn_host::Control* list = panel.control("Sources")) {
            for (const auto& entry : list->entries) s.sourceEntries.push_back(entry.text);
        }
        // The monitor destinations are the routers' named ones.
        for (const auto& [device, router] : s.facility.routers()) {
            for (const auto& inst : s.facility.instances()) {
                if (inst.device != device) continue;
                for (const auto& dest : router.destinationNames) {
                    s.targets.push_back({inst.name, dest.second, router.sources});
                }
            }
        }
        if (s.sourceEntries.empty() || s.targets.empty()) {
            s.error = "the K7 facility has no source list or no monitor destinations";
            return s;
        }
        s.library = zarn_host::PanelLibrary::open(panelLibraryPath, s.error);
        return s;
    }();
    return setup;
}

// rounds takes and rounds outside routes. A round: now and then a monitor
// press, a pick from the source list (cycling through the packages), a wait
// for the take timer, and a route to one of the registered destinations.
std::string scenarioText(const K7Setup& setup, int64_t rounds) {
    std::string text;
    const auto entries = static_cast<int64_t>(setup.sourceEntries.size());
    const auto targets = static_cast<int64_t>(setup.targets.size());
    for (int64_t i = 0; i < rounds; ++i) {
        const bool switchMonitor = i % monitorSwitchEvery == 0;
        if (switchMonitor) text += "press Mon_" + std::to_string(i / monitorSwitchEvery % monitorCount + 1) + "\n";
        text += "pick Sources " + quote(setup.sourceEntries[static_cast<std::size_t>(i % entries)]) + "\n";
        text += "wait " + std::to_string(takeTimerMs) + "\n";
        // The tick came: the panel cleared the list selection.
        if (switchMonitor) text += "expect command TP 'select=-1' '1' 'Sources'\n";
        const auto& target = setup.targets[static_cast<std::size_t>(i % targets)];
        const int64_t source = 1 + (i * 13 + i / targets) % target.sources;
        text += "route " + quote(target.router) + " " + quote(target.destination) + " " + std::to_string(source) + "\n";
    }
    return text;
}

// How one run of the scenario under a fresh SimHost went.
struct HostRun {
    bool ok = false;
    std::string error;
    std::size_t commands = 0;  // sent by the panel during the steps
};

// What the floor replays, built once per size: the notifications the host
// delivered in one recorded run, as ready-made records (they repeat, so each
// distinct one is kept once), and the host's replies to SD and RN.
struct FloorScript {
    std::vector<std::unique_ptr<zarn_button_record>> buttons;
    std::vector<zarn_revertive_record> revertives;
    // In order: type and an index into buttons or revertives; the id for a timer tick.
    std::vector<std::pair<int32_t, int32_t>> sequence;
    std::vector<std::pair<std::string, std::string>> replies;
    std::size_t hostCommands = 0;  // the panel sent during the steps
    std::string error;
};

// Sits between the host and the panel, copying notifications into a FloorScript.
struct Recording {
    FloorScript& script;
    std::map<std::string, int32_t> seen;
    bool on = false;

    // The index of an equal record kept before, or of a new one.
    template <typename Table>
    int32_t intern(const std::string& key, Table& table, bool& added) {
        auto [it, inserted] = seen.emplace(key, static_cast<int32_t>(table.size()));
        added = inserted;
        return it->second;
    }
    void record(void* data, int32_t type) {
        if (!on) return;
        bool added = false;
        if (type == zarn_type_button) {
            const auto* e = static_cast<const ButtonEvent*>(data);
            int32_t index = intern(std::string("b\n") + e->panelId + "\n" + e->controlId + "\n" + e->details->command +
                                       "\n" + e->details->value,
                                   script.buttons, added);
            if (added) {
                script.buttons.push_back(std::make_unique<zarn_button_record>(e->panelId, e->controlId,
                                                                              e->details->command, e->details->value));
            }
            script.sequence.emplace_back(type, index);
        } else if (type == zarn_type_revertive) {
            const auto* e = static_cast<const RevertiveEvent*>(data);
            int32_t index =
                intern("r\n" + std::to_string(e->device) + "\n" + std::to_string(e->index) + "\n" + e->text(),
                       script.revertives, added);
            if (added) script.revertives.emplace_back(e->device, e->index, e->text());
            script.sequence.emplace_back(type, index);
        } else if (type == zarn_type_timer) {
            script.sequence.emplace_back(type, static_cast<int32_t>(reinterpret_cast<intptr_t>(data)));
        } else if (script.error.empty()) {
            script.error = "the host sent a notification of type " + std::to_string(type) + " the floor cannot replay";
        }
    }
};

Recording* activeRecording = nullptr;

class RecordingPanel : public zarn_client_callback {
public:
    explicit RecordingPanel(zarn_client_callback* panel) : panel_(panel) {}
    ~RecordingPanel() override { delete panel_; }
    RecordingPanel(const RecordingPanel&) = delete;
    RecordingPanel& operator=(const RecordingPanel&) = delete;
    char* callback(void* data, int32_t type) override {
        activeRecording->record(data, type);
        return panel_->callback(data, type);
    }

private:
    zarn_client_callback* panel_;
};

zarn_client_callback* loadRecordingPanel(zarn_client_callback* host, const char* path) {
    zarn_client_callback* panel = k7().library->entryPoint()(host, path);
    return panel ? new RecordingPanel(panel) : nullptr;
}

// Runs the scenario under a fresh SimHost. timed receives a function running
// the steps and times it; loading, unloading and the checks stay outside.
template <typename Timed>
HostRun runHost(const std::vector<ScenarioStep>& steps, load_zarn_client_script_fn entry, Timed&& timed,
                std::vector<std::string>* commandLog = nullptr) {
    HostRun run;
    auto host = std::make_unique<SimHost>(k7().facility);
    auto loader = [&](std::string& why) {
        if (host->load(entry, facilityDir, "libk7_mon.so")) return true;
        why = "the panel library gave no panel";
        return false;
    };
    std::ostringstream err;
    ScenarioRunner runner(*host, loader, err);
    if (!runner.ensureStarted(run.error)) return run;
    const uint64_t before = host->commandCount();

    ScenarioRunner::Outcome outcome = ScenarioRunner::Outcome::error;
    if (commandLog) {
        // The host keeps only the commands of the last step: collect them step
        // by step (an expectation step repeats some; the caller only looks).
        auto collect = [&] {
            const auto& recent = host->recentCommands();
            commandLog->insert(commandLog->end(), recent.begin(), recent.end());
        };
        collect();
        timed([&] {
            outcome = ScenarioRunner::Outcome::ok;
            for (const auto& step : steps) {
                if ((outcome = runner.runStep(step)) != ScenarioRunner::Outcome::ok) break;
                collect();
            }
        });
    } else {
        timed([&] { outcome = runner.run(steps); });
    }

    run.commands = static_cast<std::size_t>(host->commandCount() - before);
    host->unload();
    host->finish();
    if (outcome != ScenarioRunner::Outcome::ok || !err.str().empty()) {
        run.error = "the scenario stopped: " + err.str();
    } else if (!host->faults().empty()) {
        run.error = "protocol fault: " + host->faults().front().text;
    } else {
        run.ok = true;
    }
    return run;
}

// Parsed once per size: the benchmark functions run several times.
const std::vector<ScenarioStep>& parsedScenario(int64_t rounds, std::string& error) {
    static std::map<int64_t, std::vector<ScenarioStep>> cache;
    if (!k7().error.empty()) {
        error = k7().error;
        return cache[0];
    }
    auto found = cache.find(rounds);
    if (found != cache.end()) return found->second;
    std::vector<ScenarioStep>& steps = cache[rounds];
    if (!parseScenario(scenarioText(k7(), rounds), "host_bench.scenario", steps, error)) steps.clear();
    return steps;
}

// The scenario of the benchmark's size, or null with the benchmark skipped
// when it cannot be had.
const std::vector<ScenarioStep>* scenarioOrSkip(benchmark::State& state) {
    std::string error;
    const std::vector<ScenarioStep>& steps = parsedScenario(state.range(0), error);
    if (error.empty()) return &steps;
    state.SkipWithError(error.c_str());
    return nullptr;
}

using Clock = std::chrono::steady_clock;

double nanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// Time, commands and allocations of the steps alone, summed over iterations.
struct Totals {
    double ns = 0;
    double commands = 0;
    double allocations = 0;
};

void setCounters(benchmark::State& state, double steps, const Totals& totals) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["steps/s"] = benchmark::Counter(steps * iterations, benchmark::Counter::kIsRate);
    state.counters["ns/step"] = benchmark::Counter(totals.ns / steps, benchmark::Counter::kAvgIterations);
    state.counters["cmds/step"] = benchmark::Counter(totals.commands / steps, benchmark::Counter::kAvgIterations);
    state.counters["allocs"] = benchmark::Counter(totals.allocations, benchmark::Counter::kAvgIterations);
}

void hostScenario(benchmark::State& state) {
    const int64_t rounds = state.range(0);
    const std::vector<ScenarioStep>* scenario = scenarioOrSkip(state);
    if (scenario == nullptr) return;
    const std::vector<ScenarioStep>& steps = *scenario;
    Totals totals;
    for (auto _ : state) {
        state.PauseTiming();
        HostRun run = runHost(steps, k7().library->entryPoint(), [&](auto runSteps) {
            const zarn_bench::AllocationCounter allocations;
            state.ResumeTiming();
            const auto start = Clock::now();
            runSteps();
            totals.ns += nanosecondsSince(start);
            state.PauseTiming();
            totals.allocations += static_cast<double>(allocations.count());
        });
        if (!run.ok) {
            state.SkipWithError(run.error.c_str());
            state.ResumeTiming();
            break;
        }
        totals.commands += static_cast<double>(run.commands);
        state.ResumeTiming();
    }
    setCounters(state, static_cast<double>(steps.size()), totals);
    state.SetComplexityN(rounds);
}

// The floor's host: answers SD and RN from a table filled before the clock
// starts, ignores the hand-back of those replies, answers null to the rest.
// Nothing in callback allocates. Unlike zarn_bench::NullHost its replies are
// the facility's own, so the panel routes exactly as it does under SimHost.
class FloorHost : public zarn_client_callback {
public:
    struct Canned {
        char command[64];
        char reply[64];
    };
    static constexpr std::size_t capacity = 64;

    // False when a command or reply does not fit the table.
    bool fill(const std::vector<std::pair<std::string, std::string>>& replies) {
        for (const auto& [command, reply] : replies) {
            if (size_ == capacity || command.size() >= sizeof(Canned::command) ||
                reply.size() >= sizeof(Canned::reply)) {
                return false;
            }
            std::snprintf(table_[size_].command, sizeof(Canned::command), "%s", command.c_str());
            std::snprintf(table_[size_].reply, sizeof(Canned::reply), "%s", reply.c_str());
            ++size_;
        }
        return true;
    }
    std::size_t commands() const { return commands_; }

    char* callback(void* data, int32_t type) override {
        if (type != zarn_type_command || !data) return nullptr;
        ++commands_;
        const char* text = static_cast<const char*>(data);
        if ((text[0] != 'S' || text[1] != 'D') && (text[0] != 'R' || text[1] != 'N')) return nullptr;
        for (std::size_t i = 0; i < size_; ++i) {
            if (std::strcmp(table_[i].command, text) == 0) return table_[i].reply;
        }
        return nullptr;
    }

private:
    std::array<Canned, capacity> table_{};
    std::size_t size_ = 0;
    std::size_t commands_ = 0;
};

// The replies the facility gives to the SD and RN commands in log.
std::vector<std::pair<std::string, std::string>> cannedReplies(const std::vector<std::string>& log) {
    const Facility& facility = k7().facility;
    std::map<std::string, std::string> replies;
    for (const auto& command : log) {
        if (replies.count(command)) continue;
        if (command.rfind("SD '", 0) == 0 && command.size() > 5) {
            const auto* inst = facility.instance(command.substr(4, command.size() - 5));
            if (inst) replies[command] = std::to_string(inst->device) + " " + std::to_string(inst->offset);
        } else if (command.rfind("RN ", 0) == 0) {
            int device = 0, database = 0, index = 0;
            if (std::sscanf(command.c_str(), "RN %d %d %d", &device, &database, &index) != 3) continue;
            if (const std::string* entry = facility.databaseEntry(device, database, index)) replies[command] = *entry;
        }
    }
    return {replies.begin(), replies.end()};
}

FloorScript recordFloorScript(const std::vector<ScenarioStep>& steps) {
    FloorScript script;
    Recording recording{script, {}, false};
    activeRecording = &recording;
    std::vector<std::string> log;
    HostRun run = runHost(
        steps, &loadRecordingPanel,
        [&](auto runSteps) {
            recording.on = true;
            runSteps();
            recording.on = false;
        },
        &log);
    activeRecording = nullptr;
    if (!run.ok) script.error = run.error;
    script.hostCommands = run.commands;
    script.replies = cannedReplies(log);
    return script;
}

// Recorded once per size, outside any timing.
FloorScript& floorScript(int64_t rounds, const std::vector<ScenarioStep>& steps) {
    static std::map<int64_t, FloorScript> cache;
    auto found = cache.find(rounds);
    if (found == cache.end()) found = cache.emplace(rounds, recordFloorScript(steps)).first;
    return found->second;
}

void floorScenario(benchmark::State& state) {
    const int64_t rounds = state.range(0);
    const std::vector<ScenarioStep>* scenario = scenarioOrSkip(state);
    if (scenario == nullptr) return;
    const std::vector<ScenarioStep>& steps = *scenario;
    FloorScript& script = floorScript(rounds, steps);
    if (!script.error.empty()) {
        state.SkipWithError(script.error.c_str());
        return;
    }
    void* library = dlopen(panelLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry =
        library ? reinterpret_cast<load_zarn_client_script_fn>(dlsym(library, "load_zarn_client_script")) : nullptr;
    if (!entry) {
        state.SkipWithError("cannot load the panel library's entry point");
        if (library) dlclose(library);
        return;
    }

    Totals totals;
    for (auto _ : state) {
        state.PauseTiming();
        FloorHost host;
        if (!host.fill(script.replies)) {
            state.SkipWithError("the floor's reply table is too small");
            state.ResumeTiming();
            break;
        }
        zarn_client_callback* panel = entry(&host, facilityDir.c_str());
        if (!panel) {
            state.SkipWithError("the panel library gave no panel");
            state.ResumeTiming();
            break;
        }
        const std::size_t before = host.commands();
        const zarn_bench::AllocationCounter allocations;
        state.ResumeTiming();

        const auto start = Clock::now();
        for (const auto& [type, index] : script.sequence) {
            const auto i = static_cast<std::size_t>(index);
            if (type == zarn_type_button) {
                panel->callback(script.buttons[i]->event(), zarn_type_button);
            } else if (type == zarn_type_revertive) {
                panel->callback(script.revertives[i].event(), zarn_type_revertive);
            } else {
                panel->callback(reinterpret_cast<void*>(static_cast<intptr_t>(index)), zarn_type_timer);
            }
        }
        totals.ns += nanosecondsSince(start);
        state.PauseTiming();
        totals.allocations += static_cast<double>(allocations.count());

        const std::size_t sent = host.commands() - before;
        delete panel;
        // Same notifications, same panel: the same commands, or the floor
        // measures something other than the host run did.
        if (sent != script.hostCommands) {
            const std::string why = "the panel sent " + std::to_string(sent) + " commands to the floor and " +
                                    std::to_string(script.hostCommands) + " to the host";
            state.SkipWithError(why.c_str());
            state.ResumeTiming();
            break;
        }
        totals.commands += static_cast<double>(sent);
        state.ResumeTiming();
    }
    dlclose(library);
    setCounters(state, static_cast<double>(steps.size()), totals);
    state.SetComplexityN(rounds);
}

BENCHMARK(hostScenario)
    ->Name("host_scenario")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

BENCHMARK(floorScenario)
    ->Name("floor/host_scenario")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
