// RecordingHost: the test host. Records every call a script makes, answers
// commands from a table and checks that replies travel back correctly. For
// allocation counts it records without allocating: recordTexts false keeps
// only the count and the last command, and fixedAnswer replies from the
// test's own buffers.
#pragma once

#include <zarn/zarn_client.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class RecordingHost : public zarn_client_callback {
public:
    ~RecordingHost() override {
        for (auto& entry : live_) delete[] entry.first;
    }

    // Replies for an exact command text; std::nullopt answers null. Commands
    // without an entry get null.
    void answer(const std::string& command, std::optional<std::string> reply) { replies_[command] = std::move(reply); }
    void forget(const std::string& command) { replies_.erase(command); }

    // Every type-0 command text, in order.
    std::vector<std::string> commands;
    // Commands and hand-backs in order: a command as its text; a type-5 call as
    // "release <command>" for a reply of ours, "release null" for a null
    // pointer and "release foreign" for anything else.
    std::vector<std::string> trace;
    // Faults of the script: replies handed back twice or never given, types
    // other than 0 and 5.
    std::vector<std::string> faults;

    // Replies given and not handed back yet, as the commands they answered.
    std::vector<std::string> outstanding() const {
        std::vector<std::string> result;
        for (const auto& entry : live_) result.push_back(entry.second);
        return result;
    }

    void clear() {
        commands.clear();
        trace.clear();
        faults.clear();
    }

    // Off: commands, trace and the reply table are left alone, so a script
    // that keeps the protocol makes the host allocate nothing; commandCount
    // and lastCommand still follow, and faults are still recorded.
    bool recordTexts = true;
    // Every type-0 call, and the last command text (cut to 127 bytes).
    int commandCount = 0;
    char lastCommand[128] = {};
    // When set, answers every command before the table: a buffer of the
    // test's, or null to go on to the table. Such replies are not tracked:
    // handing one back counts in untrackedReleases, never as a fault.
    std::function<char*(const char* command)> fixedAnswer;
    int untrackedReleases = 0;

    char* callback(void* data, int32_t type) override {
        if (type == zarn_type_command) {
            const char* command = data ? static_cast<const char*>(data) : "<null>";
            ++commandCount;
            std::strncpy(lastCommand, command, sizeof lastCommand - 1);
            if (fixedAnswer) {
                if (char* reply = fixedAnswer(command)) return reply;
            }
            if (!recordTexts) return nullptr;
            std::string text = command;
            commands.push_back(text);
            trace.push_back(text);
            auto found = replies_.find(text);
            if (found == replies_.end() || !found->second) return nullptr;
            char* reply = new char[found->second->size() + 1];
            std::memcpy(reply, found->second->c_str(), found->second->size() + 1);
            live_[reply] = text;
            return reply;
        }
        if (type == zarn_type_release) {
            char* reply = static_cast<char*>(data);
            if (!reply) {
                if (recordTexts) trace.push_back("release null");
                return nullptr;
            }
            auto found = live_.find(reply);
            if (found == live_.end() && fixedAnswer) {
                ++untrackedReleases;
                return nullptr;
            }
            if (found == live_.end()) {
                trace.push_back("release foreign");
                faults.push_back("type 5 with a pointer the host does not have outstanding");
                return nullptr;
            }
            trace.push_back("release " + found->second);
            delete[] found->first;
            live_.erase(found);
            return nullptr;
        }
        faults.push_back("unexpected type " + std::to_string(type));
        return nullptr;
    }

private:
    std::map<std::string, std::optional<std::string>> replies_;
    std::map<char*, std::string> live_;
};
