#include "web/page_server/session_recorder.h"

#include <optional>

#include "text/command_text.h"

namespace zarn_host {
namespace {

// One argument of a scenario line: bare when that reads back the same,
// quoted otherwise; nullopt when no scenario text can carry it.
std::optional<std::string> scenarioToken(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\n' && c != '\t') return std::nullopt;
    }
    return scenarioArgument(text);
}

}  // namespace

void SessionRecorder::record(const std::string& line, const std::string& keyword, int64_t realTimeWait) {
    if (realTimeWait >= 0 && lastRealTimeWait_ >= 0 && !recorded_.empty()) {
        lastRealTimeWait_ += realTimeWait;
        recorded_.back() = "wait " + std::to_string(lastRealTimeWait_);
        return;
    }
    lastRealTimeWait_ = realTimeWait;
    if (keyword == "show") return;  // draws only
    if (recorded_.size() >= maxSteps) {
        ++dropped_;
        return;
    }
    recorded_.push_back(line);
}

std::string SessionRecorder::text(const std::vector<std::string>& prelude, const SimHost& host,
                                  const ScenarioRunner& runner,
                                  const std::vector<std::pair<std::string, std::string>>& pins) const {
    std::string text =
        "# A session recorded in the browser. Replay it with\n"
        "#   zarn_host --panel LIBRARY --facility FACILITY --scenario THIS_FILE\n";
    for (const auto& line : prelude) text += line + "\n";
    for (const auto& line : recorded_) text += line + "\n";
    if (dropped_ > 0) text += "# " + std::to_string(dropped_) + " later steps were not kept\n";
    std::string panelId = runner.panelId();
    for (const auto& pin : pins) {
        const Panel* panel = host.panel(pin.first);
        const Control* control = panel ? panel->control(pin.second) : nullptr;
        if (!control) continue;
        if (pin.first != panelId) {
            auto id = scenarioToken(pin.first);
            if (!id) continue;
            text += "panel " + *id + "\n";
            panelId = pin.first;
        }
        for (const auto& p : control->properties) {
            auto id = scenarioToken(control->id);
            auto name = scenarioToken(p.first);
            auto value = scenarioToken(p.second);
            if (!id || !name || !value) {
                text += "# " + printable(control->id) + " " + printable(p.first) + ": not expressible\n";
                continue;
            }
            text += "expect property " + *id + " " + *name + " " + *value + "\n";
        }
    }
    return text;
}

}  // namespace zarn_host
