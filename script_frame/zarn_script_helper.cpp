#include <zarn/zarn_script_helper.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "debug_output.h"
#include "frame_internal.h"

// Constant data no operation reads; marked used so that neither the compiler
// nor the linker drops it from a panel library.
#if defined(__GNUC__)
__attribute__((used))
#endif
const char zarn_script_helper_signature[] =
    "ZARN_SIG,name=zarn_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author=K7 panel team";

namespace {

int32_t integerInPointer(void* data) {
    return static_cast<int32_t>(reinterpret_cast<std::intptr_t>(data));
}

// Formatted on the stack: the failure may well be a lack of memory.
void reportAbandoned(int32_t type, const char* reason) {
    char text[256];
    std::snprintf(text, sizeof text, "zarn_script_helper: notification type %d abandoned: %s", static_cast<int>(type),
                  reason ? reason : "");
    zarn::writeDebugOutput(text);
}

}  // namespace

zarn_script_helper::zarn_script_helper(zarn_client_callback* host, const char* path)
    : host(host), scriptPath(path), alarmHandlingEnabled(false) {}

zarn_script_helper::~zarn_script_helper() {
    // "AS" is the script's last command; its reply is never handed back.
    // Sent from writable memory like every other command text, so a host
    // that cuts command texts in place cannot fault on it.
    char lastCommand[] = "AS";
    sendCommand(lastCommand);
    // A host that never handed a parent reply back leaves it to us.
    for (const void* reply : outstandingReplies_) delete[] static_cast<const char*>(reply);
}

char* zarn_script_helper::sendCommand(const char* text) {
    if (!host) return nullptr;
    return host->callback(const_cast<char*>(text), zarn_type_command);
}

void zarn_script_helper::releaseReply(char* reply) {
    if (host) host->callback(reply, zarn_type_release);
}

char* zarn_script_helper::callback(void* data, int32_t type) {
    // Revertives come in bursts (a poll answers with one per destination):
    // straight to the hook, ahead of the dispatch of everything else.
    if (type == zarn_type_revertive && data) {
        // Nothing may unwind into the host: a hook that throws (in practice
        // only std::bad_alloc) abandons this notification with a diagnostic.
        try {
            onRevertive(RevertiveEventHandle(static_cast<const RevertiveEvent*>(data)));
        } catch (const std::exception& error) {
            reportAbandoned(zarn_type_revertive, error.what());
        } catch (...) {
            reportAbandoned(zarn_type_revertive, "unknown exception");
        }
        return nullptr;
    }
    return dispatch(data, type);
}

// Kept out of callback, so that a revertive's path saves no registers for it.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
char* zarn_script_helper::dispatch(void* data, int32_t type) {
    // As in callback: nothing may unwind into the host.
    try {
        switch (type) {
            case zarn_type_revertive:
                zarn::writeDebugOutput("zarn_script_helper: revertive without a record ignored");
                return nullptr;
            case zarn_type_button: {
                if (!data) {
                    zarn::writeDebugOutput("zarn_script_helper: button event without a record ignored");
                    return nullptr;
                }
                const ButtonEventHandle event(static_cast<const ButtonEvent*>(data));
                if (alarmHandlingEnabled && interceptAlarmButton(event)) return nullptr;
                onButton(event);
                return nullptr;
            }
            case zarn_type_parent_message:
                return replyToParent(data);
            case zarn_type_timer:
                onTimer(integerInPointer(data));
                return nullptr;
            case zarn_type_release:
                releaseParentReply(data);
                return nullptr;
            case zarn_type_record:
                onRecordEvent(RecordHandle{data});
                return nullptr;
            case zarn_type_value: {
                int32_t value = integerInPointer(data);
                onValueEvent(value);
                return nullptr;
            }
            default:
                return nullptr;
        }
    } catch (const std::exception& error) {
        reportAbandoned(type, error.what());
    } catch (...) {
        reportAbandoned(type, "unknown exception");
    }
    return nullptr;
}

char* zarn_script_helper::replyToParent(void* text) {
    // A null text parses as the empty message and still reaches the hook.
    const ParamCommand message(static_cast<const char*>(text));
    const zarn_string reply = onParentMessage(ParamCommandHandle(&message));
    if (reply.isEmpty()) return nullptr;

    const std::size_t size = std::strlen(reply.c_str()) + 1;
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memcpy(buffer.get(), reply.c_str(), size);
    outstandingReplies_.insert(buffer.get());
    return buffer.release();
}

void zarn_script_helper::releaseParentReply(void* reply) {
    if (!reply) return;
    // Only a buffer we handed out and not yet got back is ours to free; any
    // other pointer (never ours, or already freed) is left alone.
    if (outstandingReplies_.erase(reply) == 0) {
        zarn::writeDebugOutput("zarn_script_helper: type 5 with a buffer not returned by this script ignored");
        return;
    }
    delete[] static_cast<char*>(reply);
}

void zarn_script_helper::onValueEvent(int32_t&) {}

void zarn_script_helper::onRecordEvent(RecordHandle) {}
