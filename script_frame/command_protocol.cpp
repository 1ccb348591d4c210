// The host command operations of zarn_script_helper and debugPrint.
//
// Argument texts are inserted exactly as passed (no trimming, no escaping of
// quotes). Each command is assembled left to right in one pass, so an
// argument that itself holds "%1" or "%2" reaches the host unchanged, and an
// ordinary command is built on the stack without allocation.
#include <zarn/zarn_script_helper.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "command_builder.h"
#include "debug_output.h"
#include "decode_zarn_string.h"
#include "frame_internal.h"

namespace {

// Straight-line writers for a command whose length is known up front: a
// literal's size is a constant, so its copy compiles to a store or two.
template <std::size_t size>
char* put(char* out, const char (&literal)[size]) {
    std::memcpy(out, literal, size - 1);
    return out + size - 1;
}

// Control ids, panel ids and property names are a few bytes long, where a
// call of memcpy costs more than the copy: up to 32 bytes they are moved in
// two overlapping words or halves (both within the text), longer texts by
// memcpy. Always inline: a call would cost as much as the copy.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline char*
put(char* out, const char* in, std::size_t size) {
    if (size >= 8 && size <= 16) {
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, in, 8);
        std::memcpy(&tail, in + size - 8, 8);
        std::memcpy(out, &head, 8);
        std::memcpy(out + size - 8, &tail, 8);
    } else if (size > 16 && size <= 32) {
        // Two overlapping halves of 16, as above.
        std::uint64_t words[4];
        std::memcpy(&words[0], in, 16);
        std::memcpy(&words[2], in + size - 16, 16);
        std::memcpy(out, &words[0], 16);
        std::memcpy(out + size - 16, &words[2], 16);
    } else if (size >= 4 && size < 8) {
        std::uint32_t head;
        std::uint32_t tail;
        std::memcpy(&head, in, 4);
        std::memcpy(&tail, in + size - 4, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + size - 4, &tail, 4);
    } else if (size > 32) {
        std::memcpy(out, in, size);
    } else if (size != 0) {
        // 1 to 3 bytes, one by one (a loop may become a call of memcpy).
        out[0] = in[0];
        if (size > 1) {
            out[1] = in[1];
            if (size > 2) out[2] = in[2];
        }
    }
    return out + size;
}

inline char* put(char* out, const zarn_string& text) {
    return put(out, text.c_str(), text.size());
}

// The TP of writeProperty too long for its stack buffer, apart so that the
// common case keeps a small frame.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void sendLongProperty(zarn_client_callback* host, const zarn_string& property, const char* value,
                      const zarn_string& panel, const zarn_string& control) {
    zarn::CommandBuilder command;
    command << "TP '" << property << "=" << value << "' '" << panel << "' '" << control << "'";
    host->callback(command.text(), zarn_type_command);
}

// Sends "TP 'property=value' 'panel' 'control'" to host (not null); value is
// NUL-terminated after valueSize bytes. TP is sent for every revertive and
// for every control an alarm action touches: when it fits the stack buffer it
// is written in one go and handed to the host straight away.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
writeProperty(zarn_client_callback* host, const zarn_string& property, const char* value, std::size_t valueSize,
              const zarn_string& panel, const zarn_string& control) {
    char text[256];
    if (property.size() + valueSize + panel.size() + control.size() >= sizeof text - 12) {
        sendLongProperty(host, property, value, panel, control);
        return;
    }
    char* out = put(put(put(put(text, "TP '"), property), "="), value, valueSize);
    out = put(put(put(put(put(out, "' '"), panel), "' '"), control), "'");
    *out = '\0';
    host->callback(text, zarn_type_command);
}

// Hands a command reply back when the operation ends, or earlier through
// now(): a failure while the reply is being copied (out of memory) must not
// keep the host's buffer from coming back.
template <typename Release>
class ReplyHandBack {
public:
    ReplyHandBack(char* reply, Release release) : reply_(reply), release_(release) {}
    ~ReplyHandBack() {
        try {
            now();
        } catch (...) {
            // Nothing may leave a destructor; the host's own failure is its to report.
        }
    }
    ReplyHandBack(const ReplyHandBack&) = delete;
    ReplyHandBack& operator=(const ReplyHandBack&) = delete;

    void now() {
        if (done_) return;
        done_ = true;
        release_(reply_);
    }

private:
    char* reply_;
    Release release_;
    bool done_ = false;
};

}  // namespace

namespace zarn {

int32_t readLeadingInt(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    const int64_t limit =
        negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) return 0;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace zarn

void zarn_script_helper::debugPrint(const zarn_string& format, const zarn_string& a1, const zarn_string& a2,
                                    const zarn_string& a3, const zarn_string& a4, const zarn_string& a5,
                                    const zarn_string& a6, const zarn_string& a7, const zarn_string& a8,
                                    const zarn_string& a9) {
    const zarn_string text = format.args({a1, a2, a3, a4, a5, a6, a7, a8, a9});
    zarn::writeDebugOutput(text);
}

bool zarn_script_helper::lookupDevice(zarn_string instanceName, int32_t* device, int32_t* offset) {
    if (device) *device = 0;
    if (offset) *offset = 0;
    if (!host) return false;

    zarn::CommandBuilder command;
    command << "SD '" << instanceName << "'";
    char* reply = sendCommand(command.text());
    if (!reply) return false;
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    // The splitter's own copy keeps the tokens valid after the hand-back.
    const decodeZARNString tokens(reply, '\'');
    if (device) *device = zarn::readLeadingInt(tokens.tokens[0]);
    if (offset) *offset = zarn::readLeadingInt(tokens.tokens[1]);
    handBack.now();
    return true;
}

zarn_stringlist zarn_script_helper::listControls(const zarn_string& panel, const zarn_string& prefix) {
    if (!host) return zarn_stringlist();
    zarn::CommandBuilder command;
    command << "XI '" << panel << "' '" << prefix << "'";
    char* reply = sendCommand(command.text());
    if (!reply) return zarn_stringlist();
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    const zarn_string names(reply);
    handBack.now();
    return zarn_stringlist(names, ',');
}

bool zarn_script_helper::showPanel(const zarn_string& panel, const zarn_string& file, const zarn_string& parameter) {
    if (!host) return true;
    zarn::CommandBuilder command;
    command << "PS '" << panel << "' '";
    if (!scriptPath.isEmpty()) command << scriptPath << "/";
    command << file << "'";
    if (!parameter.isEmpty()) command << " '" << parameter << "'";
    // Only tested for null; the host does not expect this reply back.
    return sendCommand(command.text()) != nullptr;
}

void zarn_script_helper::makeCrosspoint(int32_t device, int32_t source, int32_t destination, const zarn_string& extra,
                                        bool flag) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "RC " << device << " " << source << " " << destination << " '," << extra << "' " << (flag ? "1" : "0");
    sendCommand(command.text());
}

void zarn_script_helper::readDatabaseEntry(int32_t device, int32_t database, int32_t index, zarn_string& entry) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "RN " << device << " " << database << " " << index;
    char* reply = sendCommand(command.text());
    // Handed back even when null: the host expects a type 5 for every RN.
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    if (reply) entry = reply;
    handBack.now();
}

void zarn_script_helper::pollRouter(int32_t device, int32_t first, int32_t last) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "RP " << device << " " << first << " " << last;
    sendCommand(command.text());
}

void zarn_script_helper::registerRouter(int32_t device, int32_t first, int32_t last, bool add) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "RR " << device << " " << first << " " << last;
    if (add) command << " 'ADD'";
    sendCommand(command.text());
}

void zarn_script_helper::unregisterRouter(int32_t device) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "RU " << device;
    sendCommand(command.text());
}

void zarn_script_helper::startTimer(int32_t id, int32_t interval) {
    if (!host) return;
    if (interval == 0) {
        stopTimer(id);
        return;
    }
    zarn::CommandBuilder command;
    command << "ET " << id << " " << interval;
    sendCommand(command.text());
}

void zarn_script_helper::stopTimer(int32_t id) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "ET " << id;
    sendCommand(command.text());
}

// Each overload has its own copy of the writing, so that a revertive's TP
// costs one call.
void zarn_script_helper::setProperty(const zarn_string& property, const zarn_string& value, const zarn_string& panel,
                                     const zarn_string& control) {
    if (host) writeProperty(host, property, value.c_str(), value.size(), panel, control);
}

void zarn_script_helper::sendProperty(const zarn_string& property, const char* value, std::size_t size,
                                      const zarn_string& panel, const zarn_string& control) {
    if (host) writeProperty(host, property, value, size, panel, control);
}

PreparedProperty::PreparedProperty(const zarn_string& property, const zarn_string& panel, const zarn_string& control)
    : local_(), headSize_(property.size() + 5), size_(headSize_ + panel.size() + control.size() + 7) {
    zarn::CommandBuilder command;
    command << "TP '" << property << "="
            << "' '" << panel << "' '" << control << "'";
    if (size_ < localCapacity) {
        std::memcpy(local_, command.text(), size_ + 1);
    } else {
        long_ = command.text();
    }
}

namespace {

// A prepared TP other than a tally's: a text outside the object or longer
// than the windows setProperty moves, or a value too long for its buffer.
// Apart, so that the common case keeps a small frame.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void sendPrepared(zarn_client_callback* host, const char* prepared, std::size_t headSize, std::size_t size,
                  const char* value, std::size_t valueSize) {
    char text[256];
    if (size + valueSize >= sizeof text) {
        zarn::CommandBuilder command;
        command << zarn_string(prepared, headSize) << value << prepared + headSize;
        host->callback(command.text(), zarn_type_command);
        return;
    }
    char* out = put(put(put(text, prepared, headSize), value, valueSize), prepared + headSize, size - headSize);
    *out = '\0';
    host->callback(text, zarn_type_command);
}

}  // namespace

void zarn_script_helper::setProperty(const PreparedProperty& target, const char* value) {
    if (!host) return;
    if (value == nullptr) value = "";
    const std::size_t valueSize = std::strlen(value);
    // Three pieces: the text around the value was written when it was prepared.
    constexpr std::size_t window = 32;
    constexpr std::size_t room = 256;
    if (target.size_ >= window || valueSize >= room - window) {
        sendPrepared(host, target.text(), target.headSize_, target.size_, value, valueSize);
        return;
    }
    // A prepared text shorter than the window (a tally's) is inside the
    // object, NUL included: the window from its start carries the head, the
    // window from the end of the head the tail and its NUL, each in two fixed
    // moves; the value goes between them before the tail.
    static_assert(window <= PreparedProperty::localCapacity, "the windows are read inside the prepared text");
    const std::size_t headSize = target.headSize_;
    char text[room + window];
    std::memcpy(text, target.local_, window);
    put(text + headSize, value, valueSize);
    std::memcpy(text + headSize + valueSize, target.local_ + headSize, window);
    host->callback(text, zarn_type_command);
}

void zarn_script_helper::setPropertyText(const zarn_string& text, const zarn_string& panel,
                                         const zarn_string& control) {
    if (!host) return;
    zarn::CommandBuilder command;
    command << "TP '" << text << "' '" << panel << "' '" << control << "'";
    sendCommand(command.text());
}

void zarn_script_helper::textGet(const zarn_string& property, const zarn_string& panel, const zarn_string& control,
                                 zarn_string& value) {
    // value may be the same object as an argument, so it is assigned last.
    if (!host) {
        value = zarn_string();
        return;
    }
    zarn::CommandBuilder command;
    command << "TG '" << panel << "' '" << control << "' '" << property << "'";
    char* reply = sendCommand(command.text());
    if (!reply) {
        value = zarn_string();
        return;
    }
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    const zarn_string answer(reply);
    handBack.now();

    if (property == "all") {
        value = answer;
        return;
    }
    zarn_string name;
    zarn_string rest;
    answer.split('=', name, rest);
    if (std::strcmp(name, property) == 0) {
        value = rest;
        return;
    }
    debugPrint(
        "textGet: value returned \"%1\" was not the value requested \"%2\" (value returned was \"%3\" from "
        "control \"%4\", on panel \"%5\")",
        name, property, answer, control, panel);
    value = zarn_string();
}
