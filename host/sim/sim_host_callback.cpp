// The panel's side of the simulated host: the callback the panel calls with
// its commands, and the hand-back of the replies it was given. A command is
// logged and traced, then carried out by the command table
// (sim_host_commands.cpp); a reply handed back is checked against what the
// host gave out.
#include <zarn/host_commands.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/crash_report.h"
#include "sim/sim_host.h"
#include "text/command_text.h"

namespace zarn_host {

char* SimHost::callback(void* data, int32_t type) {
    if (type == zarn_type_command) return command(static_cast<const char*>(data));
    if (type == zarn_type_release) {
        handBack(static_cast<char*>(data));
        return nullptr;
    }
    fault(FaultKind::wrongType,
          "the panel called the host with type " + std::to_string(type) + "; only 0 and 5 go that way");
    return nullptr;
}

char* SimHost::command(const char* text) {
    if (!text) {
        fault(FaultKind::nullCommand, "command with a null text");
        return nullptr;
    }
    crashNoteCommand(text);
    std::string commandText(text);
    if (callDepth_ == 0)
        fault(FaultKind::commandOutsideCall,
              "command \"" + printable(commandText) + "\" outside any call from the host");
    ++commandCount_;
    if (recent_.size() < maxRecentCommands) {
        recent_.push_back(commandText);
    } else {
        ++recentDropped_;
    }
    // "AS" is the panel's last word, once.
    if (farewellSent_) {
        fault(FaultKind::afterFarewell, commandText == "AS"
                                            ? std::string("\"AS\" sent twice")
                                            : "command \"" + printable(commandText) + "\" after \"AS\"");
    }
    if (commandText == "AS") farewellSent_ = true;
    std::vector<CommandNote> notes;
    std::optional<std::string> reply = execute(commandText, notes);
    // A command the scenario answers itself is not the host's to refuse.
    bool answered = false;
    if (!answers_.empty()) {
        const std::string* longest = nullptr;
        for (const auto& entry : answers_) {
            if (commandText.compare(0, entry.first.size(), entry.first) == 0 &&
                (!longest || entry.first.size() > longest->size())) {
                longest = &entry.first;
            }
        }
        if (longest) {
            reply = answers_[*longest];
            answered = true;
        }
    }
    const zarn::HostCommand* shape = zarn::findHostCommand(commandText.substr(0, 2));
    if (trace_.enabled()) {
        std::string line = printable(commandText);
        if (!reply) {
            line += "  => null";
        } else if (shape && shape->reply != zarn::ReplyRule::ignored) {
            line += "  => " + quotedPrintable(*reply);
        }
        trace_.line(TraceKind::out, line);
        for (const auto& note : notes) trace_.line(note.warning ? TraceKind::note : TraceKind::refusal, note.text);
    }
    for (const auto& note : notes) {
        if (note.kind && !answered) refuse(*note.kind, note.text);
    }
    if (!reply) return nullptr;

    char* buffer = new char[reply->size() + 1];
    std::memcpy(buffer, reply->c_str(), reply->size() + 1);
    released_.erase(buffer);
    live_[buffer] = Reply{commandText, shape && shape->replyHandedBack(), clock_.now()};
    return buffer;
}

void SimHost::handBack(char* reply) {
    if (!reply) {
        trace_.line(TraceKind::out, "release null");
        return;
    }
    auto found = live_.find(reply);
    if (found != live_.end()) {
        std::string commandText = found->second.command;
        bool comesBack = found->second.comesBack;
        delete[] found->first;
        live_.erase(found);
        released_[reply] = commandText;
        if (trace_.enabled()) trace_.line(TraceKind::out, "release (" + printable(commandText, 80) + ")");
        if (!comesBack) {
            fault(FaultKind::hostReplyHandedBack, "the reply to \"" + printable(commandText) +
                                                      "\" was handed back, but the host frees that reply itself");
        }
        return;
    }
    auto again = released_.find(reply);
    if (again != released_.end()) {
        fault(FaultKind::handedBackTwice, "the reply to \"" + printable(again->second) + "\" was handed back twice");
        return;
    }
    fault(FaultKind::foreignHandBack, "type 5 with a pointer the host never gave");
}

void SimHost::fault(FaultKind kind, const std::string& what) {
    faults_.push_back({kind, what});
    trace_.line(TraceKind::fault, what);
}

void SimHost::freeHostOwnedReplies() {
    for (auto it = live_.begin(); it != live_.end();) {
        if (it->second.comesBack) {
            ++it;
            continue;
        }
        delete[] it->first;
        it = live_.erase(it);
    }
}

}  // namespace zarn_host
