// Scenarios: line-based scripts of operator actions, outside events and
// expectations, run against a SimHost. The same steps work interactively.
//
//   # comment                      whole-line comments and blank lines are skipped
//   load | unload                  start or destroy the panel (start is implicit)
//   panel ID                       panel addressed by later steps (default "1")
//   press CONTROL [COMMAND [VALUE]]
//   pick LIST ENTRY                entry by text, else by value
//   parent TEXT                    type-3 message; the reply is kept for expect reply
//   route DEVICE DEST SOURCE       a route made outside the panel
//   lock DEVICE DEST | unlock DEVICE DEST
//   offline DEVICE | online DEVICE
//   wait MS                        advance the virtual clock, firing due timers
//   show                           draw the panel
//   expect command TEXT            sent since the last step, after the last match
//                                  (the host keeps only the commands since the last step)
//   expect no command [TEXT]
//   expect property CONTROL NAME VALUE
//   expect route DEVICE DEST SOURCE
//   expect reply TEXT | null
//   answer PREFIX TEXT | null      replies to commands beginning with PREFIX, from now on
//   notify TYPE FORM ...           a raw notification; FORM is one of
//                                    null | value N | foreign | text TEXT
//                                    button PANEL CONTROL [COMMAND VALUE]  (bare null: a null text;
//                                                                          without COMMAND: no details)
//                                    revertive DEVICE INDEX TEXT
//
// Arguments are separated by blanks; "double quotes" group blanks and take the
// escapes \" \\ \n \t. The TEXT of expect command is the rest of the line, as
// the trace shows it. Devices are instance names or numbers; destinations and
// sources names or numbers.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sim_host.h"

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
// text as one quoted argument, with the escapes parseScenarioLine reads back.
std::string scenarioQuoted(const std::string& text);
// A whole file; error is "file:line: reason".
bool parseScenario(const std::string& text, const std::string& fileName, std::vector<ScenarioStep>& steps,
                   std::string& error);

class ScenarioRunner {
public:
    enum class Outcome { ok, expectationFailed, error };
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

    int expectationsMet() const { return expectationsMet_; }
    // The panel later steps address, and the last parent message's reply.
    const std::string& panelId() const { return panelId_; }
    bool parentSent() const { return parentSent_; }
    const std::optional<std::string>& lastReply() const { return lastReply_; }
    bool everLoaded() const { return everLoaded_; }

private:
    Outcome fail(const ScenarioStep& step, const std::string& expected, const std::string& happened);
    Outcome error(const ScenarioStep& step, const std::string& what);
    void beginAction();
    std::string windowText() const;
    Outcome expectCommand(const ScenarioStep& step);
    Outcome expectNoCommand(const ScenarioStep& step);
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
    int expectationsMet_ = 0;
};

}  // namespace zarn_host
