// FuzzHost: a panel host whose every reply is chosen by the fuzzer input:
// null, empty, huge, junk, or a plausible answer to the command. It checks the
// script's side of the boundary as it goes: well-formed command texts, only
// types 0 and 5, and every reply handed back at most once, only if it is one
// the script reads (<zarn/host_commands.h>), and before the script's call returns.
#pragma once

#include <zarn/host_commands.h>
#include <zarn/zarn_client.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"

class FuzzHost : public zarn_client_callback {
public:
    explicit FuzzHost(FuzzInput& in) : in_(in) {}
    ~FuzzHost() override { releaseKept(); }

    // Every command text, in order.
    std::vector<std::string> commands;
    // When set, called with every command before it is answered: a host may
    // deliver notifications while it handles a command (a poll answered by
    // revertives at once), so the script is re-entered from inside a hook.
    std::function<void()> reenter;
    // Device numbers and indices this host has answered with, for revertives
    // that hit the script's registrations.
    std::vector<int32_t> numbers{0, 1};
    // The reply to the last command: null, or a copy of its text.
    bool lastReplyNull = true;
    std::string lastReply;

    char* callback(void* data, int32_t type) override {
        FUZZ_CHECK(type == zarn_type_command || type == zarn_type_release);
        if (type == zarn_type_release) {
            handBack(static_cast<char*>(data));
            return nullptr;
        }
        FUZZ_CHECK(data != nullptr);
        const std::string text(static_cast<const char*>(data));
        checkCommand(text);
        commands.push_back(text);
        if (reenter && depth_ < 2) {
            ++depth_;
            reenter();
            --depth_;
        }
        return reply(text);
    }

    // Called after every call into the script has returned: the replies the
    // script reads must all be back by now; the others the host frees itself,
    // so a script that kept one would read freed memory.
    void afterCall() {
        for (const auto& entry : given_) FUZZ_CHECK(!readByScript(entry.second));
        releaseKept();
    }

    // Replies the script reads and must hand back.
    static bool readByScript(const std::string& command) { return zarn::replyHandedBack(command.substr(0, 2)); }

private:
    // Two upper-case letters, then nothing or a blank and the arguments.
    static void checkCommand(const std::string& text) {
        FUZZ_CHECK(text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'A' && text[1] <= 'Z');
        FUZZ_CHECK(text.size() == 2 || text[2] == ' ');
    }

    void handBack(char* reply) {
        if (reply == nullptr) return;  // the RN hand-back of a null reply
        const auto found = given_.find(reply);
        // Never ours, or already handed back: the script freed nothing of ours.
        FUZZ_CHECK(found != given_.end());
        FUZZ_CHECK(readByScript(found->second));
        // Poisoned before the free, so a late read shows as use-after-free.
        std::memset(reply, 'X', std::strlen(reply));
        delete[] reply;
        given_.erase(found);
    }

    void releaseKept() {
        for (auto& entry : given_) delete[] entry.first;
        given_.clear();
    }

    char* reply(const std::string& command) {
        std::string text;
        switch (in_.pick(8)) {
            case 0:
                lastReplyNull = true;
                lastReply.clear();
                return nullptr;
            case 1:
                break;  // empty
            case 2: {
                // Huge: a fuzzer-chosen piece repeated to 64 KiB or more.
                const std::string piece = cText(in_.text(16));
                text.reserve(1 << 16);
                while (!piece.empty() && text.size() < (1u << 16)) text += piece;
                if (piece.empty()) text.assign(1u << 16, '7');
                break;
            }
            case 3:
                text = cText(in_.text());  // junk
                break;
            default:
                text = plausible(command);
                break;
        }
        lastReplyNull = false;
        lastReply = text;
        char* buffer = new char[text.size() + 1];
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        given_[buffer] = command;
        return buffer;
    }

    std::string number() {
        const int32_t value = in_.flag() ? numbers[in_.pick(numbers.size())] : in_.number();
        if (numbers.size() < 64) numbers.push_back(value);
        return std::to_string(value);
    }

    // An answer of the form the script reads, with fuzzer-chosen numbers.
    std::string plausible(const std::string& command) {
        const std::string word = command.substr(0, 2);
        if (word == "SD") return number() + (in_.flag() ? " " + number() : "");
        if (word == "RN") return (in_.flag() ? "-" : number()) + "," + (in_.flag() ? "-" : number());
        if (word == "XI") {
            std::string list;
            for (std::size_t n = in_.pick(6); n > 0; --n) list += "alm_" + number() + (n > 1 ? "," : "");
            return list;
        }
        if (word == "TG") {
            // The property is the last quoted argument.
            const std::size_t close = command.rfind('\'');
            const std::size_t open =
                close == std::string::npos || close == 0 ? std::string::npos : command.rfind('\'', close - 1);
            const std::string property =
                open == std::string::npos ? std::string() : command.substr(open + 1, close - open - 1);
            return (in_.flag() ? property : cText(in_.text(8))) + "=" + number();
        }
        return "OK";
    }

    FuzzInput& in_;
    int depth_ = 0;
    std::map<char*, std::string> given_;  // replies not handed back yet, by command
};
