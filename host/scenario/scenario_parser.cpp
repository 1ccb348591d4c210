#include "scenario/scenario_parser.h"

#include <zarn/host_commands.h>

#include <cstdint>

#include "scenario/scenario_steps.h"
#include "sim/refusal.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

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

// "SD, XI, PS, ..."
std::string commandWords() {
    std::string words;
    for (const auto& command : zarn::hostCommands) words += (words.empty() ? "" : ", ") + std::string(command.word);
    return words;
}

// The step's arguments against its row: how many, and which are numbers.
bool checkArguments(const ScenarioStepKind& kind, const ScenarioStep& step, std::string& error) {
    std::size_t count = step.args.size();
    if (count < kind.minArgs || count > kind.maxArgs) {
        error = "\"" + step.keyword + "\" takes " + std::to_string(kind.minArgs) +
                (kind.maxArgs != kind.minArgs ? " to " + std::to_string(kind.maxArgs) : std::string()) +
                " arguments, found " + std::to_string(count);
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        int32_t number = 0;
        if ((kind.numbers >> i & 1u) && (!parseInt32(step.args[i].text, number) || number < 0)) {
            error = step.keyword + " takes " + kind.numberMeaning;
            return false;
        }
    }
    if (kind.refusalKindFirst && !step.rest.empty()) {
        std::string word, text;
        splitRefusalExpectation(step.rest, word, text);
        if (!findRefusalKind(word)) {
            std::string kinds;
            for (const auto& info : refusalKinds()) kinds += (kinds.empty() ? "" : ", ") + std::string(info.word);
            error = "\"" + printable(word, 40) + "\" is no kind of refusal (the kinds: " + kinds + ")";
            return false;
        }
    }
    if (kind.commands != CommandMatch::none && !step.rest.empty()) {
        CheckedCommand checked;
        std::string why;
        if (!checkCommand(step.rest, kind.commands == CommandMatch::whole, checked, why)) {
            const zarn::HostCommand* shape = zarn::findHostCommand(std::string_view(step.rest).substr(0, 2));
            std::string hint = shape ? " (" + commandForm(*shape) + ")" : " (the commands: " + commandWords() + ")";
            error = "\"" + printable(step.rest, 80) + "\" can never match a command the panel sends: " + why + hint;
            return false;
        }
    }
    return true;
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

std::string scenarioArgument(const std::string& text) {
    bool bare = !text.empty() && text[0] != '#' && text.find_first_of(" \t\r\n\"\\") == std::string::npos;
    return bare ? text : scenarioQuoted(text);
}

void splitRefusalExpectation(const std::string& rest, std::string& kind, std::string& text) {
    std::size_t end = 0;
    while (end < rest.size() && !isBlank(rest[end])) ++end;
    kind = rest.substr(0, end);
    text = end < rest.size() ? rest.substr(end + 1) : std::string();
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
    const ScenarioStepKind* kind = findScenarioStep(keyword);
    if (!kind) {
        error = "unknown step \"" + printable(keyword, 60) + "\"";
        return false;
    }
    step.keyword = keyword;
    if (kind->restOfLine) {
        if (pos < line.size()) ++pos;  // the blank after the keyword
        step.rest = line.substr(pos);
        if (!step.rest.empty()) step.args.push_back({step.rest, false});
    } else if (!tokenize(line.substr(pos), step.args, error)) {
        return false;
    }
    return checkArguments(*kind, step, error);
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

}  // namespace zarn_host
