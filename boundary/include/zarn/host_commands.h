/// @file
/// The host commands a panel sends with type 0 (zarn_type_command).
///
/// A command text is a two-letter upper-case word, then its arguments, each
/// after exactly one blank: a quoted text ('...', not escaped) or a bare
/// decimal 32-bit integer. This table is the one description of every command:
/// its word, the kind of each argument, how many arguments it takes and what
/// becomes of its reply. Hosts, checkers and tests read it; it depends on
/// nothing but the C++ standard headers.
#pragma once

#include <cstddef>
#include <string_view>

namespace zarn {

/// The kind of one command argument.
enum class ArgumentKind : char {
    text = 't',     ///< a quoted text: 'like this'
    integer = 'i',  ///< a bare decimal 32-bit signed integer
};

/// What becomes of the reply a host gives to a command.
enum class ReplyRule {
    /// The script reads the reply and hands the same pointer back with type 5
    /// (zarn_type_release) before its call returns; the host frees it then.
    handedBack,
    /// The script only tests the reply for null; the host frees it.
    testedForNull,
    /// The script ignores the reply; the host frees it.
    ignored,
};

/// One host command.
struct HostCommand {
    std::string_view word;     ///< the two letters that begin the text
    std::size_t minArguments;  ///< fewest arguments
    std::size_t maxArguments;  ///< most arguments
    /// Per argument position, 't' (ArgumentKind::text) or 'i'
    /// (ArgumentKind::integer); maxArguments characters.
    std::string_view kinds;
    ReplyRule reply;  ///< what becomes of the reply

    /// The kind of the argument at position (from 0, below maxArguments).
    constexpr ArgumentKind argument(std::size_t position) const { return static_cast<ArgumentKind>(kinds[position]); }
    /// True when the script hands the reply back with type 5.
    constexpr bool replyHandedBack() const { return reply == ReplyRule::handedBack; }
};

/// Every host command. The zarn_script_helper operations that send each are
/// named in its comment.
inline constexpr HostCommand hostCommands[] = {
    /// lookupDevice: SD 'instance'; reply "<device> <offset>".
    {"SD", 1, 1, "t", ReplyRule::handedBack},
    /// listControls: XI 'panel' 'prefix'; reply the ids, comma-separated.
    {"XI", 2, 2, "tt", ReplyRule::handedBack},
    /// showPanel: PS 'panel' 'file' ['parameter'].
    {"PS", 2, 3, "ttt", ReplyRule::testedForNull},
    /// makeCrosspoint: RC device source destination ',extra' flag.
    {"RC", 5, 5, "iiiti", ReplyRule::ignored},
    /// readDatabaseEntry: RN device database index; reply the entry (a null
    /// reply is handed back too).
    {"RN", 3, 3, "iii", ReplyRule::handedBack},
    /// pollRouter: RP device first last.
    {"RP", 3, 3, "iii", ReplyRule::ignored},
    /// registerRouter: RR device first last ['ADD'].
    {"RR", 3, 4, "iiit", ReplyRule::ignored},
    /// unregisterRouter: RU device.
    {"RU", 1, 1, "i", ReplyRule::ignored},
    /// startTimer: ET id interval; stopTimer: ET id.
    {"ET", 1, 2, "ii", ReplyRule::ignored},
    /// setProperty: TP 'name=value' 'panel' 'control'; setPropertyText: TP 'text' 'panel' 'control'.
    {"TP", 3, 3, "ttt", ReplyRule::ignored},
    /// textGet: TG 'panel' 'control' 'property'; reply "property=value".
    {"TG", 3, 3, "ttt", ReplyRule::handedBack},
    /// The destructor: AS, the panel's last command, once.
    {"AS", 0, 0, "", ReplyRule::ignored},
};

/// The command with this word, or null when there is none.
constexpr const HostCommand* findHostCommand(std::string_view word) {
    for (const HostCommand& command : hostCommands) {
        if (command.word == word) return &command;
    }
    return nullptr;
}

/// True when the reply to the command with this word is handed back with
/// type 5; false for every other word, known or not.
constexpr bool replyHandedBack(std::string_view word) {
    const HostCommand* command = findHostCommand(word);
    return command != nullptr && command->replyHandedBack();
}

namespace detail {
/// Every row well formed: a two-letter word, as many kinds as arguments, each 't' or 'i'.
constexpr bool wellFormed() {
    for (const HostCommand& command : hostCommands) {
        if (command.word.size() != 2 || command.minArguments > command.maxArguments ||
            command.kinds.size() != command.maxArguments) {
            return false;
        }
        for (char kind : command.kinds) {
            if (kind != 't' && kind != 'i') return false;
        }
    }
    return true;
}
}  // namespace detail
static_assert(detail::wellFormed(), "a row of hostCommands is malformed");

}  // namespace zarn
