#include "text/command_text.h"

#include <zarn/host_commands.h>

#include <charconv>
#include <cstdio>
#include <system_error>

namespace zarn_host {
namespace {

// Quoted argument opening at text[open]: the index of its closing quote at or
// after from, or npos.
std::size_t closingQuote(std::string_view text, std::size_t from) {
    for (std::size_t j = from; j < text.size(); ++j) {
        if (text[j] == '\'' && (j + 1 == text.size() || text[j + 1] == ' ')) return j;
    }
    return std::string_view::npos;
}

// Parses the arguments starting at pos (just after a separating blank) strictly.
bool parseArguments(std::string_view text, std::size_t pos, std::vector<CommandArgument>& args, std::string& error) {
    while (true) {
        if (pos >= text.size() || text[pos] == ' ') {
            error = "empty argument or doubled blank at byte " + std::to_string(pos);
            return false;
        }
        CommandArgument arg;
        std::size_t end;
        if (text[pos] == '\'') {
            std::size_t close = closingQuote(text, pos + 1);
            if (close == std::string_view::npos) {
                error = "unterminated quoted argument at byte " + std::to_string(pos);
                return false;
            }
            arg.text.assign(text.substr(pos + 1, close - pos - 1));
            arg.quoted = true;
            end = close + 1;
        } else {
            end = text.find(' ', pos);
            if (end == std::string_view::npos) end = text.size();
            arg.text.assign(text.substr(pos, end - pos));
            if (arg.text.find('\'') != std::string::npos) {
                error = "stray quote in bare argument \"" + printable(arg.text, 60) + "\"";
                return false;
            }
        }
        args.push_back(std::move(arg));
        if (end == text.size()) return true;
        pos = end + 1;  // text[end] is the separating blank
    }
}

}  // namespace

bool parseCommand(std::string_view text, ParsedCommand& out, std::string& error, std::size_t expectedArgs) {
    out = ParsedCommand{};
    if (text.size() < 2 || text[0] < 'A' || text[0] > 'Z' || text[1] < 'A' || text[1] > 'Z') {
        error = "a command begins with a two-letter upper-case word";
        return false;
    }
    out.word.assign(text.substr(0, 2));
    if (text.size() == 2) return true;
    if (text[2] != ' ') {
        error = "the command word has more than two letters";
        return false;
    }
    std::vector<CommandArgument> args;
    std::string strictError;
    bool strictOk = parseArguments(text, 3, args, strictError);
    if (strictOk && (expectedArgs == 0 || args.size() == expectedArgs)) {
        out.args = std::move(args);
        return true;
    }
    // A free first text argument may hold "' ": try its later closing quotes.
    // Bounded, so a long text of quotes cannot make this quadratic without end.
    if (expectedArgs != 0 && text.size() > 3 && text[3] == '\'') {
        std::size_t close = closingQuote(text, 4);
        for (int tries = 0; close != std::string_view::npos && close + 1 < text.size() && tries < 64; ++tries) {
            close = closingQuote(text, close + 1);
            if (close == std::string_view::npos || close + 1 >= text.size()) break;
            std::vector<CommandArgument> rest;
            std::string ignored;
            if (parseArguments(text, close + 2, rest, ignored) && rest.size() + 1 == expectedArgs) {
                out.args.push_back({std::string(text.substr(4, close - 4)), true});
                for (auto& arg : rest) out.args.push_back(std::move(arg));
                return true;
            }
        }
    }
    if (!strictOk) {
        error = strictError;
    } else {
        error = "expected " + std::to_string(expectedArgs) + " arguments, found " + std::to_string(args.size());
    }
    return false;
}

bool parseInt32(std::string_view text, int32_t& value) {
    // At most 11 digits, leading zeros included: a longer run is a mistake
    // even when its value fits.
    constexpr std::size_t maxDigits = 11;
    const std::size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
    if (digits == 0 || digits > maxDigits) return false;
    const char* const end = text.data() + text.size();
    int32_t parsed = 0;
    // Overflow-checked; takes no blank and no "+".
    const auto result = std::from_chars(text.data(), end, parsed);
    if (result.ec != std::errc() || result.ptr != end) return false;
    value = parsed;
    return true;
}

std::string shownFileName(std::string_view path) {
    std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string printable(std::string_view text, std::size_t maxBytes) {
    std::string out;
    std::size_t shown = text.size() > maxBytes ? maxBytes : text.size();
    for (std::size_t i = 0; i < shown; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (shown < text.size()) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}

bool checkCommand(std::string_view text, bool whole, CheckedCommand& out, std::string& error) {
    out = CheckedCommand{};
    const zarn::HostCommand* shape = zarn::findHostCommand(text.substr(0, 2));
    // Only fixed-size commands can tell where a free first text ends.
    std::size_t expected = whole && shape && shape->minArguments == shape->maxArguments ? shape->minArguments : 0;
    if (!parseCommand(text, out.parsed, error, expected)) return false;
    if (!shape) {
        out.unknownWord = true;
        error = "no host command is called " + out.parsed.word;
        return false;
    }
    std::size_t count = out.parsed.args.size();
    if (count > shape->maxArguments || (whole && count < shape->minArguments)) {
        error = std::string(shape->word) + " takes " + std::to_string(shape->minArguments) +
                (shape->maxArguments != shape->minArguments ? " or " + std::to_string(shape->maxArguments)
                                                            : std::string()) +
                " arguments";
        return false;
    }
    out.numbers.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        bool wantText = shape->argument(i) == zarn::ArgumentKind::text;
        if (wantText != out.parsed.args[i].quoted ||
            (!wantText && !parseInt32(out.parsed.args[i].text, out.numbers[i]))) {
            error = "argument " + std::to_string(i + 1) + " must be " +
                    (wantText ? "a quoted text" : "a 32-bit decimal integer");
            return false;
        }
    }
    out.shape = shape;
    return true;
}

bool beginsCommand(std::string_view command, std::string_view beginning) {
    if (command.substr(0, beginning.size()) != beginning) return false;
    return command.size() == beginning.size() || command[beginning.size()] == ' ';
}

std::string commandForm(const zarn::HostCommand& shape) {
    std::string form(shape.word);
    for (std::size_t i = 0; i < shape.maxArguments; ++i) {
        std::string argument = shape.argument(i) == zarn::ArgumentKind::text ? "'TEXT'" : "N";
        form += i < shape.minArguments ? " " + argument : " [" + argument + "]";
    }
    return form;
}

std::string quotedPrintable(std::string_view text) {
    return "\"" + printable(text) + "\"";
}

}  // namespace zarn_host
