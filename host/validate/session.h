// The validator's session harness: a Probe reports on the child's channel, a
// Session drives one SimHost with scenario steps (mirrored on the channel, so
// that a failure replays) and collects the host's faults by the rule they
// break; tour() and its helpers work a panel's controls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "validate/validate.h"

namespace zarn_host {
namespace validate {

// The rules of the protocol; each belongs to one test of the battery.
enum class Rule { ownership, grammar, destruction, notification, usage };
constexpr std::size_t ruleCount = 5;
// The rule a fault of this kind breaks.
Rule ruleOf(FaultKind kind);

// What a test reports through: the child's channel.
class Probe {
public:
    Probe(const Options& options, std::ostream& out) : options_(options), out_(out) {}

    const Options& options() const { return options_; }
    std::ostream& out() { return out_; }
    void problem(const std::string& text);
    // A note is written once, however often it is made.
    void note(const std::string& text);
    bool failed() const { return failed_; }

private:
    const Options& options_;
    std::ostream& out_;
    bool failed_ = false;
    std::set<std::string> notes_;
};

// One host with the panel's facility, driven by scenario steps that also go
// to the channel, so that a failure can be replayed. The host's trace goes to
// the channel too, each line with its kind: the parent keeps the last
// commands from it.
class Session {
public:
    Session(Probe& probe, load_zarn_client_script_fn entry, const std::string& folder, bool streamed = true);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SimHost& host() { return host_; }
    const ScenarioRunner& runner() const { return runner_; }

    // Runs one step; false with the reason in why() when it could not run.
    bool step(const std::string& line);
    const std::string& why() const { return why_; }

    // Starts the panel; a panel that gives none is noted (the entry tests fail it).
    bool load();

    // The distinct PS and ET commands the panel sent in this session, in the
    // order first sent (at most distinctKept of each word).
    const std::vector<std::string>& sent(const std::string& word) const;
    static constexpr std::size_t distinctKept = 4096;

    // Faults of one rule found since the last call.
    std::vector<std::string> newFaults(Rule rule);
    // Every refusal of the session so far, with the step that caused it (at
    // most refusalsKept kept; the counts go on).
    struct SeenRefusal {
        Refusal refusal;
        std::string step;
    };
    const std::vector<SeenRefusal>& refusals() const { return refusals_; }
    const RefusalCounts& refusalCounts() const { return host_.refusalCounts(); }
    static constexpr std::size_t refusalsKept = 4096;
    // The controls of shown panels the panel set or read (TP, TG), as "panel/control".
    const std::set<std::string>& addressed() const { return addressed_; }
    // Unloads, ends the host and fails the probe on faults of rule.
    void finishAndCheck(Rule rule);

private:
    ScenarioRunner::Loader loader(load_zarn_client_script_fn entry, const std::string& folder);

    Probe& probe_;
    bool streamed_;
    SimHost host_;
    std::ostringstream errors_;
    ScenarioRunner runner_;
    std::string why_;
    std::size_t seen_[ruleCount] = {};
    std::vector<SeenRefusal> refusals_;
    std::set<std::string> addressed_;
    // By word, the commands kept and a set of them.
    std::map<std::string, std::pair<std::vector<std::string>, std::set<std::string>>> sent_;
};

// A control an operator can work, copied: a panel shown again replaces its controls.
struct ControlRef {
    std::string panel;
    std::string id;
    bool list;
    std::vector<std::string> entries;  // list entries by text
};

// The buttons and lists of every panel shown.
std::vector<ControlRef> operable(SimHost& host);
// Registered router destinations, as (device, destination), at most limit.
std::vector<std::pair<int32_t, int32_t>> registered(SimHost& host, std::size_t limit);
// Works each control once (lists: a few entries), sends parent messages (the
// panel's own vocabulary among them), lets timers run and routes registered
// destinations from outside.
void tour(Session& session, std::size_t listEntries = 4);
// The parent messages of the panel's own vocabulary: it is asked for its
// "_commands" and "_events", and each word it names is sent with a value,
// besides "instance" and "return" (the words every panel of the facility
// takes); sent through the session.
void parentVocabulary(Session& session);
// What an operator does most: each list entry picked (at most listEntries a
// list), each followed by a press of every button (a take after each
// choice), then the tour.
void operate(Session& session, std::size_t listEntries = 64);

}  // namespace validate
}  // namespace zarn_host
