// The script frame's command operations and dispatcher behind a host whose
// replies come from the fuzzer input. Every command text is checked against
// its expected form, every result against the reply it came from, and the
// host checks the hand-back of every reply (FuzzHost).
#include <zarn/button_record.h>
#include <zarn/revertive_record.h>
#include <zarn/zarn_script_helper.h>
#include <zarn/zarn_stringlist.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "debug_output.h"
#include "decode_zarn_string.h"
#include "fuzz_check.h"
#include "fuzz_host.h"
#include "fuzz_input.h"

namespace {

std::vector<std::string> diagnostics;
void captureDiagnostic(const char* text) {
    if (diagnostics.size() < 16) diagnostics.emplace_back(text);
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// atoi with a defined result: out of int32 reads as 0.
int32_t leadingInt(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > (negative ? 2147483648LL : 2147483647LL)) return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

class FuzzPanel : public zarn_script_helper {
public:
    FuzzPanel(zarn_client_callback* host, const char* path, FuzzInput& in) : zarn_script_helper(host, path), in_(in) {}
    void enableAlarms(bool on) { alarmHandlingEnabled = on; }
    const std::string& lastParentReply() const { return reply_; }

    void onButton(ButtonEventHandle event) override {
        (void)event.panelId().length();
        (void)event.controlId().length();
        (void)event.command().length();
        (void)event.value().length();
    }
    int32_t onRevertive(RevertiveEventHandle event) override {
        const zarn_string text = event.text();
        FUZZ_CHECK(event.record() ? static_cast<std::size_t>(text.length()) == std::strlen(event.record()->text())
                                  : text.isEmpty());
        return event.device() ^ event.index();
    }
    zarn_string onParentMessage(ParamCommandHandle message) override {
        switch (in_.pick(4)) {
            case 0:
                reply_.clear();
                break;
            case 1:
                reply_.assign(100000, 'r');
                break;
            default:
                reply_ = std::string(message.command()) + "=" + std::string(message.value());
                break;
        }
        return zarn_string(reply_.c_str());
    }
    void onTimer(int32_t) override {}

private:
    FuzzInput& in_;
    std::string reply_;
};

std::string text(FuzzInput& in) {
    return cText(in.text(64));
}

// One command operation with fuzzer-chosen arguments; checks the text sent and
// the result. Without a host nothing may be sent.
void runCommand(FuzzPanel& panel, FuzzHost* host, const std::string& scriptPath, FuzzInput& in) {
    const std::size_t before = host ? host->commands.size() : 0;
    std::string expected;
    const int32_t a = in.number(), b = in.number(), c = in.number();
    const auto n = [](int32_t value) { return std::to_string(value); };
    switch (in.pick(14)) {
        case 0: {
            const std::string name = text(in);
            const bool withOut = in.flag();
            int32_t device = -7, offset = -7;
            const bool found =
                panel.lookupDevice(name.c_str(), withOut ? &device : nullptr, withOut ? &offset : nullptr);
            expected = "SD " + quoted(name);
            if (!host || host->lastReplyNull) {
                FUZZ_CHECK(!found && (!withOut || (device == 0 && offset == 0)));
            } else {
                const decodeZARNString tokens(host->lastReply.c_str(), '\'');
                FUZZ_CHECK(found);
                FUZZ_CHECK(!withOut ||
                           (device == leadingInt(tokens.tokens[0]) && offset == leadingInt(tokens.tokens[1])));
            }
            break;
        }
        case 1: {
            const std::string p = text(in), prefix = text(in);
            const zarn_stringlist list = panel.listControls(p.c_str(), prefix.c_str());
            expected = "XI " + quoted(p) + " " + quoted(prefix);
            const int count = !host || host->lastReplyNull ? 0 : zarn_stringlist(host->lastReply.c_str(), ',').count();
            FUZZ_CHECK(list.count() == count);
            break;
        }
        case 2: {
            const std::string p = text(in), file = text(in), parameter = text(in);
            const bool shown = panel.showPanel(p.c_str(), file.c_str(), parameter.c_str());
            const std::string path = scriptPath.empty() ? file : scriptPath + "/" + file;
            expected = "PS " + quoted(p) + " " + quoted(path) + (parameter.empty() ? "" : " " + quoted(parameter));
            FUZZ_CHECK(shown == (!host || !host->lastReplyNull));
            break;
        }
        case 3: {
            const std::string extra = text(in);
            const bool flag = in.flag();
            panel.makeCrosspoint(a, b, c, extra.c_str(), flag);
            expected = "RC " + n(a) + " " + n(b) + " " + n(c) + " '," + extra + "' " + (flag ? "1" : "0");
            break;
        }
        case 4: {
            zarn_string entry("stale");
            panel.readDatabaseEntry(a, b, c, entry);
            expected = "RN " + n(a) + " " + n(b) + " " + n(c);
            FUZZ_CHECK(entry == (!host || host->lastReplyNull ? "stale" : host->lastReply.c_str()));
            break;
        }
        case 5:
            panel.pollRouter(a, b, c);
            expected = "RP " + n(a) + " " + n(b) + " " + n(c);
            break;
        case 6: {
            const bool add = in.flag();
            panel.registerRouter(a, b, c, add);
            expected = "RR " + n(a) + " " + n(b) + " " + n(c) + (add ? " 'ADD'" : "");
            break;
        }
        case 7:
            panel.unregisterRouter(a);
            expected = "RU " + n(a);
            break;
        case 8:
            panel.startTimer(a, b);
            expected = "ET " + n(a) + (b == 0 ? "" : " " + n(b));
            break;
        case 9:
            panel.stopTimer(a);
            expected = "ET " + n(a);
            break;
        case 10: {
            const std::string property = text(in), value = text(in), p = text(in), control = text(in);
            panel.setProperty(property.c_str(), value.c_str(), p.c_str(), control.c_str());
            expected = "TP " + quoted(property + "=" + value) + " " + quoted(p) + " " + quoted(control);
            break;
        }
        case 11: {
            const std::string setting = text(in), p = text(in), control = text(in);
            panel.setPropertyText(setting.c_str(), p.c_str(), control.c_str());
            expected = "TP " + quoted(setting) + " " + quoted(p) + " " + quoted(control);
            break;
        }
        case 12: {
            const std::string property = in.flag() ? "all" : text(in), p = text(in), control = text(in);
            zarn_string value("stale");
            panel.textGet(property.c_str(), p.c_str(), control.c_str(), value);
            expected = "TG " + quoted(p) + " " + quoted(control) + " " + quoted(property);
            std::string wanted;
            if (host && !host->lastReplyNull) {
                const std::string& reply = host->lastReply;
                const std::size_t equals = reply.find('=');
                if (property == "all") {
                    wanted = reply;
                } else if (reply.substr(0, equals) == property) {
                    wanted = equals == std::string::npos ? "" : reply.substr(equals + 1);
                }
            }
            FUZZ_CHECK(value == wanted.c_str());
            break;
        }
        default: {
            const std::string format = text(in), a1 = text(in), a2 = text(in);
            diagnostics.clear();
            panel.debugPrint(format.c_str(), a1.c_str(), a2.c_str());
            // The arguments not given are empty texts, not left as placeholders.
            const zarn_string wanted =
                zarn_string(format.c_str()).args({a1.c_str(), a2.c_str(), "", "", "", "", "", "", ""});
            FUZZ_CHECK(diagnostics.size() == 1 && diagnostics[0] == wanted.c_str());
            return;  // no command
        }
    }
    if (!host) return;
    FUZZ_CHECK(host->commands.size() == before + 1);
    FUZZ_CHECK(host->commands.back() == expected);
    host->afterCall();
}

// One notification of any type, with a record or value chosen by the input.
void runNotification(FuzzPanel& panel, FuzzHost* host, FuzzInput& in) {
    switch (in.pick(6)) {
        case 0: {
            const std::string message = cText(in.text(512));
            char* reply =
                panel.callback(in.flag() ? nullptr : const_cast<char*>(message.c_str()), zarn_type_parent_message);
            const std::string& wanted = panel.lastParentReply();
            FUZZ_CHECK((reply == nullptr) == wanted.empty());
            if (!reply) break;
            FUZZ_CHECK(std::strcmp(reply, wanted.c_str()) == 0);
            // Hand it back once, twice, never (the panel frees it), or a
            // pointer into it, which must be refused.
            switch (in.pick(4)) {
                case 0:
                    panel.callback(reply, zarn_type_release);
                    break;
                case 1:
                    panel.callback(reply, zarn_type_release);
                    panel.callback(reply, zarn_type_release);
                    break;
                case 2:
                    if (reply[0] != '\0') panel.callback(reply + 1, zarn_type_release);
                    panel.callback(reply, zarn_type_release);
                    break;
                default:
                    break;
            }
            break;
        }
        case 1: {
            // Foreign hand-backs: a heap buffer, a stack address, null.
            std::unique_ptr<char[]> foreign(new char[8]());
            char local[8] = {};
            panel.callback(foreign.get(), zarn_type_release);
            panel.callback(local, zarn_type_release);
            panel.callback(nullptr, zarn_type_release);
            break;
        }
        case 2: {
            // A revertive record sized to its text, which may hold NUL bytes.
            const int32_t device = in.number();
            const int32_t index = in.number();
            zarn_revertive_record record(device, index, in.text(4096));
            FUZZ_CHECK(panel.callback(in.flag() ? nullptr : record.event(), zarn_type_revertive) == nullptr);
            break;
        }
        case 3: {
            const std::string panelId = text(in), control = in.flag() ? "ActionAll" : "AckAll",
                              command = in.flag() ? "alarm" : text(in), value = text(in);
            zarn_button_record record(panelId, control, command, value);
            ButtonEvent& event = *record.event();
            ButtonEventDetails& details = *record.details();
            for (const char*& field : details.subFields) field = nullptr;
            if (in.flag()) details.command = nullptr;
            if (in.flag()) details.value = nullptr;
            if (in.flag()) event.panelId = nullptr;
            if (in.flag()) event.controlId = nullptr;
            if (in.flag()) event.details = nullptr;
            panel.enableAlarms(in.flag());
            FUZZ_CHECK(panel.callback(in.flag() ? nullptr : &event, zarn_type_button) == nullptr);
            break;
        }
        case 4: {
            static const int32_t types[] = {zarn_type_timer, zarn_type_record, zarn_type_value, 0, 8, -1, INT32_MIN};
            const int32_t type = types[in.pick(sizeof types / sizeof types[0])];
            FUZZ_CHECK(panel.callback(reinterpret_cast<void*>(static_cast<intptr_t>(in.int32())), type) == nullptr);
            break;
        }
        default:
            break;
    }
    if (host) host->afterCall();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zarn::setDebugSink(captureDiagnostic);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t setup = in.byte();
    const std::string scriptPath = cText(in.text(32));
    std::unique_ptr<FuzzHost> host(setup & 1 ? nullptr : new FuzzHost(in));
    std::unique_ptr<FuzzPanel> panel(new FuzzPanel(host.get(), scriptPath.c_str(), in));
    for (int step = 0; step < 64 && !in.empty(); ++step) {
        if (in.flag()) {
            runCommand(*panel, host.get(), scriptPath, in);
        } else {
            runNotification(*panel, host.get(), in);
        }
    }
    panel.reset();
    // "AS" is the script's last command.
    if (host) FUZZ_CHECK(!host->commands.empty() && host->commands.back() == "AS");
    diagnostics.clear();
    return 0;
}
