// SW-P-08's messages: every command of the router subset, plain and
// extended, to and from a frame's DATA. The commands are one table (kCommands)
// that both directions read.
#include "bridges/codecs/swp08_messages.h"

#include <algorithm>
#include <utility>

#include "bridges/codecs/swp08_kinds.h"
#include "bridges/codecs/swp08_text.h"

namespace zarn_host::swp08 {

using detail::format;
using detail::hasDevice;
using detail::hasProtectState;
using detail::hasSource;
using detail::isCrosspoint;
using detail::isNames;
using detail::isNamesRequest;
using detail::isSalvoCrosspoint;
using detail::isShort;
using detail::kindName;
using detail::levelless;
using detail::plainOnly;

// ---- Messages --------------------------------------------------------------

namespace {

// Each command of the subset: the kind and form of message it carries. The
// plain tally dump has two commands, told apart by Message::wordDump; the
// extended one has the word form only.
struct CommandForm {
    Command command;
    Kind kind;
    Form form;
    bool wordDump;
};

constexpr CommandForm kCommands[] = {
    {Command::interrogate, Kind::interrogate, Form::plain, false},
    {Command::connect, Kind::connect, Form::plain, false},
    {Command::tally, Kind::tally, Form::plain, false},
    {Command::connected, Kind::connected, Form::plain, false},
    {Command::tally_dump_request, Kind::tally_dump_request, Form::plain, false},
    {Command::tally_dump_byte, Kind::tally_dump, Form::plain, false},
    {Command::tally_dump_word, Kind::tally_dump, Form::plain, true},
    {Command::source_names_request, Kind::source_names_request, Form::plain, false},
    {Command::destination_names_request, Kind::destination_names_request, Form::plain, false},
    {Command::source_names, Kind::source_names, Form::plain, false},
    {Command::destination_names, Kind::destination_names, Form::plain, false},
    {Command::ext_interrogate, Kind::interrogate, Form::extended, false},
    {Command::ext_connect, Kind::connect, Form::extended, false},
    {Command::ext_tally, Kind::tally, Form::extended, false},
    {Command::ext_connected, Kind::connected, Form::extended, false},
    {Command::ext_tally_dump_request, Kind::tally_dump_request, Form::extended, false},
    {Command::ext_tally_dump_word, Kind::tally_dump, Form::extended, false},
    {Command::ext_source_names_request, Kind::source_names_request, Form::extended, false},
    {Command::ext_destination_names_request, Kind::destination_names_request, Form::extended, false},
    {Command::ext_source_names, Kind::source_names, Form::extended, false},
    {Command::ext_destination_names, Kind::destination_names, Form::extended, false},
    {Command::dual_status_request, Kind::dual_status_request, Form::plain, false},
    {Command::dual_status_response, Kind::dual_status_response, Form::plain, false},
    {Command::salvo_connect, Kind::salvo_connect, Form::plain, false},
    {Command::salvo_connect_ack, Kind::salvo_connect_ack, Form::plain, false},
    {Command::salvo_go, Kind::salvo_go, Form::plain, false},
    {Command::salvo_go_done, Kind::salvo_go_done, Form::plain, false},
    {Command::salvo_interrogate, Kind::salvo_interrogate, Form::plain, false},
    {Command::salvo_tally, Kind::salvo_tally, Form::plain, false},
    {Command::protect_interrogate, Kind::protect_interrogate, Form::plain, false},
    {Command::protect_tally, Kind::protect_tally, Form::plain, false},
    {Command::protect_connect, Kind::protect_connect, Form::plain, false},
    {Command::protect_connected, Kind::protect_connected, Form::plain, false},
    {Command::protect_disconnect, Kind::protect_disconnect, Form::plain, false},
    {Command::protect_disconnected, Kind::protect_disconnected, Form::plain, false},
    {Command::master_protect_connect, Kind::master_protect_connect, Form::plain, false},
    {Command::protect_dump_request, Kind::protect_dump_request, Form::plain, false},
    {Command::protect_dump, Kind::protect_dump, Form::plain, false},
    {Command::ext_protect_interrogate, Kind::protect_interrogate, Form::extended, false},
    {Command::ext_protect_tally, Kind::protect_tally, Form::extended, false},
    {Command::ext_protect_connect, Kind::protect_connect, Form::extended, false},
    {Command::ext_protect_connected, Kind::protect_connected, Form::extended, false},
    {Command::ext_protect_disconnect, Kind::protect_disconnect, Form::extended, false},
    {Command::ext_protect_disconnected, Kind::protect_disconnected, Form::extended, false},
};

const CommandForm* commandForm(uint8_t command) {
    for (const CommandForm& c : kCommands) {
        if (static_cast<uint8_t>(c.command) == command) return &c;
    }
    return nullptr;
}

}  // namespace

Command commandOf(const Message& m) {
    for (const CommandForm& c : kCommands) {
        if (c.kind != m.kind || c.form != m.form) continue;
        // Only the plain tally dump has a choice of two.
        if (m.kind == Kind::tally_dump && m.form == Form::plain && c.wordDump != m.wordDump) continue;
        return c.command;
    }
    return Command::interrogate;
}

namespace {

uint8_t matrixLevel(const Message& m) {
    return static_cast<uint8_t>((m.matrix << 4) | m.level);
}
void putWord(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}
uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

Encoded bad(std::string detail) {
    Encoded e;
    e.error = Error::bad_value;
    e.detail = std::move(detail);
    return e;
}

}  // namespace

bool hasLevel(const Message& m) {
    return !levelless(m);
}

bool fitsPlain(const Message& m) {
    if (isShort(m.kind)) return true;
    if (m.matrix > 15 || m.level > 15) return false;
    if (isCrosspoint(m.kind))
        return m.destination < 1024 && (!hasSource(m.kind) || m.source < 1024) &&
               (!hasDevice(m.kind) || m.device < 1024);
    if (m.kind == Kind::protect_dump)
        return std::all_of(m.protects.begin(), m.protects.end(), [](const Protect& p) { return p.device < 1024; });
    if (m.kind == Kind::tally_dump && !m.wordDump) {
        if (m.first > 255) return false;
        return std::all_of(m.sources.begin(), m.sources.end(), [](uint16_t s) { return s < 256; });
    }
    return true;
}

Encoded encode(const Message& m) {
    const bool ext = m.form == Form::extended;
    if (!ext && !fitsPlain(m)) return bad(describe(m) + ": numbers out of range for the plain form");
    if (levelless(m) && m.level != 0) return bad(describe(m) + ": the extended form carries no level");
    if (static_cast<uint8_t>(m.nameLength) > 3) return bad("name length code out of range");
    if (m.salvo > 127) return bad(describe(m) + ": salvo groups are 0-127");
    if (ext && (isShort(m.kind) || isSalvoCrosspoint(m.kind) || plainOnly(m.kind)))
        return bad(describe(m) + ": no extended form");
    if (hasProtectState(m.kind) && m.code > 3) return bad(describe(m) + ": protect states are 0-3");
    Encoded e;
    Bytes& d = e.data;
    d.push_back(static_cast<uint8_t>(commandOf(m)));
    if (isShort(m.kind)) {
        if (m.kind == Kind::dual_status_response) d.insert(d.end(), {m.code, static_cast<uint8_t>(m.idleFaulty)});
        if (m.kind == Kind::salvo_go || m.kind == Kind::salvo_go_done) d.insert(d.end(), {m.code, m.salvo});
        if (m.kind == Kind::salvo_interrogate) d.insert(d.end(), {m.salvo, m.index});
        return e;
    }
    if (ext) {
        d.push_back(m.matrix);
        if (!levelless(m)) d.push_back(m.level);
    } else {
        d.push_back(matrixLevel(m));
    }
    if (isCrosspoint(m.kind)) {
        // A protect's device goes where a crosspoint's source does.
        const bool second = hasSource(m.kind) || hasDevice(m.kind);
        const uint16_t number = hasSource(m.kind) ? m.source : m.device;
        if (hasProtectState(m.kind)) d.push_back(m.code);
        if (ext) {
            putWord(d, m.destination);
            if (second) putWord(d, number);
        } else {
            const unsigned numberHigh = second ? number / 128u : 0u;
            const bool badBit = hasSource(m.kind) && m.badSource;
            d.push_back(static_cast<uint8_t>(((m.destination / 128u) << 4) | (badBit ? 0x08 : 0) | numberHigh));
            d.push_back(static_cast<uint8_t>(m.destination % 128u));
            if (second) d.push_back(static_cast<uint8_t>(number % 128u));
        }
        if (isSalvoCrosspoint(m.kind)) d.push_back(m.salvo);
        if (m.kind == Kind::salvo_tally) d.insert(d.end(), {m.index, m.code});
    } else if (m.kind == Kind::tally_dump) {
        const bool words = ext || m.wordDump;
        if (m.sources.size() > 255) return bad("tally dump of more than 255 tallies");
        d.push_back(static_cast<uint8_t>(m.sources.size()));
        if (words) {
            putWord(d, m.first);
            for (uint16_t s : m.sources) putWord(d, s);
        } else {
            d.push_back(static_cast<uint8_t>(m.first));
            for (uint16_t s : m.sources) d.push_back(static_cast<uint8_t>(s));
        }
    } else if (m.kind == Kind::protect_dump_request) {
        putWord(d, m.first);
    } else if (m.kind == Kind::protect_dump) {
        if (m.protects.size() > kProtectsPerMessage) return bad("protect dump of more than 16 destinations");
        putWord(d, m.first);
        d.push_back(static_cast<uint8_t>(m.protects.size()));
        for (const Protect& p : m.protects) {
            if (p.state > 3) return bad("protect dump: protect states are 0-3");
            d.push_back(static_cast<uint8_t>((p.state << 4) | (p.device / 128u)));
            d.push_back(static_cast<uint8_t>(p.device % 128u));
        }
    } else if (isNamesRequest(m.kind)) {
        d.push_back(static_cast<uint8_t>(m.nameLength));
    } else if (isNames(m.kind)) {
        const std::size_t chars = nameChars(m.nameLength);
        if (m.names.size() > 255) return bad("names message of more than 255 names");
        d.push_back(static_cast<uint8_t>(m.nameLength));
        putWord(d, m.first);
        d.push_back(static_cast<uint8_t>(m.names.size()));
        for (const std::string& name : m.names) {
            const std::size_t n = std::min(name.size(), chars);
            d.insert(d.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
            d.insert(d.end(), chars - n, ' ');
        }
    }
    if (d.size() > kMessageLimit)
        return bad(describe(m) + format(": %u bytes, longer than a message may be", static_cast<unsigned>(d.size())));
    return e;
}

Bytes encodeFrame(const Message& message) {
    const Encoded e = encode(message);
    return e.ok() ? frame(e.data) : Bytes{};
}

namespace {

Decoded failed(Error error, std::string detail) {
    Decoded d;
    d.error = error;
    d.detail = std::move(detail);
    return d;
}

}  // namespace

Decoded decodeMessage(const uint8_t* data, std::size_t size) {
    if (size == 0) return failed(Error::bad_length, "empty message");
    const CommandForm* command = commandForm(data[0]);
    if (!command) return failed(Error::unknown_command, format("command %u not supported", data[0]));
    Decoded out;
    Message& m = out.message;
    m.kind = command->kind;
    m.form = command->form;
    m.wordDump = command->wordDump;
    const bool ext = m.form == Form::extended;
    const std::string name = (ext ? "ext " : "") + std::string(kindName(m.kind));
    const uint8_t* p = data + 1;
    const std::size_t n = size - 1;
    auto lengthError = [&](std::size_t expected) {
        return failed(Error::bad_length, name + format(": %u bytes after the command, expected %u",
                                                       static_cast<unsigned>(n), static_cast<unsigned>(expected)));
    };
    if (isShort(m.kind)) {
        const std::size_t expected = m.kind == Kind::dual_status_request ? 0 : 2;
        if (n != expected) return lengthError(expected);
        if (m.kind == Kind::dual_status_response) m.code = p[0], m.idleFaulty = p[1] != 0;
        if (m.kind == Kind::salvo_go || m.kind == Kind::salvo_go_done) m.code = p[0], m.salvo = p[1];
        if (m.kind == Kind::salvo_interrogate) m.salvo = p[0], m.index = p[1];
        if (m.salvo > 127) return failed(Error::bad_value, name + format(": salvo group %u", m.salvo));
        return out;
    }
    // The address: matrix and level.
    std::size_t at = 0;
    const std::size_t addressSize = ext ? (levelless(m) ? 1 : 2) : 1;
    if (n < addressSize) return lengthError(addressSize);
    if (ext) {
        m.matrix = p[0];
        m.level = levelless(m) ? 0 : p[1];
    } else {
        m.matrix = p[0] >> 4;
        m.level = p[0] & 0x0F;
    }
    at = addressSize;

    if (isCrosspoint(m.kind)) {
        const bool second = hasSource(m.kind) || hasDevice(m.kind);
        const std::size_t tail = m.kind == Kind::salvo_tally ? 3 : isSalvoCrosspoint(m.kind) ? 1 : 0;
        const std::size_t state = hasProtectState(m.kind) ? 1 : 0;
        const std::size_t expected = addressSize + state + (ext ? (second ? 4 : 2) : (second ? 3 : 2)) + tail;
        if (n != expected) return lengthError(expected);
        if (state) {
            m.code = p[at];
            at += 1;
            if (m.code > 3) return failed(Error::bad_value, name + format(": protect state %u", m.code));
        }
        if (tail) {
            const uint8_t* t = p + n - tail;
            m.salvo = t[0];
            if (m.kind == Kind::salvo_tally) m.index = t[1], m.code = t[2];
            if (m.salvo > 127) return failed(Error::bad_value, name + format(": salvo group %u", m.salvo));
        }
        uint16_t number = 0;
        if (ext) {
            m.destination = word(p + at);
            if (second) number = word(p + at + 2);
        } else {
            const uint8_t multiplier = p[at];
            const uint8_t destinationLow = p[at + 1];
            const uint8_t numberLow = second ? p[at + 2] : 0;
            if ((multiplier & 0x80) || (destinationLow & 0x80) || (numberLow & 0x80))
                return failed(Error::bad_value, name + format(": top bit set in %02X %02X %02X hex", multiplier,
                                                              destinationLow, numberLow));
            m.destination = static_cast<uint16_t>(((multiplier >> 4) & 0x07) * 128 + destinationLow);
            if (second) number = static_cast<uint16_t>((multiplier & 0x07) * 128 + numberLow);
            if (hasSource(m.kind)) m.badSource = (multiplier & 0x08) != 0;
        }
        if (hasSource(m.kind)) m.source = number;
        if (hasDevice(m.kind)) m.device = number;
        return out;
    }
    if (m.kind == Kind::protect_dump_request) {
        if (n != addressSize + 2) return lengthError(addressSize + 2);
        m.first = word(p + at);
        return out;
    }
    if (m.kind == Kind::protect_dump) {
        const std::size_t header = addressSize + 3;
        if (n < header) return lengthError(header);
        m.first = word(p + at);
        const std::size_t count = p[at + 2];
        at += 3;
        if (count > kProtectsPerMessage || n != header + 2 * count)
            return failed(Error::bad_length, name + format(": %u protects in %u bytes after the command",
                                                           static_cast<unsigned>(count), static_cast<unsigned>(n)));
        for (std::size_t i = 0; i < count; ++i) {
            const uint8_t high = p[at + 2 * i], low = p[at + 2 * i + 1];
            if ((high & 0xC8) || (low & 0x80))
                return failed(Error::bad_value, name + format(": protect %02X %02X hex", high, low));
            m.protects.push_back({static_cast<uint8_t>(high >> 4), static_cast<uint16_t>((high & 0x07) * 128 + low)});
        }
        return out;
    }
    if (m.kind == Kind::tally_dump_request) {
        if (n != addressSize) return lengthError(addressSize);
        return out;
    }
    if (m.kind == Kind::tally_dump) {
        const bool words = ext || m.wordDump;
        const std::size_t header = addressSize + 1 + (words ? 2 : 1);
        if (n < header) return lengthError(header);
        const std::size_t count = p[at];
        const std::size_t expected = header + count * (words ? 2 : 1);
        if (n != expected)
            return failed(Error::bad_length, name + format(": %u tallies need %u bytes after the command, got %u",
                                                           static_cast<unsigned>(count),
                                                           static_cast<unsigned>(expected), static_cast<unsigned>(n)));
        at += 1;
        if (words) {
            m.first = word(p + at);
            at += 2;
            for (std::size_t i = 0; i < count; ++i) m.sources.push_back(word(p + at + 2 * i));
        } else {
            m.first = p[at];
            at += 1;
            for (std::size_t i = 0; i < count; ++i) m.sources.push_back(p[at + i]);
        }
        return out;
    }
    // Names and their requests: the name length code first.
    if (n < at + 1) return lengthError(at + 1);
    const uint8_t code = p[at];
    if (code > 3) return failed(Error::bad_value, name + format(": name length code %u", code));
    m.nameLength = static_cast<NameLength>(code);
    at += 1;
    if (isNamesRequest(m.kind)) {
        if (n != at) return lengthError(at);
        return out;
    }
    if (n < at + 3) return lengthError(at + 3);
    m.first = word(p + at);
    const std::size_t count = p[at + 2];
    at += 3;
    const std::size_t chars = nameChars(m.nameLength);
    if (n != at + count * chars)
        return failed(Error::bad_length, name + format(": %u names of %u chars need %u bytes after the command",
                                                       static_cast<unsigned>(count), static_cast<unsigned>(chars),
                                                       static_cast<unsigned>(at + count * chars)));
    for (std::size_t i = 0; i < count; ++i) {
        const char* begin = reinterpret_cast<const char*>(p + at + i * chars);
        std::size_t length = chars;
        while (length > 0 && (begin[length - 1] == ' ' || begin[length - 1] == '\0')) --length;
        m.names.emplace_back(begin, length);
    }
    return out;
}

}  // namespace zarn_host::swp08
