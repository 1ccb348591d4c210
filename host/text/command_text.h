// The grammar of the command texts a panel sends with type 0: a two-letter
// upper-case word, then arguments each after exactly one blank. A text
// argument is enclosed in single quotes and not escaped: it ends at the first
// quote that is followed by a blank or by the end of the text. Integers are
// bare decimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {
struct HostCommand;
}

namespace zarn_host {

struct CommandArgument {
    std::string text;
    bool quoted = false;
};

struct ParsedCommand {
    std::string word;
    std::vector<CommandArgument> args;
};

// Splits text into word and arguments. On a grammar violation returns false
// with a one-line reason in error. When expectedArgs is non-zero and the
// first argument is quoted, later closing-quote candidates for that first
// argument are tried until the text yields exactly expectedArgs arguments, so
// a free text such as a property value may itself contain "' ".
bool parseCommand(std::string_view text, ParsedCommand& out, std::string& error, std::size_t expectedArgs = 0);

// A command text held to the host's command table (<zarn/host_commands.h>):
// the grammar, a known word, the number of arguments and each one's kind.
// With whole false the text may also stop after any argument: the beginning
// of a command, as an expectation names "every RC to device 101" by
// "RC 101". On success the word's row and the integers (0 in text places);
// otherwise null, with unknownWord telling an unknown word from a malformed
// text, and a one-line reason in error.
struct CheckedCommand {
    const zarn::HostCommand* shape = nullptr;
    ParsedCommand parsed;
    std::vector<int32_t> numbers;
    bool unknownWord = false;
};
bool checkCommand(std::string_view text, bool whole, CheckedCommand& out, std::string& error);

// True when command is beginning, or begins with it and then a blank: the
// beginning ends where an argument ends ("RC 101" begins "RC 101 12 40 ',' 0",
// not "RC 1012 ...").
bool beginsCommand(std::string_view command, std::string_view beginning);

// The form of a command for a person: "RC N N N 'TEXT' N".
std::string commandForm(const zarn::HostCommand& shape);

// The host's integer parser (commands, scenarios, facility files): a decimal
// 32-bit signed integer, an optional leading minus, at most 11 digits, nothing
// else (no blanks, no "+"). False, leaving value alone, for anything else.
bool parseInt32(std::string_view text, int32_t& value);

// A path as people are shown it (the panel library on the page, the name a
// panel is loaded with): its file name only, after the last '/' or '\\' on
// every system, so a Windows path reads the same on a POSIX host.
std::string shownFileName(std::string_view path);

// Text made safe for one trace line: control bytes, quotes-free escapes such
// as \n and \xNN; cut to maxBytes with a note of the full length.
std::string printable(std::string_view text, std::size_t maxBytes = 400);

// The same in double quotes, as the trace and the scenario runner show a text.
std::string quotedPrintable(std::string_view text);

}  // namespace zarn_host
