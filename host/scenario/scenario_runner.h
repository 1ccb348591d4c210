// ScenarioRunner: runs parsed steps against a SimHost, one at a time, through
// the step table (scenario_steps.h). The same runner serves scenario files,
// standard input, the page and the validator.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "scenario/scenario_parser.h"
#include "scenario/scenario_steps.h"
#include "sim/sim_host.h"

namespace zarn_host {

// Steps that name a device instance and a destination number take the
// instance's numbers (its first destination is 1, as the panel's commands
// offset them); false with "file:line: why" at the first step whose number
// lies outside its instance. Run when the scenario is read.
bool checkInstanceNumbers(const Facility& facility, const std::vector<ScenarioStep>& steps, std::string& error);

class ScenarioRunner {
public:
    using Outcome = ScenarioOutcome;
    using Loader = std::function<bool(std::string& error)>;

    // loader starts the panel in host; err receives failures and errors.
    ScenarioRunner(SimHost& host, Loader loader, std::ostream& err);

    // Runs steps in order and stops at the first failure or error.
    Outcome run(const std::vector<ScenarioStep>& steps);
    Outcome runStep(const ScenarioStep& step);
    // Loads the panel unless it has been loaded once already.
    bool ensureStarted(std::string& error);

    // Where show also draws, for a quiet interactive session.
    void setPictureOut(std::ostream* out) { pictureOut_ = out; }
    // Where failures and errors go from now on.
    void setErrorOut(std::ostream& err) { err_ = &err; }
    // Called before and after every step (the bridges hand over what came in
    // and send what changed); null for none.
    void setStepHook(std::function<void()> hook) { stepHook_ = std::move(hook); }
    // Who the steps that follow come from (a scenario file, the page, the
    // API): their routes and locks carry it, and a route, lock or unlock
    // step's trace line names it unless it is a scenario. The facility's
    // change watcher hears it too (what the panel routes meanwhile).
    void setOrigin(Origin origin) {
        origin_ = std::move(origin);
        host_.facility().setStepOrigin(origin_);
    }
    const Origin& origin() const { return origin_; }

    int expectationsMet() const { return expectationsMet_; }
    // The panel later steps address, and the last parent message's reply.
    const std::string& panelId() const { return panelId_; }
    bool parentSent() const { return parentSent_; }
    const std::optional<std::string>& lastReply() const { return lastReply_; }
    bool everLoaded() const { return everLoaded_; }

private:
    Origin origin_;
    // The table names the steps' handlers.
    friend const std::vector<ScenarioStepKind>& scenarioSteps();

    Outcome fail(const ScenarioStep& step, const std::string& expected, const std::string& happened);
    Outcome error(const ScenarioStep& step, const std::string& what);
    void beginAction();
    std::string windowText() const;
    // A router, a destination and a source named by a step; false with why.
    // A router named by an instance gives the instance: destination numbers
    // are then the instance's.
    Router* routerOf(const ScenarioToken& device, std::string& why, const DeviceInstance** instance = nullptr);
    bool destinationOf(const Router& router, const ScenarioToken& token, int32_t& dest, std::string& why,
                       const DeviceInstance* instance = nullptr);
    bool sourceOf(const Router& router, const ScenarioToken& token, int32_t& source, std::string& why);
    // A step's "DEVICE DEST SOURCE": the router, null with why when any is wrong.
    Router* crosspointOf(const ScenarioStep& step, int32_t& dest, int32_t& source, std::string& why);

    // One handler a step; the step's arguments are as its row says.
    Outcome load(const ScenarioStep& step);
    Outcome unload(const ScenarioStep& step);
    Outcome panel(const ScenarioStep& step);
    Outcome press(const ScenarioStep& step);
    Outcome pick(const ScenarioStep& step);
    Outcome parent(const ScenarioStep& step);
    Outcome route(const ScenarioStep& step);
    // lock and unlock; offline and online.
    template <bool locked>
    Outcome setLocked(const ScenarioStep& step);
    template <bool online>
    Outcome setOnline(const ScenarioStep& step);
    Outcome wait(const ScenarioStep& step);
    Outcome show(const ScenarioStep& step);
    Outcome expectCommand(const ScenarioStep& step);
    Outcome expectNoCommand(const ScenarioStep& step);
    Outcome expectRefused(const ScenarioStep& step);
    Outcome expectProperty(const ScenarioStep& step);
    Outcome expectRoute(const ScenarioStep& step);
    Outcome expectReply(const ScenarioStep& step);
    Outcome answer(const ScenarioStep& step);
    Outcome notify(const ScenarioStep& step);

    SimHost& host_;
    Loader loader_;
    std::ostream* err_;
    std::ostream* pictureOut_ = nullptr;
    std::string panelId_ = "1";
    bool everLoaded_ = false;
    std::size_t cursor_ = 0;
    bool parentSent_ = false;
    std::optional<std::string> lastReply_;
    std::function<void()> stepHook_;
    int expectationsMet_ = 0;
};

}  // namespace zarn_host
