#include "scenario/scenario_runner.h"

#include <zarn/button_record.h>
#include <zarn/revertive_record.h>

#include <cstdint>
#include <ostream>

#include "model/renderer.h"
#include "platform/crash_report.h"
#include "scenario/step_text.h"
#include "text/command_text.h"

namespace zarn_host {

using step_text::isNull;
using step_text::shownSource;

namespace {

// The steps whose first two arguments are DEVICE DEST.
bool takesDeviceAndDestination(const std::string& keyword) {
    return keyword == "route" || keyword == "lock" || keyword == "unlock" || keyword == "expect route";
}

enum class InstanceNumber { notANumber, inside, outside };

// A destination number of a router instance as the router's number.
InstanceNumber instanceDestination(const Facility& facility, const DeviceInstance& instance, const std::string& text,
                                   int32_t& dest, std::string& why) {
    int32_t n = 0;
    auto span = facility.instanceDestinations(instance);
    if (!span || !parseInt32(text, n)) return InstanceNumber::notANumber;
    const int64_t count = int64_t{span->second} - span->first + 1;
    if (n < 1 || n > count) {
        why = "destination " + text + " is outside instance " + quotedPrintable(instance.name) +
              (count > 0 ? " (its destinations 1.." + std::to_string(count) + " are the router's " +
                               std::to_string(span->first) + ".." + std::to_string(span->second) + ")"
                         : " (it spans no destination of the router)");
        return InstanceNumber::outside;
    }
    dest = static_cast<int32_t>(int64_t{span->first} - 1 + n);
    return InstanceNumber::inside;
}

}  // namespace

bool checkInstanceNumbers(const Facility& facility, const std::vector<ScenarioStep>& steps, std::string& error) {
    for (const auto& step : steps) {
        if (!takesDeviceAndDestination(step.keyword) || step.args.size() < 2) continue;
        const DeviceInstance* instance = facility.instance(step.args[0].text);
        int32_t dest = 0;
        std::string why;
        if (instance &&
            instanceDestination(facility, *instance, step.args[1].text, dest, why) == InstanceNumber::outside) {
            error = step.file + ":" + std::to_string(step.line) + ": " + why;
            return false;
        }
    }
    return true;
}

ScenarioRunner::ScenarioRunner(SimHost& host, Loader loader, std::ostream& err)
    : host_(host), loader_(std::move(loader)), err_(&err) {}

ScenarioRunner::Outcome ScenarioRunner::run(const std::vector<ScenarioStep>& steps) {
    for (const auto& step : steps) {
        Outcome outcome = runStep(step);
        if (outcome != Outcome::ok) return outcome;
    }
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::runStep(const ScenarioStep& step) {
    crashNoteStep(step.file, step.line, step.source);
    const ScenarioStepKind* kind = findScenarioStep(step.keyword);
    // Steps built by hand rather than parsed are held to their row too.
    if (!kind) return error(step, "unknown step \"" + printable(step.keyword, 60) + "\"");
    if (step.args.size() < kind->minArgs || step.args.size() > kind->maxArgs) {
        return error(step, "\"" + step.keyword + "\" with " + std::to_string(step.args.size()) + " arguments");
    }
    std::string why;
    if (kind->startsPanel && !ensureStarted(why)) return error(step, why);
    if (kind->traced) {
        std::string line = printable(step.source);
        const bool changesDestination = step.keyword == "route" || step.keyword == "lock" || step.keyword == "unlock";
        if (changesDestination && origin_.kind != Origin::Kind::scenario) line += " (by " + describe(origin_) + ")";
        host_.trace().line(TraceKind::step, line);
    }
    if (stepHook_) stepHook_();
    Outcome outcome = (this->*kind->run)(step);
    if (stepHook_) stepHook_();
    return outcome;
}

ScenarioRunner::Outcome ScenarioRunner::fail(const ScenarioStep& step, const std::string& expected,
                                             const std::string& happened) {
    std::string where = step.file + ":" + std::to_string(step.line);
    host_.trace().line(TraceKind::error, "expectation failed at " + where + ": " + step.source);
    *err_ << where << ": expectation failed: " << step.source << "\n  expected: " << expected
          << "\n  happened: " << happened << "\n";
    return Outcome::expectationFailed;
}

ScenarioRunner::Outcome ScenarioRunner::error(const ScenarioStep& step, const std::string& what) {
    std::string where = step.file + ":" + std::to_string(step.line);
    host_.trace().line(TraceKind::error, "error at " + where + ": " + what);
    *err_ << where << ": error: " << what << "\n";
    return Outcome::error;
}

void ScenarioRunner::beginAction() {
    host_.clearRecentCommands();
    cursor_ = 0;
}

bool ScenarioRunner::ensureStarted(std::string& why) {
    if (everLoaded_) return true;
    everLoaded_ = true;
    beginAction();
    return loader_(why);
}

std::string ScenarioRunner::windowText() const {
    const auto& log = host_.recentCommands();
    if (log.empty()) return "no command since the last step";
    std::string text = "commands since the last step:";
    for (std::size_t i = 0; i < log.size(); ++i) {
        text += "\n    " + std::string(i < cursor_ ? "(matched before) " : "") + printable(log[i]);
    }
    if (host_.recentDropped() > 0) text += "\n    ... and " + std::to_string(host_.recentDropped()) + " more";
    return text;
}

Router* ScenarioRunner::routerOf(const ScenarioToken& device, std::string& why, const DeviceInstance** instance) {
    auto d = host_.facility().findDevice(device.text);
    Router* router = d ? host_.facility().router(*d) : nullptr;
    if (!router) why = "no router " + quotedPrintable(device.text);
    if (instance) *instance = router ? host_.facility().instance(device.text) : nullptr;
    return router;
}

bool ScenarioRunner::destinationOf(const Router& router, const ScenarioToken& token, int32_t& dest, std::string& why,
                                   const DeviceInstance* instance) {
    if (instance) {
        switch (instanceDestination(host_.facility(), *instance, token.text, dest, why)) {
            case InstanceNumber::inside:
                return true;
            case InstanceNumber::outside:
                return false;
            case InstanceNumber::notANumber:
                break;  // a name: the router's
        }
    }
    auto d = router.findDestination(token.text);
    if (!d || !router.validDestination(*d)) {
        why = "no destination " + quotedPrintable(token.text) + " on router " + std::to_string(router.device);
        return false;
    }
    dest = *d;
    return true;
}

bool ScenarioRunner::sourceOf(const Router& router, const ScenarioToken& token, int32_t& source, std::string& why) {
    auto s = router.findSource(token.text);
    if (!s || (*s != 0 && !router.validSource(*s))) {
        why = "no source " + quotedPrintable(token.text) + " on router " + std::to_string(router.device);
        return false;
    }
    source = *s;
    return true;
}

ScenarioRunner::Outcome ScenarioRunner::load(const ScenarioStep& step) {
    if (host_.loaded()) return error(step, "the panel is loaded already");
    everLoaded_ = true;
    beginAction();
    std::string why;
    return loader_(why) ? Outcome::ok : error(step, why);
}

ScenarioRunner::Outcome ScenarioRunner::unload(const ScenarioStep& step) {
    if (!host_.loaded()) return error(step, "no panel loaded");
    beginAction();
    host_.unload();
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::panel(const ScenarioStep& step) {
    panelId_ = step.args[0].text;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::press(const ScenarioStep& step) {
    const auto& a = step.args;
    auto optional = [&](std::size_t i) { return a.size() > i ? std::optional<std::string>(a[i].text) : std::nullopt; };
    beginAction();
    std::string why;
    return host_.press(panelId_, a[0].text, optional(1), optional(2), why) ? Outcome::ok : error(step, why);
}

ScenarioRunner::Outcome ScenarioRunner::pick(const ScenarioStep& step) {
    beginAction();
    std::string why;
    return host_.pick(panelId_, step.args[0].text, step.args[1].text, why) ? Outcome::ok : error(step, why);
}

ScenarioRunner::Outcome ScenarioRunner::parent(const ScenarioStep& step) {
    beginAction();
    bool sent = false;
    lastReply_ = host_.parentMessage(step.args[0].text, sent);
    if (!sent) return error(step, "no panel loaded");
    parentSent_ = true;
    return Outcome::ok;
}

Router* ScenarioRunner::crosspointOf(const ScenarioStep& step, int32_t& dest, int32_t& source, std::string& why) {
    const auto& a = step.args;
    const DeviceInstance* instance = nullptr;
    Router* router = routerOf(a[0], why, &instance);
    if (!router || !destinationOf(*router, a[1], dest, why, instance) || !sourceOf(*router, a[2], source, why)) {
        return nullptr;
    }
    return router;
}

ScenarioRunner::Outcome ScenarioRunner::route(const ScenarioStep& step) {
    std::string why;
    int32_t dest = 0, source = 0;
    Router* router = crosspointOf(step, dest, source, why);
    if (!router) return error(step, why);
    beginAction();
    host_.routeFromOutside(router->device, dest, source, origin_);
    return Outcome::ok;
}

template <bool locked>
ScenarioRunner::Outcome ScenarioRunner::setLocked(const ScenarioStep& step) {
    std::string why;
    const DeviceInstance* instance = nullptr;
    Router* router = routerOf(step.args[0], why, &instance);
    int32_t dest = 0;
    if (!router || !destinationOf(*router, step.args[1], dest, why, instance)) return error(step, why);
    if constexpr (locked) {
        LockOwner owner = origin_;
        if (step.args.size() > 2) {
            auto named = parseLockOwner(step.args[2].text);
            if (!named) {
                return error(step, "the lock's owner is scenario, page or a device number 0-65535, not " +
                                       quotedPrintable(step.args[2].text));
            }
            // The page's own session stays with a lock it names as the page's.
            if (*named != origin_) owner = *named;
        }
        router->lock(dest, owner, host_.clock().now());
    } else {
        router->unlock(dest, origin_, host_.clock().now());
    }
    return Outcome::ok;
}

template <bool online>
ScenarioRunner::Outcome ScenarioRunner::setOnline(const ScenarioStep& step) {
    auto device = host_.facility().findDevice(step.args[0].text);
    if (!device) return error(step, "no device " + quotedPrintable(step.args[0].text));
    host_.setOnline(*device, online);
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::wait(const ScenarioStep& step) {
    int32_t ms = 0;
    if (!parseInt32(step.args[0].text, ms) || ms < 0) {
        return error(step, "wait takes a number of milliseconds, 0 or more");
    }
    beginAction();
    host_.wait(ms);
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::show(const ScenarioStep& step) {
    const Panel* panel = host_.panel(panelId_);
    if (!panel) return error(step, host_.panelNotShown(panelId_));
    std::string picture = renderPanel(*panel);
    host_.trace().block(picture);
    if (pictureOut_) *pictureOut_ << picture;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::answer(const ScenarioStep& step) {
    const auto& a = step.args;
    host_.answer(a[0].text, isNull(a[1]) ? std::nullopt : std::optional<std::string>(a[1].text));
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::notify(const ScenarioStep& step) {
    const auto& a = step.args;
    int32_t type = 0;
    if (!parseInt32(a[0].text, type)) return error(step, "notify takes a 32-bit type number");
    const std::string& form = a[1].text;
    auto text = [&](const ScenarioToken& t) -> const char* { return isNull(t) ? nullptr : t.text.c_str(); };
    std::string description = printable(step.source.substr(step.source.find(form)), 120);
    beginAction();
    if (form == "null" && a.size() == 2) {
        host_.notify(type, nullptr, description);
        return Outcome::ok;
    }
    if (form == "value" && a.size() == 3) {
        int32_t value = 0;
        if (!parseInt32(a[2].text, value)) return error(step, "notify value takes a 32-bit integer");
        host_.notify(type, reinterpret_cast<void*>(static_cast<intptr_t>(value)), description);
        return Outcome::ok;
    }
    if (form == "foreign" && a.size() == 2) {
        // Not from the heap: a panel that frees it fails at once.
        static char foreign[16] = "not the panel's";
        host_.notify(type, foreign, description);
        return Outcome::ok;
    }
    if (form == "text" && a.size() == 3) {
        std::string copy = a[2].text;
        host_.notify(type, &copy[0], description);
        return Outcome::ok;
    }
    if (form == "button" && (a.size() == 4 || a.size() == 6)) {
        const bool withDetails = a.size() == 6;
        zarn_button_record record(a[2].text, a[3].text, withDetails ? a[4].text : std::string(),
                                  withDetails ? a[5].text : std::string());
        ButtonEvent& event = *record.event();
        if (!text(a[2])) event.panelId = nullptr;
        if (!text(a[3])) event.controlId = nullptr;
        if (withDetails && !text(a[4])) record.details()->command = nullptr;
        if (withDetails && !text(a[5])) record.details()->value = nullptr;
        if (!withDetails) event.details = nullptr;
        host_.notify(type, &event, description);
        return Outcome::ok;
    }
    if (form == "revertive" && a.size() == 5) {
        int32_t device = 0, index = 0;
        if (!parseInt32(a[2].text, device) || !parseInt32(a[3].text, index)) {
            return error(step, "notify revertive takes a device and an index, 32-bit integers");
        }
        zarn_revertive_record record(device, index, a[4].text);
        host_.notify(type, record.event(), description);
        return Outcome::ok;
    }
    return error(step,
                 "notify TYPE takes null, value N, foreign, text TEXT, button PANEL CONTROL [COMMAND VALUE] or "
                 "revertive DEVICE INDEX TEXT");
}

// The step table takes the addresses of these.
template ScenarioRunner::Outcome ScenarioRunner::setLocked<true>(const ScenarioStep&);
template ScenarioRunner::Outcome ScenarioRunner::setLocked<false>(const ScenarioStep&);
template ScenarioRunner::Outcome ScenarioRunner::setOnline<true>(const ScenarioStep&);
template ScenarioRunner::Outcome ScenarioRunner::setOnline<false>(const ScenarioStep&);

}  // namespace zarn_host
