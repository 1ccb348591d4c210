// What the operator's last action did wrong, and which devices each control
// depends on, read from the host's trace lines as they are written.
//
// A refused crosspoint or an offline device shows in the trace as a command
// line (kind out: "RC 101 13 41 ...") followed by its refusal (kind refusal).
// The page
// needs them next to the controls: the refusals of the last action (cleared
// by the next one) with the device, destination and reason, and for every
// control the devices its commands went to or whose revertives set it.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/trace.h"

namespace zarn_host {

class Facility;

struct ActionRefusal {
    std::string command;  // the command refused, or the step for a refused outside route
    int32_t device = -1;  // -1: not a device command
    int32_t destination = -1;
    int32_t source = -1;
    std::string reason;
    std::string control;   // the control whose event sent it; empty for steps
    bool outside = false;  // a route a step made from outside the panel: none of the panel's doing
    std::string by;        // who asked for an outside route ("API", "controller 5 at ...")
};

// Threads: the panel thread only (fed by the trace's sink, read for the state).
class ActionWatch {
public:
    // Every trace line, in order, with its kind and without its marker.
    void line(TraceKind kind, const std::string& text);

    const std::string& lastStep() const { return lastStep_; }
    const std::vector<ActionRefusal>& refusals() const { return refusals_; }
    // Commands of the last action that the facility carried out.
    int accepted() const { return accepted_; }
    // Outside routes refused so far, ever: a step that raised it was refused.
    uint64_t outsideRefused() const { return outsideRefused_; }
    // One refusal as the JSON lastActionJson lists it.
    static nlohmann::json refusalJson(const Facility& facility, const ActionRefusal& refusal);
    const std::map<std::pair<std::string, std::string>, std::set<int32_t>>& dependencies() const { return depends_; }

    const std::pair<std::string, std::string>& pressed() const { return pressed_; }

    // {"step", "pressed": {panel, control} or null, "refusals": [{command, device, deviceName, destination,
    // destinationName, source, reason, control, outside, by}], "accepted"} and
    // [{panel, control, devices: [...]}].
    nlohmann::json lastActionJson(const Facility& facility) const;
    nlohmann::json dependenciesJson() const;

private:
    void step(const std::string& text);
    void notification(const std::string& text);
    void command(const std::string& text);
    void refusal(const std::string& text);

    std::string lastStep_;
    std::vector<ActionRefusal> refusals_;
    int accepted_ = 0;
    uint64_t outsideRefused_ = 0;
    std::map<std::pair<std::string, std::string>, std::set<int32_t>> depends_;
    // Context of the lines that follow.
    std::pair<std::string, std::string> control_;  // the button event being handled
    std::string stepKeyword_;
    std::pair<std::string, std::string> pressed_;  // the last control pressed by a press step
    int32_t revertiveDevice_ = -1;
    ActionRefusal pending_;  // the last command, refused if a "   ! " line follows
    bool havePending_ = false;
};

}  // namespace zarn_host
