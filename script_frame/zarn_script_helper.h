// zarn_script_helper: the base every panel script derives from.
//
// Turns the host's numbered notifications into virtual hooks, owns the memory
// rules of the boundary and carries the host command operations. A panel only
// overrides hooks and calls the command operations.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "script_frame/param_command.h"
#include "script_frame/zarn_client.h"
#include "zarn_string/zarn_string.h"
#include "zarn_string/zarn_stringlist.h"

// Handles, one pointer wide, through which hooks read host records. Every
// reader tolerates null pointers (record or text) and reads them as empty/0,
// and every text is copied, so it stays valid after the hook returns.
class ButtonEventHandle {
public:
    explicit ButtonEventHandle(const ButtonEvent* event) : event_(event) {}
    const ButtonEvent* record() const { return event_; }
    zarn_string panelId() const;
    zarn_string controlId() const;
    zarn_string command() const;  // details command
    zarn_string value() const;    // details value

private:
    const ButtonEvent* event_;
};

class RevertiveEventHandle {
public:
    explicit RevertiveEventHandle(const RevertiveEvent* event) : event_(event) {}
    const RevertiveEvent* record() const { return event_; }
    // Inline: every revertive reads all three.
    int32_t device() const { return event_ ? event_->device : 0; }
    int32_t index() const { return event_ ? event_->index : 0; }
    // The whole text, up to its NUL.
    zarn_string text() const { return event_ ? zarn_string(event_->text()) : zarn_string(); }

private:
    const RevertiveEvent* event_;
};

class ParamCommandHandle {
public:
    explicit ParamCommandHandle(const ParamCommand* message) : message_(message) {}
    const ParamCommand* record() const { return message_; }
    zarn_string command() const;
    zarn_string value() const;

private:
    const ParamCommand* message_;
};

// A type-6 record: passed through, not interpreted.
struct RecordHandle {
    void* data;
};

class zarn_script_helper : public zarn_client_callback {
public:
    // path may be null (read as empty).
    zarn_script_helper(zarn_client_callback* host, const char* path);
    // Sends "AS" when there is a host; frees type-3 replies never handed back.
    ~zarn_script_helper() override;
    zarn_script_helper(const zarn_script_helper&) = delete;
    zarn_script_helper& operator=(const zarn_script_helper&) = delete;

    // The dispatcher: 1 revertive, 2 button, 3 parent message (returns a reply
    // buffer or null), 4 timer, 5 frees a type-3 reply, 6 record, 7 value.
    // Everything else is ignored and yields null.
    char* callback(void* data, int32_t type) override;

    // Hooks, in virtual table order after callback.
    virtual void onButton(ButtonEventHandle event) = 0;
    virtual int32_t onRevertive(RevertiveEventHandle event) = 0;
    virtual zarn_string onParentMessage(ParamCommandHandle message) = 0;
    virtual void onValueEvent(int32_t& value);
    virtual void onTimer(int32_t id) = 0;
    virtual void onRecordEvent(RecordHandle record);

    // Writes format, placeholders filled with a1..a9, to the debug output.
    void debugPrint(const zarn_string& format, const zarn_string& a1 = zarn_string(),
                    const zarn_string& a2 = zarn_string(), const zarn_string& a3 = zarn_string(),
                    const zarn_string& a4 = zarn_string(), const zarn_string& a5 = zarn_string(),
                    const zarn_string& a6 = zarn_string(), const zarn_string& a7 = zarn_string(),
                    const zarn_string& a8 = zarn_string(), const zarn_string& a9 = zarn_string());

    // Host commands. Each sends at most one command and reads at most one reply.
    bool lookupDevice(zarn_string instanceName, int32_t* device, int32_t* offset);                    // SD
    zarn_stringlist listControls(const zarn_string& panel, const zarn_string& prefix);                // XI
    bool showPanel(const zarn_string& panel, const zarn_string& file, const zarn_string& parameter);  // PS
    void makeCrosspoint(int32_t device, int32_t source, int32_t destination, const zarn_string& extra,
                        bool flag);                                                               // RC
    void readDatabaseEntry(int32_t device, int32_t database, int32_t index, zarn_string& entry);  // RN
    void pollRouter(int32_t device, int32_t first, int32_t last);                                 // RP
    void registerRouter(int32_t device, int32_t first, int32_t last, bool add);                   // RR
    void unregisterRouter(int32_t device);                                                        // RU
    void startTimer(int32_t id, int32_t interval);                                                // ET
    void stopTimer(int32_t id);                                                                   // ET
    void setProperty(const zarn_string& property, const zarn_string& value, const zarn_string& panel,
                     const zarn_string& control);                                                         // TP
    void setPropertyText(const zarn_string& text, const zarn_string& panel, const zarn_string& control);  // TP
    void textGet(const zarn_string& property, const zarn_string& panel, const zarn_string& control,
                 zarn_string& value);  // TG

    // Applies one action to every "alm_" control of panel "1".
    void alarmGroupAction(const zarn_string& action);

protected:
    // Null without a host; otherwise host->callback(text, 0).
    char* sendCommand(const char* text);
    // Hands a command reply back to the host with type 5.
    void releaseReply(char* reply);

    zarn_client_callback* host;
    zarn_string scriptPath;
    bool alarmHandlingEnabled;

private:
    // While alarmHandlingEnabled: handles "ActionAll"/"AckAll"; true when the
    // event was taken away from onButton.
    bool interceptAlarmButton(const ButtonEventHandle& event);
    char* replyToParent(void* text);
    void releaseParentReply(void* reply);

    // Type-3 replies handed to the host and not yet handed back.
    std::unordered_set<const void*> outstandingReplies_;
};
