#include "scenario/scenario_steps.h"

#include "scenario/scenario_runner.h"

namespace zarn_host {

std::string ScenarioStepKind::syntax() const {
    return *arguments ? std::string(keyword) + " " + arguments : std::string(keyword);
}

const std::vector<ScenarioStepKind>& scenarioSteps() {
    using R = ScenarioRunner;
    constexpr bool rest = true, tokens = false;
    constexpr bool startsPanel = true, traced = true;
    // clang-format off
    static const std::vector<ScenarioStepKind> steps = {
        // keyword, arguments, min, max, rest of line?, number arguments, starts the panel?, traced?, handler, meaning
        {"load", "", 0, 0, tokens, 0, nullptr, !startsPanel, traced, &R::load,
         "starts the panel (the first step that needs the panel starts it)"},
        {"unload", "", 0, 0, tokens, 0, nullptr, !startsPanel, traced, &R::unload, "destroys the panel"},
        {"panel", "ID", 1, 1, tokens, 0, nullptr, !startsPanel, traced, &R::panel,
         "the panel later steps address (default 1)"},
        {"press", "CONTROL [COMMAND [VALUE]]", 1, 3, tokens, 0, nullptr, startsPanel, traced, &R::press,
         "a button event, with optional details"},
        {"pick", "LIST ENTRY", 2, 2, tokens, 0, nullptr, startsPanel, traced, &R::pick,
         "chooses a list entry (by text, else by value)"},
        {"parent", "TEXT", 1, 1, tokens, 0, nullptr, startsPanel, traced, &R::parent,
         "a parent message; the reply is printed, handed back and kept for expect reply"},
        {"route", "DEVICE DEST SOURCE", 3, 3, tokens, 0, nullptr, !startsPanel, traced, &R::route,
         "a route made outside the panel (a refusal is traced, not counted: the panel did not ask); numbers as "
         "below"},
        {"lock", "DEVICE DEST [OWNER]", 2, 3, tokens, 0, nullptr, !startsPanel, traced, &R::setLocked<true>,
         "refuses routes to a destination; numbers as below; OWNER, who holds the lock: scenario (the default), "
         "page, or a controller's device number"},
        {"unlock", "DEVICE DEST", 2, 2, tokens, 0, nullptr, !startsPanel, traced, &R::setLocked<false>,
         "allows routes to a destination again; numbers as below"},
        {"offline", "DEVICE", 1, 1, tokens, 0, nullptr, !startsPanel, traced, &R::setOnline<false>,
         "the device answers nothing from now on"},
        {"online", "DEVICE", 1, 1, tokens, 0, nullptr, !startsPanel, traced, &R::setOnline<true>,
         "the device answers again"},
        {"wait", "MS", 1, 1, tokens, 1u << 0, "a number of milliseconds, 0 or more", startsPanel, traced, &R::wait,
         "advances the virtual clock, firing due timers in order"},
        {"show", "", 0, 0, tokens, 0, nullptr, startsPanel, !traced, &R::show, "draws the panel"},
        {"expect command", "TEXT", 1, 1, rest, 0, nullptr, startsPanel, !traced, &R::expectCommand,
         "the whole command TEXT, the rest of the line as the trace shows it, was sent since the last step (in "
         "order across expectations; the host keeps only those commands)", CommandMatch::whole},
        {"expect no command", "[TEXT]", 0, 1, rest, 0, nullptr, startsPanel, !traced, &R::expectNoCommand,
         "nothing was sent since the last step, or nothing that begins with TEXT up to an argument's end "
         "(\"RC\": no RC at all; \"RC 101\": none to device 101)", CommandMatch::beginning},
        {"expect refused", "[KIND [TEXT]]", 0, 1, rest, 0, nullptr, startsPanel, !traced, &R::expectRefused,
         "the host refused something since the last step (of KIND, with the whole TEXT the trace shows after "
         "\"! \"); every refusal that matches is expected and fails nothing (KIND: the refusal table)",
         CommandMatch::none, true},
        {"expect property", "CONTROL NAME VALUE", 3, 3, tokens, 0, nullptr, startsPanel, !traced, &R::expectProperty,
         "a control property's current value"},
        {"expect route", "DEVICE DEST SOURCE", 3, 3, tokens, 0, nullptr, !startsPanel, !traced, &R::expectRoute,
         "a router's current crosspoint. DEST: after an instance name the instance's number (1 is its first "
         "destination, the offset applied as for the panel's commands; a number outside it is refused when the "
         "scenario is read), after a device number the device's; SOURCE: always the device's"},
        {"expect reply", "TEXT", 1, 1, tokens, 0, nullptr, startsPanel, !traced, &R::expectReply,
         "the last parent reply, whole (a bare null: none)"},
        {"answer", "PREFIX TEXT", 2, 2, tokens, 0, nullptr, !startsPanel, traced, &R::answer,
         "from now on, commands whose text begins with PREFIX, byte for byte, get TEXT for a reply (a bare "
         "null: a null reply; the longest prefix wins)"},
        {"notify", "TYPE FORM ...", 2, 6, tokens, 0, nullptr, startsPanel, traced, &R::notify,
         "a raw notification; FORM: null, value N, foreign (a pointer the panel never gave), text TEXT, "
         "button PANEL CONTROL [COMMAND VALUE] (a bare null is a null text; without COMMAND no details), "
         "revertive DEVICE INDEX TEXT"},
    };
    // clang-format on
    return steps;
}

const ScenarioStepKind* findScenarioStep(const std::string& keyword) {
    for (const auto& kind : scenarioSteps()) {
        if (keyword == kind.keyword) return &kind;
    }
    return nullptr;
}

std::string scenarioHelpLine(const std::string& syntax, const std::string& meaning) {
    constexpr std::size_t column = 36;
    return "  " + syntax + std::string(syntax.size() < column ? column - syntax.size() : 1, ' ') + meaning + "\n";
}

std::string scenarioStepsHelp() {
    std::string text;
    for (const auto& kind : scenarioSteps()) text += scenarioHelpLine(kind.syntax(), kind.meaning);
    return text;
}

}  // namespace zarn_host
