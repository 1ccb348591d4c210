// The steps a browser session ran, kept so the page can download them as a
// scenario that zarn_host --scenario replays.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "web/http/page_limits.h"

namespace zarn_host {

// Threads: the panel thread only.
class SessionRecorder {
public:
    // At most keptSessionSteps are kept; later ones are counted as dropped.
    static constexpr std::size_t maxSteps = keptSessionSteps;

    // Keeps a step that ran. realTimeWait >= 0 marks a "wait" of the
    // real-time clock: consecutive ones merge into one line. "show" only
    // draws and is not kept.
    void record(const std::string& line, const std::string& keyword, int64_t realTimeWait);
    // The clock changed mode: the next real-time wait starts a line of its own.
    void breakWaits() { lastRealTimeWait_ = -1; }
    std::size_t size() const { return recorded_.size(); }

    // The session as a scenario: a comment on replaying it, prelude, the kept
    // steps, and an "expect property" line for every property of each pinned
    // (panel id, control id); "panel" lines switch panels where needed.
    // Call on the panel thread.
    std::string text(const std::vector<std::string>& prelude, const SimHost& host, const ScenarioRunner& runner,
                     const std::vector<std::pair<std::string, std::string>>& pins) const;

private:
    std::vector<std::string> recorded_;
    std::size_t dropped_ = 0;
    int64_t lastRealTimeWait_ = -1;  // the last kept line is "wait N" from the real-time clock
};

}  // namespace zarn_host
