// The panel thread: the steps the page runs, the real-time clock, the
// library watch, the state it publishes, and the loop that runs them.
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "text/command_text.h"
#include "web/page_server/page_state.h"
#include "web/page_server/session_sources.h"
#include "web/page_server/web_front_impl.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t maxStepChars = 1000;
constexpr int64_t realTimeLagMs = 1000;  // the real-time clock catches up at least this often

// The runner's report as one line: without the "<browser>:N: " it starts
// with, its indented detail lines joined with "; ".
std::string oneLine(const std::string& report) {
    std::string text = report;
    std::size_t tag = text.find(": ");
    if (text.rfind("<browser>:", 0) == 0 && tag != std::string::npos) text = text.substr(tag + 2);
    if (text.rfind("error: ", 0) == 0) text = text.substr(7);
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n') {
            space = true;
            continue;
        }
        if (space) {
            while (i < text.size() && text[i] == ' ') ++i;
            if (i == text.size()) break;
            out += "; ";
            space = false;
            c = text[i];
        }
        out += c;
    }
    return printable(out, 400);
}

}  // namespace

Reply jsonReply(int status, const json& body) {
    return {status, "application/json", jsonText(body)};
}

Reply errorReply(int status, const std::string& message) {
    return jsonReply(status, json{{"error", message}});
}

Reply WebFront::Impl::onPanelThread(std::function<Reply()> f) {
    std::string why;
    std::optional<Reply> reply = jobs.call(std::move(f), why);
    return reply ? *reply : errorReply(503, why);
}

json WebFront::Impl::stateJson(RouterDetail detail) const {
    json state = pageState(host, runner, {options.libraryPath, realTime, recorder.size(), options.traceLines}, detail);
    state["lastAction"] = actions.lastActionJson(host.facility());
    state["dependsOn"] = actions.dependenciesJson();
    state["bridges"] = json::array();
    state["umd"] = json::array();
    if (options.bridges) {
        json status = json::parse(options.bridges->statusJson(), nullptr, false);
        if (status.is_object()) {
            state["bridges"] = status["bridges"];
            state["umd"] = status["umd"];
            if (status.contains("limits")) state["limits"]["bridges"] = status["limits"];
        }
    }
    return state;
}

// Hands the page's view of the state and what changed since it was last
// published to the streams; with none watching it waits for one.
void WebFront::Impl::publish(bool force) {
    if (!dirty || (!force && !events.watched())) return;
    dirty = false;
    json view = stateJson(RouterDetail::summary);
    json change = changes.diff(host.facility(), view);
    if (change.is_null() && stateSeq != 0) return;
    view["seq"] = ++stateSeq;
    view["epoch"] = epoch;
    std::string changeText;
    if (!change.is_null() && stateSeq > 1) {
        change["seq"] = stateSeq;
        change["epoch"] = epoch;
        changeText = jsonText(change);
    }
    events.setState(jsonText(view), stateSeq, std::move(changeText));
}

int WebFront::Impl::runStep(const std::string& rawLine, std::string& message, int64_t realTimeWait) {
    if (rawLine.size() > maxStepChars) {
        message = "a step is at most " + std::to_string(maxStepChars) + " characters";
        return 400;
    }
    if (rawLine.find_first_of("\r\n") != std::string::npos) {
        message = "one step at a time: no line breaks";
        return 400;
    }
    ScenarioStep step;
    std::string why;
    if (!parseScenarioLine(rawLine, step, why)) {
        message = why;
        return 400;
    }
    if (step.keyword.empty()) {
        message = "no step given";
        return 400;
    }
    step.file = "<browser>";
    step.line = ++stepNumber;
    std::ostringstream report;
    runner.setErrorOut(report);
    if (options.stepWatch) options.stepWatch(WorkerMessage::Kind::stepRun, rawLine);
    const uint64_t refusedBefore = actions.outsideRefused();
    stepRefusedOutside = false;
    ScenarioRunner::Outcome outcome = runner.runStep(step);
    if (options.stepWatch) options.stepWatch(WorkerMessage::Kind::stepDone, rawLine);
    if (options.err) runner.setErrorOut(*options.err);
    dirty = true;
    if (outcome == ScenarioRunner::Outcome::error) {
        message = oneLine(report.str());
        return 422;
    }
    if (outcome == ScenarioRunner::Outcome::expectationFailed) {
        message = oneLine(report.str());
        return 409;
    }
    // A route refused changed nothing: the caller hears so, and it is not
    // kept for the session (replaying it would only be refused again).
    if (actions.outsideRefused() != refusedBefore && !actions.refusals().empty()) {
        const ActionRefusal& r = actions.refusals().back();
        message = "route refused: " + r.reason;
        stepRefusedOutside = true;
        return 409;
    }
    std::size_t first = rawLine.find_first_not_of(" \t");
    std::size_t last = rawLine.find_last_not_of(" \t");
    std::string kept = rawLine.substr(first, last - first + 1);
    recorder.record(kept, step.keyword, realTimeWait);
    if (options.stepWatch) options.stepWatch(WorkerMessage::Kind::stepKept, kept);
    return 200;
}

void WebFront::Impl::setRealTime(bool on) {
    realTime = on;
    realAnchor = SteadyClock::now();
    virtualAnchor = host.clock().now();
    recorder.breakWaits();
    host.trace().line(TraceKind::step, on ? "the clock follows the wall clock" : "the clock waits for wait steps");
    dirty = true;
}

void WebFront::Impl::realTimeTick() {
    if (!realTime || !host.loaded()) return;
    int64_t wall = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - realAnchor).count();
    int64_t target = virtualAnchor + wall;
    int64_t now = host.clock().now();
    if (target <= now) return;
    auto due = host.clock().nextDue();
    if ((!due || *due > target) && target - now < realTimeLagMs) return;
    std::string message;
    runStep("wait " + std::to_string(target - now), message, target - now);
}

void WebFront::Impl::watchLibrary() {
    if (!options.reopenLibrary || !libraryWatch.changed(SteadyClock::now())) return;
    host.trace().line(TraceKind::step, "the panel library changed on disk: reloading it");
    bool wasLoaded = host.loaded();
    std::string message;
    if (wasLoaded) runStep("unload", message);
    std::string why;
    if (!options.reopenLibrary(why)) {
        host.trace().line(TraceKind::error, "reload failed: " + why);
        dirty = true;
        return;
    }
    if (wasLoaded) runStep("load", message);
    dirty = true;
}

std::string WebFront::Impl::session(const std::vector<std::pair<std::string, std::string>>& pins) const {
    std::vector<std::string> prelude = {sessionSources(options.libraryPath, options.facilityPath)};
    prelude.back().pop_back();  // one line each, without the last line end
    prelude.insert(prelude.end(), options.prelude.begin(), options.prelude.end());
    return recorder.text(prelude, host, runner, pins);
}

void WebFront::run(const std::atomic<bool>& stopFlag) {
    Impl& d = *impl_;
    d.publish();
    while (!stopFlag) {
        if (!d.jobs.runQueued(std::chrono::milliseconds(100))) break;
        if (d.options.bridges && d.options.bridges->exchange(d.host)) d.dirty = true;
        d.realTimeTick();
        d.watchLibrary();
        d.publish();
    }
    stop();
}

int WebFront::runStepLine(const std::string& line, std::string& message) {
    int status = impl_->runStep(line, message);
    impl_->publish();
    return status;
}

std::string WebFront::sessionText(const std::vector<std::pair<std::string, std::string>>& pins) const {
    return impl_->session(pins);
}

}  // namespace zarn_host
