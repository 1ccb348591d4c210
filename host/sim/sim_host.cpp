#include "sim/sim_host.h"

#include <zarn/button_record.h>
#include <zarn/host_commands.h>
#include <zarn/revertive_record.h>

#include <cstring>
#include <utility>

#include "platform/crash_report.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

// Revertives one step may cause before the host calls it a storm and drops the rest.
constexpr std::size_t maxRevertivesPerStep = 100000;
// Timer ticks one wait may deliver before the host stops the wait.
constexpr std::size_t maxTicksPerWait = 1000000;

}  // namespace

std::ostream& operator<<(std::ostream& out, const Fault& fault) {
    return out << fault.text;
}

SimHost::CallScope::CallScope(SimHost& host) : host_(host) {
    ++host_.callDepth_;
}

SimHost::CallScope::~CallScope() {
    if (--host_.callDepth_ == 0) host_.freeHostOwnedReplies();
}

SimHost::SimHost(Facility facility) : facility_(std::move(facility)), trace_(clock_) {}

SimHost::~SimHost() {
    if (script_) unload();
    for (auto& entry : live_) delete[] entry.first;
}

const Panel* SimHost::panel(const std::string& id) const {
    auto found = panels_.find(id);
    return found == panels_.end() ? nullptr : &found->second;
}

bool SimHost::load(load_zarn_client_script_fn entry, const std::string& folder, const std::string& name) {
    trace_.line(TraceKind::in, "load " + name + " (folder " + quotedPrintable(folder) + ")");
    farewellSent_ = false;
    timersStarted_.clear();
    {
        CallScope scope(*this);
        script_ = entry(this, folder.c_str());
    }
    if (!script_) {
        trace_.line(TraceKind::error, "the entry point returned no panel");
        return false;
    }
    deliverRevertives();
    return true;
}

void SimHost::unload() {
    if (!script_) return;
    trace_.line(TraceKind::in, "unload");
    {
        CallScope scope(*this);
        delete script_;
        script_ = nullptr;
    }
    if (!farewellSent_) fault(FaultKind::missingFarewell, "the panel was destroyed without sending \"AS\"");
    releaseRegistrations();
    revertives_.clear();
}

void SimHost::releaseRegistrations() {
    // A host drops a panel's registrations when the panel goes; one that the
    // panel kept to the end would, on a real host, keep revertives flowing
    // to nobody until the host is restarted.
    for (const auto& entry : facility_.routers()) {
        Router* router = facility_.router(entry.first);
        if (router->registrations.empty()) continue;
        std::string ranges;
        for (const auto& range : router->registrations) {
            if (!ranges.empty()) ranges += ", ";
            ranges += std::to_string(range.first) + ".." + std::to_string(range.second);
        }
        std::string what = "router " + std::to_string(router->device) + ": destinations " + ranges +
                           " still registered when the panel ended (RR without RU)";
        trace_.line(TraceKind::refusal, what);
        refuse(RefusalKind::registration, what);
        router->registrations.clear();
    }
}

void SimHost::refuse(RefusalKind kind, const std::string& what) {
    ++refusalCounts_.byKind[static_cast<std::size_t>(kind)];
    if (recentRefusals_.size() < maxRecentCommands) {
        recentRefusals_.push_back({kind, what, expectEveryRefusal_});
    } else if (refusalKindInfo(kind).fails && !expectEveryRefusal_) {
        // Past the window nothing can expect it any more.
        ++refusalCounts_.failing;
    }
}

uint64_t SimHost::failingSoFar() const {
    uint64_t failing = refusalCounts_.failing;
    for (const auto& refusal : recentRefusals_) {
        if (!refusal.expected && !expectEveryRefusal_ && refusalKindInfo(refusal.kind).fails) ++failing;
    }
    return failing;
}

void SimHost::settleRefusals() {
    for (const auto& refusal : recentRefusals_) {
        if (refusal.expected || expectEveryRefusal_ || !refusalKindInfo(refusal.kind).fails) continue;
        ++refusalCounts_.failing;
        if (failingRefusals_.size() < maxFailingKept) failingRefusals_.push_back(refusal.text);
    }
    recentRefusals_.clear();
}

std::size_t SimHost::expectRefusals(const RefusalKindInfo* kind, const std::string* text) {
    std::size_t matched = 0;
    for (auto& refusal : recentRefusals_) {
        if ((kind && refusal.kind != kind->kind) || (text && refusal.text != *text)) continue;
        refusal.expected = true;
        ++matched;
    }
    return matched;
}

std::string SimHost::panelNotShown(const std::string& panelId) const {
    auto refused = refusedPanels_.find(panelId);
    if (refused != refusedPanels_.end()) return "panel \"" + panelId + "\" is not shown: " + refused->second;
    return "no panel \"" + panelId + "\" shown";
}

Control* SimHost::loadedControl(const std::string& panelId, const std::string& controlId, std::string& error) {
    if (!script_) {
        error = "no panel loaded";
        return nullptr;
    }
    auto found = panels_.find(panelId);
    if (found == panels_.end()) {
        error = panelNotShown(panelId);
        return nullptr;
    }
    Control* control = found->second.control(controlId);
    if (!control) error = "no control \"" + controlId + "\" on panel \"" + panelId + "\"";
    return control;
}

bool SimHost::press(const std::string& panelId, const std::string& controlId, const std::optional<std::string>& command,
                    const std::optional<std::string>& value, std::string& error) {
    Control* control = loadedControl(panelId, controlId, error);
    if (!control) return false;
    const std::string& detailsCommand = command ? *command : control->command;
    const std::string& detailsValue = value ? *value : control->value;
    zarn_button_record record(panelId, controlId, detailsCommand, detailsValue);
    if (trace_.enabled()) {
        std::string line = "button " + panelId + "/" + controlId;
        if (!detailsCommand.empty() || !detailsValue.empty()) {
            line += " (" + quotedPrintable(detailsCommand) + " = " + quotedPrintable(detailsValue) + ")";
        }
        trace_.line(TraceKind::in, line);
    }
    {
        CallScope scope(*this);
        script_->callback(record.event(), zarn_type_button);
    }
    deliverRevertives();
    return true;
}

bool SimHost::pick(const std::string& panelId, const std::string& listId, const std::string& entry,
                   std::string& error) {
    Control* list = loadedControl(panelId, listId, error);
    if (!list) return false;
    auto index = list->findEntry(entry);
    if (!index) {
        error = "no entry \"" + entry + "\" in list \"" + listId + "\"";
        return false;
    }
    // The list shows the operator's choice before the script hears of it.
    list->setProperty("select", std::to_string(*index));
    std::string value = list->entries[*index].value;
    return press(panelId, listId, std::string("select"), value, error);
}

std::optional<std::string> SimHost::parentMessage(const std::string& text, bool& sent) {
    sent = script_ != nullptr;
    if (!script_) return std::nullopt;
    trace_.line(TraceKind::in, "parent " + quotedPrintable(text));
    std::optional<std::string> result;
    {
        CallScope scope(*this);
        char* reply = script_->callback(const_cast<char*>(text.c_str()), zarn_type_parent_message);
        if (reply) {
            result = std::string(reply);
            trace_.line(TraceKind::reply, quotedPrintable(*result));
            trace_.line(TraceKind::in, "release parent reply");
            script_->callback(reply, zarn_type_release);
        } else {
            trace_.line(TraceKind::reply, "null");
        }
    }
    deliverRevertives();
    return result;
}

void SimHost::wait(int64_t ms) {
    int64_t until = clock_.now() + (ms > 0 ? ms : 0);
    std::size_t ticks = 0;
    while (script_) {
        auto id = clock_.takeDueTick(until);
        if (!id) break;
        if (++ticks > maxTicksPerWait) {
            fault(FaultKind::tickStorm,
                  "more than " + std::to_string(maxTicksPerWait) + " timer ticks in one wait; wait cut short");
            break;
        }
        trace_.line(TraceKind::in, "timer " + std::to_string(*id));
        {
            CallScope scope(*this);
            script_->callback(reinterpret_cast<void*>(static_cast<intptr_t>(*id)), zarn_type_timer);
        }
        deliverRevertives();
    }
    clock_.advanceTo(until);
}

bool SimHost::notify(int32_t type, void* data, const std::string& description) {
    if (!script_) return false;
    trace_.line(TraceKind::in, "notify " + std::to_string(type) + " " + description);
    {
        CallScope scope(*this);
        char* reply = script_->callback(data, type);
        if (reply && type == zarn_type_parent_message) {
            trace_.line(TraceKind::reply, quotedPrintable(reply));
            trace_.line(TraceKind::in, "release parent reply");
            script_->callback(reply, zarn_type_release);
        } else if (reply) {
            fault(FaultKind::notificationReply, "the panel answered a type-" + std::to_string(type) +
                                                    " notification with a pointer; only type 3 has a reply");
        }
    }
    deliverRevertives();
    return true;
}

void SimHost::answer(const std::string& prefix, std::optional<std::string> reply) {
    answers_[prefix] = std::move(reply);
}

RouteResult SimHost::routeFromOutside(int32_t device, int32_t destination, int32_t source, const Origin& origin) {
    RouteResult result = facility_.route(device, destination, source, origin, clock_.now());
    if (result != RouteResult::done) {
        trace_.line(TraceKind::refusal, "outside route refused: router " + std::to_string(device) + ", destination " +
                                            std::to_string(destination) + ", source " + std::to_string(source) +
                                            ", by " + describe(origin) + ": " + describe(result));
        return result;
    }
    const Router* router = facility_.router(device);
    if (router->registered(destination)) queueRevertive(*router, destination);
    deliverRevertives();
    return result;
}

void SimHost::setOnline(int32_t device, bool on) {
    facility_.setOnline(device, on);
}

void SimHost::clearRecentCommands() {
    settleRefusals();
    recent_.clear();
    recentDropped_ = 0;
}

void SimHost::finish() {
    for (auto& entry : live_) {
        if (entry.second.comesBack) {
            fault(FaultKind::replyKept, "the reply to \"" + printable(entry.second.command) + "\" (at " +
                                            std::to_string(entry.second.time) + " ms) was never handed back");
        }
        delete[] entry.first;
    }
    live_.clear();
    settleRefusals();
}

void SimHost::queueRevertive(const Router& router, int32_t destination) {
    int32_t source = router.crosspoints[static_cast<std::size_t>(destination)];
    revertives_.push_back({router.device, destination, router.sourceText(source)});
}

void SimHost::deliverRevertives() {
    std::size_t delivered = 0;
    while (script_ && !revertives_.empty()) {
        if (++delivered > maxRevertivesPerStep) {
            fault(FaultKind::revertiveStorm, "more than " + std::to_string(maxRevertivesPerStep) +
                                                 " revertives in one step; " + std::to_string(revertives_.size()) +
                                                 " dropped");
            revertives_.clear();
            break;
        }
        PendingRevertive pending = std::move(revertives_.front());
        revertives_.pop_front();
        zarn_revertive_record record(pending.device, pending.destination, pending.text);
        if (trace_.enabled()) {
            trace_.line(TraceKind::in, "revertive " + std::to_string(pending.device) + "/" +
                                           std::to_string(pending.destination) + " " + quotedPrintable(pending.text));
        }
        CallScope scope(*this);
        script_->callback(record.event(), zarn_type_revertive);
    }
}

}  // namespace zarn_host
