// The scenario runner's expectations: each checks what the panel and the
// facility did since the step before, and says what was expected and what
// happened when they differ.
#include <cstdint>
#include <string>

#include "scenario/scenario_runner.h"
#include "scenario/step_text.h"
#include "sim/refusal.h"
#include "text/command_text.h"

namespace zarn_host {

using step_text::isNull;
using step_text::shownSource;

ScenarioRunner::Outcome ScenarioRunner::expectCommand(const ScenarioStep& step) {
    const auto& log = host_.recentCommands();
    for (std::size_t i = cursor_; i < log.size(); ++i) {
        if (log[i] == step.rest) {
            cursor_ = i + 1;
            ++expectationsMet_;
            return Outcome::ok;
        }
    }
    for (std::size_t i = 0; i < cursor_ && i < log.size(); ++i) {
        if (log[i] == step.rest) {
            return fail(step, "command " + step.rest + " after the one matched last",
                        "it came before; " + windowText());
        }
    }
    return fail(step, "command " + step.rest, windowText());
}

ScenarioRunner::Outcome ScenarioRunner::expectNoCommand(const ScenarioStep& step) {
    const auto& log = host_.recentCommands();
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (step.rest.empty() || beginsCommand(log[i], step.rest)) {
            return fail(step, step.rest.empty() ? "no command" : "no command " + step.rest, windowText());
        }
    }
    ++expectationsMet_;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::expectRefused(const ScenarioStep& step) {
    std::string word, text;
    splitRefusalExpectation(step.rest, word, text);
    const RefusalKindInfo* kind = word.empty() ? nullptr : findRefusalKind(word);
    if (!word.empty() && !kind) return error(step, "\"" + printable(word, 40) + "\" is no kind of refusal");
    if (host_.expectRefusals(kind, text.empty() ? nullptr : &text) > 0) {
        ++expectationsMet_;
        return Outcome::ok;
    }
    std::string expected = "a refusal";
    if (kind) expected += std::string(" of kind ") + kind->word + " (" + kind->summary + ")";
    if (!text.empty()) expected += ": " + text;
    const auto& recent = host_.recentRefusals();
    std::string happened = recent.empty() ? "no refusal since the last step" : "refusals since the last step:";
    for (const auto& refusal : recent) {
        happened += std::string("\n    ") + refusalKindInfo(refusal.kind).word + " " + refusal.text;
    }
    return fail(step, expected, happened);
}

ScenarioRunner::Outcome ScenarioRunner::expectProperty(const ScenarioStep& step) {
    const auto& a = step.args;
    const Panel* panel = host_.panel(panelId_);
    if (!panel) return error(step, host_.panelNotShown(panelId_));
    const Control* control = panel->control(a[0].text);
    if (!control) return error(step, "no control " + quotedPrintable(a[0].text) + " on panel \"" + panelId_ + "\"");
    const std::string* value = control->property(a[1].text);
    std::string expected = a[0].text + " " + a[1].text + " = " + quotedPrintable(a[2].text);
    if (!value) return fail(step, expected, "the control has no property " + quotedPrintable(a[1].text));
    if (*value != a[2].text) return fail(step, expected, "it is " + quotedPrintable(*value));
    ++expectationsMet_;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::expectRoute(const ScenarioStep& step) {
    std::string why;
    int32_t dest = 0, source = 0;
    Router* router = crosspointOf(step, dest, source, why);
    if (!router) return error(step, why);
    int32_t actual = router->crosspoints[static_cast<std::size_t>(dest)];
    if (actual != source) {
        return fail(step,
                    "destination " + std::to_string(dest) + " carries source " + std::to_string(source) + " (" +
                        shownSource(*router, source) + ")",
                    "it carries source " + std::to_string(actual) + " (" + shownSource(*router, actual) + ")");
    }
    ++expectationsMet_;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::expectReply(const ScenarioStep& step) {
    if (!parentSent_) return error(step, "no parent message sent yet");
    const ScenarioToken& want = step.args[0];
    bool wantNull = isNull(want);
    std::string expected = wantNull ? "reply null" : "reply " + quotedPrintable(want.text);
    std::string happened = lastReply_ ? "reply " + quotedPrintable(*lastReply_) : "reply null";
    if (wantNull != !lastReply_ || (lastReply_ && *lastReply_ != want.text)) return fail(step, expected, happened);
    ++expectationsMet_;
    return Outcome::ok;
}

}  // namespace zarn_host
