#include "scenario.h"

#include <zarn/revertive_record.h>

#include <cstdint>
#include <ostream>

#include "command_text.h"
#include "renderer.h"

namespace zarn_host {
namespace {

struct StepShape {
    const char* keyword;
    std::size_t minArgs;
    std::size_t maxArgs;
    bool rawRest;  // the argument is the rest of the line, unparsed
};

constexpr StepShape stepShapes[] = {
    {"load", 0, 0, false},
    {"unload", 0, 0, false},
    {"panel", 1, 1, false},
    {"press", 1, 3, false},
    {"pick", 2, 2, false},
    {"parent", 1, 1, false},
    {"route", 3, 3, false},
    {"lock", 2, 2, false},
    {"unlock", 2, 2, false},
    {"offline", 1, 1, false},
    {"online", 1, 1, false},
    {"wait", 1, 1, false},
    {"show", 0, 0, false},
    {"expect command", 1, 1, true},
    {"expect no command", 0, 1, true},
    {"expect property", 3, 3, false},
    {"expect route", 3, 3, false},
    {"expect reply", 1, 1, false},
    {"answer", 2, 2, false},
    {"notify", 2, 6, false},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits s into tokens; false with error on an unterminated quote or a bad escape.
bool tokenize(const std::string& s, std::vector<ScenarioToken>& tokens, std::string& error) {
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && isBlank(s[i])) ++i;
        if (i == s.size()) return true;
        ScenarioToken token;
        if (s[i] == '"') {
            token.quoted = true;
            ++i;
            while (true) {
                if (i == s.size()) {
                    error = "unterminated \"";
                    return false;
                }
                char c = s[i++];
                if (c == '"') break;
                if (c != '\\') {
                    token.text += c;
                    continue;
                }
                if (i == s.size()) {
                    error = "unterminated \"";
                    return false;
                }
                char e = s[i++];
                if (e == 'n') {
                    token.text += '\n';
                } else if (e == 't') {
                    token.text += '\t';
                } else if (e == '"' || e == '\\') {
                    token.text += e;
                } else {
                    error = std::string("unknown escape \\") + e;
                    return false;
                }
            }
            if (i < s.size() && !isBlank(s[i])) {
                error = "text right after a closing quote";
                return false;
            }
        } else {
            while (i < s.size() && !isBlank(s[i])) token.text += s[i++];
        }
        tokens.push_back(std::move(token));
    }
}

std::string quoted(const std::string& text) {
    return "\"" + printable(text) + "\"";
}

}  // namespace

std::string scenarioQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool parseScenarioLine(const std::string& rawLine, ScenarioStep& step, std::string& error) {
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    step.source = line;
    step.keyword.clear();
    step.args.clear();
    step.rest.clear();
    std::size_t start = 0;
    while (start < line.size() && isBlank(line[start])) ++start;
    if (start == line.size() || line[start] == '#') return true;

    // The keyword: one word, or "expect" and its kind ("expect no command").
    auto nextWord = [&](std::size_t& pos) {
        while (pos < line.size() && isBlank(line[pos])) ++pos;
        std::size_t begin = pos;
        while (pos < line.size() && !isBlank(line[pos])) ++pos;
        return line.substr(begin, pos - begin);
    };
    std::size_t pos = start;
    std::string keyword = nextWord(pos);
    if (keyword == "expect") {
        std::string kind = nextWord(pos);
        keyword += " " + kind;
        if (kind == "no") keyword += " " + nextWord(pos);
    }
    const StepShape* shape = nullptr;
    for (const auto& s : stepShapes) {
        if (keyword == s.keyword) shape = &s;
    }
    if (!shape) {
        error = "unknown step \"" + printable(keyword, 60) + "\"";
        return false;
    }
    step.keyword = keyword;
    if (shape->rawRest) {
        if (pos < line.size()) ++pos;  // the blank after the keyword
        step.rest = line.substr(pos);
        if (!step.rest.empty()) step.args.push_back({step.rest, false});
    } else if (!tokenize(line.substr(pos), step.args, error)) {
        return false;
    }
    if (step.args.size() < shape->minArgs || step.args.size() > shape->maxArgs) {
        error = "\"" + keyword + "\" takes " + std::to_string(shape->minArgs) +
                (shape->maxArgs != shape->minArgs ? " to " + std::to_string(shape->maxArgs) : std::string()) +
                " arguments, found " + std::to_string(step.args.size());
        return false;
    }
    if (keyword == "wait") {
        int32_t ms = 0;
        if (!parseInt32(step.args[0].text, ms) || ms < 0) {
            error = "wait takes a number of milliseconds, 0 or more";
            return false;
        }
    }
    return true;
}

bool parseScenario(const std::string& text, const std::string& fileName, std::vector<ScenarioStep>& steps,
                   std::string& error) {
    std::size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++lineNumber;
        ScenarioStep step;
        std::string why;
        if (!parseScenarioLine(text.substr(start, end - start), step, why)) {
            error = fileName + ":" + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        if (!step.keyword.empty()) {
            step.file = fileName;
            step.line = lineNumber;
            steps.push_back(std::move(step));
        }
        start = end + 1;
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

ScenarioRunner::Outcome ScenarioRunner::fail(const ScenarioStep& step, const std::string& expected,
                                             const std::string& happened) {
    std::string where = step.file + ":" + std::to_string(step.line);
    host_.trace().line("!! expectation failed at " + where + ": " + step.source);
    *err_ << where << ": expectation failed: " << step.source << "\n  expected: " << expected
          << "\n  happened: " << happened << "\n";
    return Outcome::expectationFailed;
}

ScenarioRunner::Outcome ScenarioRunner::error(const ScenarioStep& step, const std::string& what) {
    std::string where = step.file + ":" + std::to_string(step.line);
    host_.trace().line("!! error at " + where + ": " + what);
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
        if (step.rest.empty() || log[i] == step.rest) {
            return fail(step, step.rest.empty() ? "no command" : "no command " + step.rest, windowText());
        }
    }
    ++expectationsMet_;
    return Outcome::ok;
}

ScenarioRunner::Outcome ScenarioRunner::notify(const ScenarioStep& step) {
    const auto& a = step.args;
    int32_t type = 0;
    if (!parseInt32(a[0].text, type)) return error(step, "notify takes a 32-bit type number");
    const std::string& form = a[1].text;
    // A bare null stands for a null text inside a record.
    auto text = [&](const ScenarioToken& t) -> const char* {
        return !t.quoted && t.text == "null" ? nullptr : t.text.c_str();
    };
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
        ButtonEventDetails details{};
        for (auto& field : details.subFields) field = "";
        ButtonEvent event{};
        event.panelId = text(a[2]);
        event.controlId = text(a[3]);
        if (a.size() == 6) {
            details.command = text(a[4]);
            details.value = text(a[5]);
            event.details = &details;
        }
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

ScenarioRunner::Outcome ScenarioRunner::runStep(const ScenarioStep& step) {
    const std::string& k = step.keyword;
    const auto& a = step.args;
    std::string why;

    // Steps that act on the panel start it first.
    bool needsPanel = k == "press" || k == "pick" || k == "parent" || k == "wait" || k == "show" || k == "notify" ||
                      k == "expect command" || k == "expect no command" || k == "expect property" ||
                      k == "expect reply";
    if (needsPanel && !ensureStarted(why)) return error(step, why);

    if (k != "show" && k.compare(0, 6, "expect") != 0) host_.trace().line("== " + printable(step.source));

    auto device = [&](const ScenarioToken& t) { return host_.facility().findDevice(t.text); };
    auto routerOf = [&](const ScenarioToken& t, Router*& router) {
        auto d = device(t);
        router = d ? host_.facility().router(*d) : nullptr;
        if (!router) why = "no router " + quoted(t.text);
        return router != nullptr;
    };
    auto destinationOf = [&](const Router& router, const ScenarioToken& t, int32_t& dest) {
        auto d = router.findDestination(t.text);
        if (!d || !router.validDestination(*d)) {
            why = "no destination " + quoted(t.text) + " on router " + std::to_string(router.device);
            return false;
        }
        dest = *d;
        return true;
    };
    auto sourceOf = [&](const Router& router, const ScenarioToken& t, int32_t& source) {
        auto s = router.findSource(t.text);
        if (!s || (*s != 0 && !router.validSource(*s))) {
            why = "no source " + quoted(t.text) + " on router " + std::to_string(router.device);
            return false;
        }
        source = *s;
        return true;
    };

    if (k == "load") {
        if (host_.loaded()) return error(step, "the panel is loaded already");
        everLoaded_ = true;
        beginAction();
        return loader_(why) ? Outcome::ok : error(step, why);
    }
    if (k == "unload") {
        if (!host_.loaded()) return error(step, "no panel loaded");
        beginAction();
        host_.unload();
        return Outcome::ok;
    }
    if (k == "panel") {
        panelId_ = a[0].text;
        return Outcome::ok;
    }
    if (k == "press" || k == "pick") {
        beginAction();
        bool sent = k == "pick" ? host_.pick(panelId_, a[0].text, a[1].text, why)
                                : host_.press(panelId_, a[0].text,
                                              a.size() > 1 ? std::optional<std::string>(a[1].text) : std::nullopt,
                                              a.size() > 2 ? std::optional<std::string>(a[2].text) : std::nullopt, why);
        return sent ? Outcome::ok : error(step, why);
    }
    if (k == "parent") {
        beginAction();
        bool sent = false;
        lastReply_ = host_.parentMessage(a[0].text, sent);
        if (!sent) return error(step, "no panel loaded");
        parentSent_ = true;
        return Outcome::ok;
    }
    if (k == "route") {
        Router* router = nullptr;
        int32_t dest = 0, source = 0;
        if (!routerOf(a[0], router) || !destinationOf(*router, a[1], dest) || !sourceOf(*router, a[2], source)) {
            return error(step, why);
        }
        beginAction();
        host_.routeFromOutside(router->device, dest, source);
        return Outcome::ok;
    }
    if (k == "lock" || k == "unlock") {
        Router* router = nullptr;
        int32_t dest = 0;
        if (!routerOf(a[0], router) || !destinationOf(*router, a[1], dest)) return error(step, why);
        if (k == "lock") {
            router->locked.insert(dest);
        } else {
            router->locked.erase(dest);
        }
        return Outcome::ok;
    }
    if (k == "offline" || k == "online") {
        auto d = device(a[0]);
        if (!d) return error(step, "no device " + quoted(a[0].text));
        host_.setOnline(*d, k == "online");
        return Outcome::ok;
    }
    if (k == "wait") {
        int32_t ms = 0;
        parseInt32(a[0].text, ms);
        beginAction();
        host_.wait(ms);
        return Outcome::ok;
    }
    if (k == "show") {
        const Panel* panel = host_.panel(panelId_);
        if (!panel) return error(step, "no panel \"" + panelId_ + "\" shown");
        std::string picture = renderPanel(*panel);
        host_.trace().block(picture);
        if (pictureOut_) *pictureOut_ << picture;
        return Outcome::ok;
    }
    if (k == "answer") {
        bool isNull = !a[1].quoted && a[1].text == "null";
        host_.answer(a[0].text, isNull ? std::nullopt : std::optional<std::string>(a[1].text));
        return Outcome::ok;
    }
    if (k == "notify") return notify(step);
    if (k == "expect command") return expectCommand(step);
    if (k == "expect no command") return expectNoCommand(step);
    if (k == "expect property") {
        const Panel* panel = host_.panel(panelId_);
        const Control* control = panel ? panel->control(a[0].text) : nullptr;
        if (!control) return error(step, "no control " + quoted(a[0].text) + " on panel \"" + panelId_ + "\"");
        const std::string* value = control->property(a[1].text);
        std::string expected = a[0].text + " " + a[1].text + " = " + quoted(a[2].text);
        if (!value) return fail(step, expected, "the control has no property " + quoted(a[1].text));
        if (*value != a[2].text) return fail(step, expected, "it is " + quoted(*value));
        ++expectationsMet_;
        return Outcome::ok;
    }
    if (k == "expect route") {
        Router* router = nullptr;
        int32_t dest = 0, source = 0;
        if (!routerOf(a[0], router) || !destinationOf(*router, a[1], dest) || !sourceOf(*router, a[2], source)) {
            return error(step, why);
        }
        int32_t actual = router->crosspoints[static_cast<std::size_t>(dest)];
        if (actual != source) {
            return fail(step,
                        "destination " + std::to_string(dest) + " carries source " + std::to_string(source) + " (" +
                            router->sourceText(source) + ")",
                        "it carries source " + std::to_string(actual) + " (" + router->sourceText(actual) + ")");
        }
        ++expectationsMet_;
        return Outcome::ok;
    }
    // expect reply
    if (!parentSent_) return error(step, "no parent message sent yet");
    bool wantNull = !a[0].quoted && a[0].text == "null";
    std::string expected = wantNull ? "reply null" : "reply " + quoted(a[0].text);
    std::string happened = lastReply_ ? "reply " + quoted(*lastReply_) : "reply null";
    if (wantNull != !lastReply_ || (lastReply_ && *lastReply_ != a[0].text)) return fail(step, expected, happened);
    ++expectationsMet_;
    return Outcome::ok;
}

}  // namespace zarn_host
