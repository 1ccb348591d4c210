// Whole panels as a host sees them: the K7 panel and the alarm example panel,
// loaded from their shared libraries, started behind a host that answers every
// command with fuzzer-chosen replies, then fed fuzzer-chosen notifications of
// every type, some from inside a command as a re-entrant host would send them:
// null and malformed records, revertive texts without a NUL, parent messages
// of any text, hand-backs of foreign pointers, timers and values of any
// number, and types outside the table.

#include <zarn/button_record.h>
#include <zarn/revertive_record.h>
#include <zarn/zarn_client.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_host.h"
#include "fuzz_input.h"
#include "support/panel_entry_point.h"

namespace {

std::vector<load_zarn_client_script_fn> entryPoints;

// Kept loaded for the whole run: each input starts a new panel object.
load_zarn_client_script_fn open(const char* path) {
    return panelEntryPoint(path);
}

const char* const controls[] = {"Sources",  "Mon_1",     "Mon_2",  "Mon_3",  "Mon_4",           "Mon_5",
                                "Mon_0",    "Mon_6",     "Mon_",   "Mon_-3", "Mon_99999999999", "VidLevel",
                                "AudLevel", "ActionAll", "AckAll", "ID_1",   "Vidtally_1"};
const char* const parentMessages[] = {"return=all", "return=myParam", "return=instance", "myParam=",       "instance=",
                                      "_events",    "_commands",      "return",          "myParam.x.y=v=w"};

// A text from a list, or any text; sometimes null.
const char* chooseText(FuzzInput& in, const char* const* list, std::size_t count, std::string& storage) {
    switch (in.pick(8)) {
        case 0:
            return nullptr;
        case 1:
        case 2:
            storage = cText(in.text(300));
            return storage.c_str();
        default:
            storage = list[in.pick(count)];
            if (in.pick(4) == 0) storage += cText(in.text(40));
            return storage.c_str();
    }
}

int32_t chooseNumber(FuzzInput& in, const FuzzHost& host) {
    return in.flag() ? host.numbers[in.pick(host.numbers.size())] : in.number();
}

void sendRevertive(zarn_client_callback& script, FuzzHost& host, FuzzInput& in) {
    const int32_t device = chooseNumber(in, host);
    const int32_t index = chooseNumber(in, host);
    const std::string bytes = in.text(1024);
    switch (in.pick(4)) {
        case 0:
            script.callback(nullptr, zarn_type_revertive);
            return;
        case 1: {
            // A text far longer than any fixed record would hold.
            std::string text = cText(bytes);
            while (!text.empty() && text.size() < 70000) text += text;
            zarn_revertive_record record(device, index, text);
            script.callback(record.event(), zarn_type_revertive);
            return;
        }
        default: {
            // A record only as long as its NUL-terminated text: the size is the host's business.
            zarn_revertive_record record(device, index, bytes);
            script.callback(record.event(), zarn_type_revertive);
            return;
        }
    }
}

void sendButton(zarn_client_callback& script, FuzzInput& in) {
    static const char* const panelIds[] = {"1", "1", "1", "2", "", "01", " 1"};
    static const char* const commands[] = {"alarm", "select", ""};
    static const char* const values[] = {"1", "2", "3", "0", "-1", "ack", "4", "7", "12", "", "2147483648"};
    std::string panelText, controlText, commandText, valueText;
    bool nullSubField[sizeof(ButtonEventDetails::subFields) / sizeof(const char*)];
    for (bool& isNull : nullSubField) isNull = in.flag();
    const char* command = chooseText(in, commands, sizeof commands / sizeof commands[0], commandText);
    const char* value = chooseText(in, values, sizeof values / sizeof values[0], valueText);
    const int32_t reserved = in.int32();
    const char* panelId = chooseText(in, panelIds, sizeof panelIds / sizeof panelIds[0], panelText);
    const char* controlId = chooseText(in, controls, sizeof controls / sizeof controls[0], controlText);
    // Built from the texts, then the fields chosen null are nulled.
    auto orEmpty = [](const char* text) { return text ? text : ""; };
    zarn_button_record record(orEmpty(panelId), orEmpty(controlId), orEmpty(command), orEmpty(value));
    ButtonEvent& event = *record.event();
    ButtonEventDetails& details = *record.details();
    for (std::size_t i = 0; i < sizeof nullSubField; ++i) details.subFields[i] = nullSubField[i] ? nullptr : "junk";
    if (!command) details.command = nullptr;
    if (!value) details.value = nullptr;
    event.reserved[0] = reserved;
    if (!panelId) event.panelId = nullptr;
    if (!controlId) event.controlId = nullptr;
    if (in.pick(8) == 0) event.details = nullptr;
    script.callback(in.pick(16) == 0 ? nullptr : &event, zarn_type_button);
}

void sendParentMessage(zarn_client_callback& script, FuzzInput& in) {
    std::string message;
    const char* text = chooseText(in, parentMessages, sizeof parentMessages / sizeof parentMessages[0], message);
    char* reply = script.callback(const_cast<char*>(text), zarn_type_parent_message);
    if (!reply) return;
    // A reply is a NUL-terminated text of the script's; ASan checks the read.
    FUZZ_CHECK(std::strlen(reply) > 0);
    switch (in.pick(4)) {
        case 0:
            break;  // never handed back: the panel frees it when destroyed
        case 1:
            script.callback(reply, zarn_type_release);
            script.callback(reply, zarn_type_release);  // the second must be refused
            break;
        default:
            script.callback(reply, zarn_type_release);
            break;
    }
}

void sendForeignHandBack(zarn_client_callback& script, FuzzInput& in) {
    std::unique_ptr<char[]> heap(new char[16]());
    char stack[16] = {};
    char* const choices[] = {heap.get(), heap.get() + 3, stack, nullptr,
                             reinterpret_cast<char*>(static_cast<intptr_t>(in.int32()) | 1)};
    script.callback(choices[in.pick(sizeof choices / sizeof choices[0])], zarn_type_release);
}

void sendNotification(zarn_client_callback& script, FuzzHost& host, FuzzInput& in) {
    switch (in.pick(10)) {
        case 0:
        case 1:
            sendRevertive(script, host, in);
            break;
        case 2:
        case 3:
            sendButton(script, in);
            break;
        case 4:
        case 5:
            sendParentMessage(script, in);
            break;
        case 6:
            script.callback(reinterpret_cast<void*>(static_cast<intptr_t>(in.pick(3) == 0 ? 1 : in.number())),
                            zarn_type_timer);
            break;
        case 7:
            sendForeignHandBack(script, in);
            break;
        default: {
            // Records and values that are not interpreted, and types outside the table.
            static const int32_t types[] = {zarn_type_record, zarn_type_value, zarn_type_command, 8, -1, INT32_MAX};
            const int32_t type = types[in.pick(sizeof types / sizeof types[0])];
            FUZZ_CHECK(script.callback(reinterpret_cast<void*>(static_cast<intptr_t>(in.int32())), type) == nullptr);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    entryPoints.push_back(open(K7_MON_LIBRARY));
    entryPoints.push_back(open(ALARM_EXAMPLE_LIBRARY));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const load_zarn_client_script_fn load = entryPoints[in.pick(entryPoints.size())];
    std::string pathText;
    static const char* const paths[] = {"", "panels", "/opt/panels/"};
    const char* path = chooseText(in, paths, sizeof paths / sizeof paths[0], pathText);

    FuzzHost host(in);
    zarn_client_callback* script = load(&host, path);
    host.afterCall();
    FUZZ_CHECK(script != nullptr);
    // From here on the host sometimes answers a command with a notification first.
    host.reenter = [&] {
        if (in.pick(8) == 0) sendNotification(*script, host, in);
    };
    for (int step = 0; step < 128 && !in.empty(); ++step) {
        sendNotification(*script, host, in);
        host.afterCall();
    }
    host.reenter = nullptr;
    delete script;
    host.afterCall();
    FUZZ_CHECK(!host.commands.empty() && host.commands.back() == "AS");
    return 0;
}
