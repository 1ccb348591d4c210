// The step language, one row a step: what the parser accepts, what the runner
// does with it and what the help says. parseScenarioLine checks a line against
// its row, ScenarioRunner::runStep dispatches through it, and zarn_host's
// --help and interactive help list it; host/README.md's step table is checked
// against it by a test.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zarn_host {

class ScenarioRunner;
struct ScenarioStep;

enum class ScenarioOutcome { ok, expectationFailed, error };

// How a step's TEXT stands for the panel's commands (their texts as the
// trace shows them); the parser refuses a TEXT that could never match one.
enum class CommandMatch {
    none,       // the step names no command
    whole,      // TEXT is a whole command: "RC 101 12 40 ',' 0"
    beginning,  // TEXT is a command's first words, up to an argument's end: "RC", "RC 101"
};

struct ScenarioStepKind {
    const char* keyword;    // one word, or "expect" and its kind: "expect no command"
    const char* arguments;  // as the help writes them: "CONTROL [COMMAND [VALUE]]"
    std::size_t minArgs;
    std::size_t maxArgs;
    bool restOfLine;            // the one argument is the rest of the line, verbatim
    unsigned numbers;           // bit i set: argument i is a number, 0 to 2^31 - 1
    const char* numberMeaning;  // for the error when it is not: "wait takes <numberMeaning>"
    bool startsPanel;           // the panel is started first when it never was
    bool traced;                // the step is written to the trace before it runs
    ScenarioOutcome (ScenarioRunner::*run)(const ScenarioStep& step);
    const char* meaning;
    CommandMatch commands = CommandMatch::none;
    bool refusalKindFirst = false;  // the rest of the line begins with a refusal kind (sim/refusal.h)

    // "press CONTROL [COMMAND [VALUE]]"
    std::string syntax() const;
};

// Every step, in the order the help lists them.
const std::vector<ScenarioStepKind>& scenarioSteps();
// The row of a keyword ("expect no command"), or null.
const ScenarioStepKind* findScenarioStep(const std::string& keyword);
// One line a step: its syntax, then its meaning.
std::string scenarioStepsHelp();
// One line of that help, for words a front-end adds (help, quit).
std::string scenarioHelpLine(const std::string& syntax, const std::string& meaning);

}  // namespace zarn_host
