// A small panel that keeps the protocol, except for the one fault its build
// switches on, for proving that the validator catches each fault in the test
// meant for it and in no other:
//   BROKEN_KEEPS_RN_REPLY     never hands back the reply of RN
//   BROKEN_SAYS_AS_TWICE      sends "AS" twice when destroyed
//   BROKEN_NULL_RECORD        reads a revertive record without checking for null
//   BROKEN_LEAKS_ON_LOAD      leaks 4 KiB on every load
//   BROKEN_CUTS_RR_NUMBER     formats RR into a buffer that cuts the device number,
//                             at start-up and again on every parent message
//   BROKEN_FOREIGN_HAND_BACK  hands back a pointer the host never gave
//   BROKEN_HANGS_ON_PARENT    never returns from a parent message
//   BROKEN_TRUSTS_DESTINATION indexes its tally table by the destination of a
//                             revertive from its own router, unchecked
//   BROKEN_TRUSTS_TIMER_ID    counts ticks in a table indexed by the timer id, unchecked
//   BROKEN_SHOWS_MISSING_FILE shows (PS) a panel file that is not in its folder
//   BROKEN_SHOWS_EMPTY_FILE   shows (PS) a panel file that holds no controls
// and two whose only fault is a command text that quotes the words of other
// rules' faults, which must still be filed under the grammar:
//   BROKEN_UNKNOWN_QUOTES_RULES    an unknown command naming "AS", hand-backs and foreign pointers
//   BROKEN_MALFORMED_QUOTES_RULES  a malformed SD naming the same
#include <zarn/zarn_client.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

namespace {

#ifdef BROKEN_LEAKS_ON_LOAD
char* volatile lastLeak = nullptr;
#endif

class broken_panel : public zarn_client_callback {
public:
    broken_panel(zarn_client_callback* host, const char* folder) : host_(host) {
#ifdef BROKEN_LEAKS_ON_LOAD
        lastLeak = new char[4096];
        std::memset(lastLeak, 1, 4096);
#endif
        if (char* reply = send("SD 'Broken Router'")) {
            device_ = std::atoi(reply);
            host_->callback(reply, zarn_type_release);
        }
        char* entry = send("RN " + std::to_string(device_) + " 1 1");
#ifdef BROKEN_KEEPS_RN_REPLY
        keptReply_ = entry;
#else
        if (entry) host_->callback(entry, zarn_type_release);
#endif
        registerRouter();
#if defined(BROKEN_SHOWS_MISSING_FILE)
        send("PS 'main' '" + std::string(folder ? folder : "") + "/no_such_panel.zarn_ui'");
#elif defined(BROKEN_SHOWS_EMPTY_FILE)
        // tests/validate/CMakeLists.txt writes it beside the library.
        send("PS 'main' '" + std::string(folder ? folder : "") + "/empty.zarn_ui'");
#else
        (void)folder;
#endif
#ifdef BROKEN_UNKNOWN_QUOTES_RULES
        send("ZZ '\"AS\" sent twice' 'handed back' 'a pointer the host never gave' 'notification with a pointer'");
#endif
#ifdef BROKEN_MALFORMED_QUOTES_RULES
        send("SD \"AS\" was handed back, a pointer the host never gave");
#endif
    }

    ~broken_panel() override {
        send("RU " + std::to_string(device_));
        send("AS");
#ifdef BROKEN_SAYS_AS_TWICE
        send("AS");
#endif
    }

    char* callback(void* data, int32_t type) override {
        switch (type) {
            case zarn_type_revertive: {
#ifndef BROKEN_NULL_RECORD
                if (!data) return nullptr;
#endif
                const auto* event = static_cast<const RevertiveEvent*>(data);
                lastRevertive_ = std::to_string(event->device) + ":" + event->text();
#ifdef BROKEN_TRUSTS_DESTINATION
                // Only the destinations 1 to 4 are registered, so only those come back (it
                // thinks): the table is indexed unchecked. Out of range is a write through
                // null, so that it crashes the same way on every platform.
                if (event->device == device_) {
                    std::size_t* cell = event->index >= 1 && event->index <= 4 ? &tally_[event->index] : nullptr;
                    *static_cast<std::size_t volatile*>(cell) = lastRevertive_.size();
                }
#endif
                return nullptr;
            }
            case zarn_type_button:
                if (data) send("ET 1 100");
                return nullptr;
            case zarn_type_parent_message: {
                if (!data) return nullptr;
#ifdef BROKEN_HANGS_ON_PARENT
                for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
#endif
#ifdef BROKEN_CUTS_RR_NUMBER
                // Registers again on every parent message: the same fault, repeated.
                registerRouter();
#endif
#ifdef BROKEN_FOREIGN_HAND_BACK
                char* notFromTheHost = new char[4]{'a', 'b', 'c', '\0'};
                host_->callback(notFromTheHost, zarn_type_release);
                delete[] notFromTheHost;
#endif
                char* reply = new char[3]{'o', 'k', '\0'};
                replies_.insert(reply);
                return reply;
            }
            case zarn_type_timer:
#ifdef BROKEN_TRUSTS_TIMER_ID
                // Only timer 1 is ever started, so only it ticks (it thinks): any other
                // id but the null it checks for is a write through null, as an unchecked
                // table would crash.
                if (data) {
                    int* cell = reinterpret_cast<intptr_t>(data) == 1 ? &ticks_ : nullptr;
                    ++*static_cast<int volatile*>(cell);
                }
#endif
                send("ET 1");
                return nullptr;
            case zarn_type_release:
                // Only a reply this panel gave and has not had back is freed.
                if (replies_.erase(static_cast<char*>(data)) != 0) delete[] static_cast<char*>(data);
                return nullptr;
            default:
                return nullptr;
        }
    }

private:
    void registerRouter() {
#ifdef BROKEN_CUTS_RR_NUMBER
        char number[8];
        std::snprintf(number, sizeof number, "%d", device_);
        send(std::string("RR ") + number + " 1 4");
#else
        send("RR " + std::to_string(device_) + " 1 4");
#endif
    }

    char* send(const std::string& text) {
        return host_->callback(const_cast<char*>(text.c_str()), zarn_type_command);
    }

    zarn_client_callback* host_;
    int32_t device_ = 0;
    std::string lastRevertive_;
    std::set<char*> replies_;
#ifdef BROKEN_KEEPS_RN_REPLY
    char* keptReply_ = nullptr;
#endif
#ifdef BROKEN_TRUSTS_DESTINATION
    std::size_t tally_[5] = {};
#endif
#ifdef BROKEN_TRUSTS_TIMER_ID
    int ticks_ = 0;
#endif
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char* folder) {
    return new broken_panel(host, folder);
}
