/// @file
/// zarn_script_helper: the base every panel script derives from, and the
/// handles through which its hooks read host records.
#pragma once

#include <zarn/param_command.h>
#include <zarn/zarn_client.h>
#include <zarn/zarn_string.h>
#include <zarn/zarn_stringlist.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <unordered_set>

/// A button event as onButton receives it. Like every handle it is one
/// pointer wide; its readers take a null record or text as empty or 0, and
/// every text is copied, so it stays valid after the hook returns.
class ButtonEventHandle {
public:
    /// Reads event, which may be null.
    explicit ButtonEventHandle(const ButtonEvent* event) : event_(event) {}
    /// The host's record; valid only during the notification.
    const ButtonEvent* record() const { return event_; }
    zarn_string panelId() const;    ///< The panel the control is on.
    zarn_string controlId() const;  ///< The control's id.
    zarn_string command() const;    ///< The details' command; empty without details.
    zarn_string value() const;      ///< The details' value (a list pick: the entry's value); empty without details.

private:
    const ButtonEvent* event_;
};

/// A revertive as onRevertive receives it; read like ButtonEventHandle.
class RevertiveEventHandle {
public:
    /// Reads event, which may be null.
    explicit RevertiveEventHandle(const RevertiveEvent* event) : event_(event) {}
    /// The host's record; valid only during the notification.
    const RevertiveEvent* record() const { return event_; }
    // Inline: every revertive reads all three.
    /// The device number the revertive comes from.
    int32_t device() const { return event_ ? event_->device : 0; }
    /// For a router, the destination that changed.
    int32_t index() const { return event_ ? event_->index : 0; }
    /// The whole revertive text (for a router, the source's name), up to its NUL.
    zarn_string text() const { return event_ ? zarn_string(event_->text()) : zarn_string(); }

private:
    const RevertiveEvent* event_;
};

/// A parent message as onParentMessage receives it, already split; read
/// like ButtonEventHandle.
class ParamCommandHandle {
public:
    /// Reads message, which may be null.
    explicit ParamCommandHandle(const ParamCommand* message) : message_(message) {}
    /// The parsed message, sub-fields included; valid only during the notification.
    const ParamCommand* record() const { return message_; }
    zarn_string command() const;  ///< Text before the first "." or "=".
    zarn_string value() const;    ///< Text after the first "=".

private:
    const ParamCommand* message_;
};

/// A TP for one property of one control, prepared for a value that changes
/// often (a tally, say): the command text around the value is assembled once,
/// and zarn_script_helper::setProperty(prepared, value) sends the same
/// command as setProperty(property, value, panel, control).
class PreparedProperty {
public:
    /// Prepares the TP that sets property of control on panel.
    PreparedProperty(const zarn_string& property, const zarn_string& panel, const zarn_string& control);

private:
    friend class zarn_script_helper;
    static constexpr std::size_t localCapacity = 64;
    // "TP 'property=" followed by "' 'panel' 'control'": inside the object
    // when they fit (a tally's do, so preparing one allocates nothing), in
    // long_ otherwise.
    const char* text() const { return size_ < localCapacity ? local_ : long_.c_str(); }
    char local_[localCapacity];
    std::size_t headSize_;
    std::size_t size_;
    zarn_string long_;
};

/// A type-6 record: passed through, not interpreted.
struct RecordHandle {
    void* data;  ///< The host's pointer as it came.
};

/// The base every panel script derives from.
///
/// Turns the host's numbered notifications into virtual hooks, owns the memory
/// rules of the boundary and carries the host command operations. A panel only
/// overrides hooks and calls the command operations. Without a host every
/// command sends nothing and gives its empty, zero or false result (showPanel
/// alone gives true).
class zarn_script_helper : public zarn_client_callback {
public:
    /// host receives the commands and may be null; path is the folder of the
    /// panel's files and may be null (read as empty).
    zarn_script_helper(zarn_client_callback* host, const char* path);
    /// Sends "AS" when there is a host; frees type-3 replies never handed back.
    ~zarn_script_helper() override;
    zarn_script_helper(const zarn_script_helper&) = delete;             ///< Not copyable: one object per panel.
    zarn_script_helper& operator=(const zarn_script_helper&) = delete;  ///< Not assignable.

    /// The dispatcher: 1 revertive, 2 button, 3 parent message (returns a reply
    /// buffer or null), 4 timer, 5 frees a type-3 reply, 6 record, 7 value.
    /// Everything else is ignored and yields null.
    char* callback(void* data, int32_t type) override;

    // Hooks, in virtual table order after callback.

    /// A button press or list pick (type 2). While alarmHandlingEnabled is on,
    /// the alarm group buttons "ActionAll" and "AckAll" are handled by the base
    /// and never get here.
    virtual void onButton(ButtonEventHandle event) = 0;
    /// A revertive (type 1); the result is not used.
    virtual int32_t onRevertive(RevertiveEventHandle event) = 0;
    /// A parent message (type 3). A non-empty result goes to the host as the
    /// reply; an empty one is answered with null.
    virtual zarn_string onParentMessage(ParamCommandHandle message) = 0;
    /// An integer notification (type 7). Does nothing unless overridden.
    virtual void onValueEvent(int32_t& value);
    /// A timer started with startTimer fired (type 4).
    virtual void onTimer(int32_t id) = 0;
    /// A record notification (type 6). Does nothing unless overridden.
    virtual void onRecordEvent(RecordHandle record);

    /// Writes format, its placeholders "%1".."%9" filled with a1..a9 in one
    /// pass, to the debug output.
    void debugPrint(const zarn_string& format, const zarn_string& a1 = zarn_string(),
                    const zarn_string& a2 = zarn_string(), const zarn_string& a3 = zarn_string(),
                    const zarn_string& a4 = zarn_string(), const zarn_string& a5 = zarn_string(),
                    const zarn_string& a6 = zarn_string(), const zarn_string& a7 = zarn_string(),
                    const zarn_string& a8 = zarn_string(), const zarn_string& a9 = zarn_string());

    // Host commands. Each sends at most one command and reads at most one
    // reply; the two-letter command word is given for each.

    /// SD: looks up a device instance by name. The host answers
    /// "<device> <offset>": *device is the instance's device number, *offset
    /// the second token, where the instance starts within its device. The
    /// panel adds it to the numbers it names on that instance: a router
    /// instance's destinations (RC's destination, RR's and RP's range) and a
    /// database instance's entries (RN), not to sources, which are the
    /// router's own; a revertive's index is the device's (instance offset 64:
    /// the instance's destination 1 is the device's 65). The simulated host
    /// answers the instance's "offset" from the facility file, 0 when it has
    /// none. Either pointer may be null; each token is read by
    /// its leading digits, a missing one as 0. False, with both set to 0, when
    /// the host answered nothing (no such instance, or its device offline).
    bool lookupDevice(zarn_string instanceName, int32_t* device, int32_t* offset);
    /// XI: the ids of the panel's controls that begin with prefix, in panel order.
    zarn_stringlist listControls(const zarn_string& panel, const zarn_string& prefix);
    /// PS: shows file (in the panel's folder) as panel, with an optional
    /// parameter; false when the host answered null.
    bool showPanel(const zarn_string& panel, const zarn_string& file, const zarn_string& parameter);
    /// RC: routes source to destination on the router device. extra and flag
    /// are passed through for the host: the command carries extra as free
    /// text after a comma in its fourth argument and flag as 1 or 0 in its
    /// fifth ("RC 7 2 1 ',EXTRA' 1"); what they mean is the facility host's
    /// (the simulated host ignores both). Give an empty extra and false when
    /// the facility asks for nothing else.
    void makeCrosspoint(int32_t device, int32_t source, int32_t destination, const zarn_string& extra, bool flag);
    /// RN: sets entry to entry index of the device's database; a null answer
    /// leaves entry unchanged.
    void readDatabaseEntry(int32_t device, int32_t database, int32_t index, zarn_string& entry);
    /// RP: asks the router for revertives of destinations first to last.
    void pollRouter(int32_t device, int32_t first, int32_t last);
    /// RR: registers for revertives of destinations first to last; add keeps
    /// the device's earlier registrations, otherwise they are replaced.
    void registerRouter(int32_t device, int32_t first, int32_t last, bool add);
    /// RU: ends every registration for the device.
    void unregisterRouter(int32_t device);
    /// ET: starts timer id firing every interval milliseconds; interval 0 stops it.
    void startTimer(int32_t id, int32_t interval);
    /// ET: stops timer id.
    void stopTimer(int32_t id);
    /// TP: sets the control's property to value.
    void setProperty(const zarn_string& property, const zarn_string& value, const zarn_string& panel,
                     const zarn_string& control);
    /// TP: the same with value as a text (null reads as empty), written into
    /// the command without a copy of its own: for a text the host gave, such
    /// as a revertive's (RevertiveEventHandle::record()->text()).
    void setProperty(const zarn_string& property, const char* value, const zarn_string& panel,
                     const zarn_string& control) {
        // Inline, so that the length of a literal value is known when compiling.
        const char* const text = value != nullptr ? value : "";
        sendProperty(property, text, std::strlen(text), panel, control);
    }
    /// TP: the prepared property set to value (null reads as empty).
    void setProperty(const PreparedProperty& target, const char* value);
    /// TP: sends text ("property=value") as it is to the control.
    void setPropertyText(const zarn_string& text, const zarn_string& panel, const zarn_string& control);
    /// TG: sets value to the control's property ("all": the host's whole
    /// answer). An answer for another property is reported on the debug
    /// output and gives the empty text, as does no answer.
    void textGet(const zarn_string& property, const zarn_string& panel, const zarn_string& control, zarn_string& value);

    /// Applies one action to every "alm_" control of panel "1", as the alarm
    /// group buttons do.
    void alarmGroupAction(const zarn_string& action);

protected:
    /// Null without a host; otherwise host->callback(text, 0).
    char* sendCommand(const char* text);
    /// Hands a command reply back to the host with type 5.
    void releaseReply(char* reply);

    zarn_client_callback* host;  ///< The host the commands go to; may be null.
    zarn_string scriptPath;      ///< The panel's folder, as the host gave it.
    /// When on, the base handles the alarm group buttons; off unless the panel sets it.
    bool alarmHandlingEnabled;

private:
    // While alarmHandlingEnabled: handles "ActionAll"/"AckAll"; true when the
    // event was taken away from onButton.
    bool interceptAlarmButton(const ButtonEventHandle& event);
    // callback for everything but a revertive with its record.
    char* dispatch(void* data, int32_t type);
    // The TP of setProperty with a text value of size bytes.
    void sendProperty(const zarn_string& property, const char* value, std::size_t size, const zarn_string& panel,
                      const zarn_string& control);
    char* replyToParent(void* text);
    void releaseParentReply(void* reply);

    // Type-3 replies handed to the host and not yet handed back.
    std::unordered_set<const void*> outstandingReplies_;
};
