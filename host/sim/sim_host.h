// SimHost: the host side of the panel boundary, modelled on a facility.
//
// It loads one panel script through its entry point, executes the commands the
// script sends (type 0), delivers notifications (types 1 to 4) and checks the
// script's use of the boundary: every reply the script reads (SD, XI, RN and TG,
// see <zarn/host_commands.h>) must come back once with type 5; the other
// replies are the host's to free and must not.
// Revertives are queued and delivered after the notification (or the entry
// point) that caused them returns, one at a time, as a real host does.
#pragma once

#include <zarn/zarn_client.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "model/facility.h"
#include "model/panel_model.h"
#include "sim/refusal.h"
#include "sim/trace.h"
#include "sim/virtual_clock.h"

namespace zarn_host {

// What a protocol fault of the panel is about.
enum class FaultKind {
    malformedCommand,     // a command text breaks the grammar or its command's arguments
    unknownCommand,       // a well-formed text whose word is no host command
    nullCommand,          // a command with a null text
    unknownDevice,        // a device number the facility never gave (a number cut short)
    replyKept,            // a reply the panel reads was never handed back
    hostReplyHandedBack,  // a reply the host frees itself was handed back
    handedBackTwice,      // a reply handed back a second time
    foreignHandBack,      // a pointer the host never gave handed back
    missingFarewell,      // the panel was destroyed without "AS"
    afterFarewell,        // "AS" again, or another command after it
    notificationReply,    // a notification other than type 3 answered with a pointer
    wrongType,            // the panel called the host with a type other than 0 and 5
    commandOutsideCall,   // a command while the host was not calling the panel
    tickStorm,            // too many timer ticks in one wait
    revertiveStorm,       // too many revertives in one step
};

// One protocol fault: its kind, and a one-line text that may quote what the
// panel sent.
struct Fault {
    FaultKind kind;
    std::string text;
};
std::ostream& operator<<(std::ostream& out, const Fault& fault);

// Threads: one, the panel thread. Everything here, the facility, the clock
// and the trace included, is called from the thread that loaded the panel;
// other threads (the page's HTTP workers, the bridges' I/O thread) hand it
// work through their own queues and never call it.
class SimHost : public zarn_client_callback {
public:
    explicit SimHost(Facility facility);
    // Destroys a panel still loaded and frees every reply still held.
    ~SimHost() override;
    SimHost(const SimHost&) = delete;
    SimHost& operator=(const SimHost&) = delete;

    Trace& trace() { return trace_; }
    const VirtualClock& clock() const { return clock_; }
    Facility& facility() { return facility_; }
    const std::map<std::string, Panel>& panels() const { return panels_; }
    const Panel* panel(const std::string& id) const;

    // Calls the entry point with this host and folder, then delivers the
    // revertives its start-up asked for. False when the entry point gives null.
    bool load(load_zarn_client_script_fn entry, const std::string& folder, const std::string& name);
    // Destroys the panel through its virtual destructor.
    void unload();
    bool loaded() const { return script_ != nullptr; }

    // Notifications. Each returns false with error when the host cannot send
    // it (no panel, unknown control or entry).
    bool press(const std::string& panelId, const std::string& controlId, const std::optional<std::string>& command,
               const std::optional<std::string>& value, std::string& error);
    // Selects a list entry (by text, else by value) and sends the event.
    bool pick(const std::string& panelId, const std::string& listId, const std::string& entry, std::string& error);
    // Sends a parent message and hands a reply back; the reply's text, or null.
    std::optional<std::string> parentMessage(const std::string& text, bool& sent);
    // Advances the clock by ms, delivering every due timer tick in order.
    void wait(int64_t ms);

    // A notification as given: any type, any data, even a malformed record.
    // A type-3 reply is handed back; any other type answered non-null is a
    // fault. Delivers the revertives it caused. False when no panel is loaded.
    bool notify(int32_t type, void* data, const std::string& description);

    // From now on commands beginning with prefix get reply instead (null when
    // empty); the longest matching prefix wins. The command is still checked
    // and executed.
    void answer(const std::string& prefix, std::optional<std::string> reply);

    // The world outside the panel.
    // A route from outside the panel, noted with its origin; a refusal is
    // traced naming the router, destination, source and origin.
    RouteResult routeFromOutside(int32_t device, int32_t destination, int32_t source, const Origin& origin = {});
    void setOnline(int32_t device, bool on);

    // The commands the script sent since the last clearRecentCommands(), in
    // order; at most maxRecentCommands are kept, so a long session stays flat.
    const std::vector<std::string>& recentCommands() const { return recent_; }
    // Commands sent since the recent ones were cleared but not kept.
    std::size_t recentDropped() const { return recentDropped_; }
    void clearRecentCommands();
    // Every command the script ever sent, counted.
    uint64_t commandCount() const { return commandCount_; }
    static constexpr std::size_t maxRecentCommands = 65536;
    // Protocol faults found so far; each makes the run fail.
    const std::vector<Fault>& faults() const { return faults_; }
    // Refusals since the recent commands were cleared, in order (at most
    // maxRecentCommands kept). Clearing settles them: those of a kind that
    // fails and not expected by then count as failing.
    const std::vector<Refusal>& recentRefusals() const { return recentRefusals_; }
    // Marks the recent refusals of kind (any kind when null) whose text is
    // text (any text when null) as expected; how many matched.
    std::size_t expectRefusals(const RefusalKindInfo* kind, const std::string* text);
    // Every refusal counts but none fails the run (scenarios that probe bad
    // input on purpose).
    void expectEveryRefusal(bool on) { expectEveryRefusal_ = on; }
    // The run's refusals by kind; failing is settled up to the last clear
    // (and by finish()).
    const RefusalCounts& refusalCounts() const { return refusalCounts_; }
    // Those settled as failing and those of the last action that will be
    // unless an expectation matches them first.
    uint64_t failingSoFar() const;
    // The first refusals that fail the run, for a report (at most maxFailingKept).
    const std::vector<std::string>& failingRefusals() const { return failingRefusals_; }
    static constexpr std::size_t maxFailingKept = 20;
    // Warnings: what the host accepted but a panel engineer should change
    // (a panel file's control of a kind this host does not know, drawn as text).
    const std::vector<std::string>& warnings() const { return warnings_; }
    // Panel files a PS named that the loader refused, each once with its
    // one-line reason (file, JSON path, what was expected): a fault of the
    // panel's bundle rather than of its protocol, and it fails the run too.
    const std::vector<std::string>& refusedPanelFiles() const { return refusedPanelFiles_; }
    // Why a panel is not there, for a step that needs it: its file's refusal
    // when the last PS for it was refused ("panel \"1\" is not shown: FILE:
    // /controls/2/kind: ..."), else "no panel \"1\" shown".
    std::string panelNotShown(const std::string& panelId) const;
    // Ends the run: reports replies that should have come back and did not,
    // frees every reply still held, settles the refusals.
    void finish();

    // The boundary, script to host: 0 command, 5 reply handed back.
    char* callback(void* data, int32_t type) override;

private:
    struct Reply {
        std::string command;
        bool comesBack;  // the command's reply is handed back by the script
        int64_t time;
    };
    struct PendingRevertive {
        int32_t device;
        int32_t destination;
        std::string text;
    };
    // Marks a host-to-script call; replies the script never hands back are
    // freed when the outermost call returns.
    class CallScope {
    public:
        explicit CallScope(SimHost& host);
        ~CallScope();

    private:
        SimHost& host_;
    };

    // Why a command was not done: a refusal of its kind, or a line of the
    // trace only (no kind: a panel file refused, which counts on its own).
    struct CommandNote {
        std::optional<RefusalKind> kind;
        std::string text;
        bool warning = false;  // done, but not as the panel file says: a plain trace line
    };

    // A control of a shown panel of the loaded script; null with why.
    Control* loadedControl(const std::string& panelId, const std::string& controlId, std::string& error);
    char* command(const char* text);
    void handBack(char* reply);
    std::optional<std::string> execute(const std::string& text, std::vector<CommandNote>& notes);
    void fault(FaultKind kind, const std::string& what);
    void refuse(RefusalKind kind, const std::string& what);
    void settleRefusals();
    // At the end of a panel's life: registrations it never released.
    void releaseRegistrations();
    void queueRevertive(const Router& router, int32_t destination);
    void deliverRevertives();
    void freeHostOwnedReplies();

    Facility facility_;
    VirtualClock clock_;
    Trace trace_;
    std::map<std::string, Panel> panels_;
    zarn_client_callback* script_ = nullptr;
    int callDepth_ = 0;
    std::map<const char*, Reply> live_;
    // Addresses handed back, until the allocator gives them out again.
    std::map<const char*, std::string> released_;
    std::deque<PendingRevertive> revertives_;
    std::vector<std::string> recent_;
    std::size_t recentDropped_ = 0;
    uint64_t commandCount_ = 0;
    std::vector<Fault> faults_;
    std::vector<Refusal> recentRefusals_;
    RefusalCounts refusalCounts_;
    std::vector<std::string> failingRefusals_;
    bool expectEveryRefusal_ = false;
    std::vector<std::string> warnings_;
    std::set<int32_t> timersStarted_;  // timer ids started in this panel's life
    std::vector<std::string> refusedPanelFiles_;
    std::map<std::string, std::string> refusedPanels_;  // panel id: its last PS's refusal
    std::map<std::string, std::optional<std::string>> answers_;
    bool farewellSent_ = false;  // "AS" came in this panel's life
};

}  // namespace zarn_host
