// Scenario lines: a step's keyword and arguments, read from one line of a
// scenario file, standard input, the page or the validator, and the quoting
// that carries any text as one argument. Which steps there are and what
// arguments they take is the table in scenario_steps.h.
//
// Arguments are separated by blanks; "double quotes" group blanks and take the
// escapes \" \\ \n \t. A step whose argument is the rest of the line (expect
// command) keeps it verbatim, as the trace shows it.
#pragma once

#include <string>
#include <vector>

namespace zarn_host {

struct ScenarioToken {
    std::string text;
    bool quoted = false;
};

struct ScenarioStep {
    std::string file;
    int line = 0;
    std::string keyword;  // for expect: "expect command", "expect property", ...
    std::vector<ScenarioToken> args;
    std::string rest;    // raw text after the keyword (expect command, expect no command)
    std::string source;  // the line as written
};

// One line; false with error on a malformed line. A blank or comment line
// gives an empty keyword.
bool parseScenarioLine(const std::string& line, ScenarioStep& step, std::string& error);
// A whole file; error is "file:line: reason".
bool parseScenario(const std::string& text, const std::string& fileName, std::vector<ScenarioStep>& steps,
                   std::string& error);

// expect refused's "KIND TEXT": the first word, and the rest after one blank.
void splitRefusalExpectation(const std::string& rest, std::string& kind, std::string& text);

// text as one quoted argument, with the escapes parseScenarioLine reads back.
std::string scenarioQuoted(const std::string& text);
// text as one argument: bare when it reads back the same, else scenarioQuoted.
// A bare null stays bare: where null means "no text" (answer, expect reply,
// notify button), quote the text with scenarioQuoted.
std::string scenarioArgument(const std::string& text);

}  // namespace zarn_host
