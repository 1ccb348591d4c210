// The host command operations of zarn_script_helper and debugPrint.
//
// Argument texts are inserted exactly as passed (no trimming, no escaping of
// quotes). Templates are filled in one pass, so an argument that itself holds
// "%1" or "%2" reaches the host unchanged.
#include <cstdio>
#include <cstring>
#include <limits>

#include "script_frame/debug_output.h"
#include "script_frame/decode_zarn_string.h"
#include "script_frame/frame_internal.h"
#include "script_frame/zarn_script_helper.h"

namespace {

zarn_string decimal(int32_t value) {
    return zarn_string(value, 0, 0, 10);
}

// An integer-only command (RP, RR, RU, ET) formatted on the stack, without
// allocation. 64 bytes hold the longest of them with any 32-bit values ("RR",
// three 11-character numbers and " 'ADD'" take 44), so no text is cut.
class ShortCommand {
public:
    template <typename... Values>
    explicit ShortCommand(const char* format, Values... values) {
        std::snprintf(text_, sizeof text_, format, static_cast<int>(values)...);
    }
    operator const char*() const { return text_; }

private:
    char text_[64];
};

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

    char* reply = sendCommand(zarn_string("SD '%1'").args({instanceName}));
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
    char* reply = sendCommand(zarn_string("XI '%1' '%2'").args({panel, prefix}));
    if (!reply) return zarn_stringlist();
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    const zarn_string names(reply);
    handBack.now();
    return zarn_stringlist(names, ',');
}

bool zarn_script_helper::showPanel(const zarn_string& panel, const zarn_string& file, const zarn_string& parameter) {
    if (!host) return true;
    zarn_string text("PS '");
    text += panel;
    text += "' '";
    if (!scriptPath.isEmpty()) {
        text += scriptPath;
        text += "/";
    }
    text += file;
    text += "'";
    if (!parameter.isEmpty()) {
        text += " '";
        text += parameter;
        text += "'";
    }
    // Only tested for null; the host does not expect this reply back.
    return sendCommand(text) != nullptr;
}

void zarn_script_helper::makeCrosspoint(int32_t device, int32_t source, int32_t destination, const zarn_string& extra,
                                        bool flag) {
    if (!host) return;
    sendCommand(zarn_string("RC %1 %2 %3 ',%4' %5")
                    .args({decimal(device), decimal(source), decimal(destination), extra, flag ? "1" : "0"}));
}

void zarn_script_helper::readDatabaseEntry(int32_t device, int32_t database, int32_t index, zarn_string& entry) {
    if (!host) return;
    char* reply = sendCommand(zarn_string("RN %1 %2 %3").args({decimal(device), decimal(database), decimal(index)}));
    // Handed back even when null: the host expects a type 5 for every RN.
    ReplyHandBack handBack(reply, [this](char* r) { releaseReply(r); });
    if (reply) entry = reply;
    handBack.now();
}

void zarn_script_helper::pollRouter(int32_t device, int32_t first, int32_t last) {
    if (!host) return;
    sendCommand(ShortCommand("RP %d %d %d", device, first, last));
}

void zarn_script_helper::registerRouter(int32_t device, int32_t first, int32_t last, bool add) {
    if (!host) return;
    sendCommand(ShortCommand(add ? "RR %d %d %d 'ADD'" : "RR %d %d %d", device, first, last));
}

void zarn_script_helper::unregisterRouter(int32_t device) {
    if (!host) return;
    sendCommand(ShortCommand("RU %d", device));
}

void zarn_script_helper::startTimer(int32_t id, int32_t interval) {
    if (!host) return;
    if (interval == 0) {
        stopTimer(id);
        return;
    }
    sendCommand(ShortCommand("ET %d %d", id, interval));
}

void zarn_script_helper::stopTimer(int32_t id) {
    if (!host) return;
    sendCommand(ShortCommand("ET %d", id));
}

void zarn_script_helper::setProperty(const zarn_string& property, const zarn_string& value, const zarn_string& panel,
                                     const zarn_string& control) {
    if (!host) return;
    zarn_string text(property);
    text += "=";
    text += value;
    setPropertyText(text, panel, control);
}

void zarn_script_helper::setPropertyText(const zarn_string& text, const zarn_string& panel,
                                         const zarn_string& control) {
    if (!host) return;
    zarn_string command("TP '");
    command += text;
    command += "' '";
    command += panel;
    command += "' '";
    command += control;
    command += "'";
    sendCommand(command);
}

void zarn_script_helper::textGet(const zarn_string& property, const zarn_string& panel, const zarn_string& control,
                                 zarn_string& value) {
    // value may be the same object as an argument, so it is assigned last.
    if (!host) {
        value = zarn_string();
        return;
    }
    zarn_string command("TG '");
    command += panel;
    command += "' '";
    command += control;
    command += "' '";
    command += property;
    command += "'";
    char* reply = sendCommand(command);
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
