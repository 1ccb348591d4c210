// Alarm group actions: "ActionAll" applies one action to every alarm control
// ("alm_...") of panel "1", "AckAll" acknowledges them all. Only active while
// alarmHandlingEnabled is set.
#include <zarn/zarn_script_helper.h>

namespace {

constexpr int alarmPanel = 1;
const char* const alarmPrefix = "alm_";
const char* const actionProperty = "alarm";
const char* const stateProperty = "value";
const char* const acknowledgeWord = "ack";
constexpr int acknowledgeCode = 4;
constexpr int noCode = -1;
const char* const acknowledgedState = "4";

// "ack" acknowledges; a single digit is the state to set; any other text only
// reaches the controls' "alarm" property. A single non-digit (" ", "-", "x")
// would read as 0 and clear every state, so it carries no code either.
int actionCode(const zarn_string& action) {
    if (action == acknowledgeWord) return acknowledgeCode;
    if (action.length() == 1 && action.c_str()[0] >= '0' && action.c_str()[0] <= '9') return action.toInt();
    return noCode;
}

// States an acknowledge keeps; 1, negative and anything above 5 become "4".
// An empty or unreadable read-back reads as 0 and is kept.
bool keptByAcknowledge(int state) {
    return state == 0 || (state >= 2 && state <= 5);
}

// The control list comes from the host. An entry that is not an alarm control
// must not receive an alarm state, and a quote in it would break the command
// it is put into.
bool isAlarmControl(const zarn_string& control) {
    if (!control.startsWith(alarmPrefix)) return false;
    for (const char* c = control.c_str(); *c; ++c) {
        if (*c == '\'') return false;
    }
    return true;
}

}  // namespace

bool zarn_script_helper::interceptAlarmButton(const ButtonEventHandle& event) {
    if (!alarmHandlingEnabled) return false;
    const zarn_string control = event.controlId();
    if (control == "ActionAll" && event.command() == actionProperty) {
        alarmGroupAction(event.value());
        return true;
    }
    if (control == "AckAll") {
        alarmGroupAction(zarn_string(acknowledgeCode, 0, 0, 10));
        return true;
    }
    return false;
}

void zarn_script_helper::alarmGroupAction(const zarn_string& action) {
    const int code = actionCode(action);
    const zarn_string panel(alarmPanel, 0, 0, 10);
    zarn_stringlist controls = listControls(panel, alarmPrefix);
    if (controls.isEmpty()) return;

    const zarn_string codeText = code == noCode ? zarn_string() : zarn_string(code, 0, 0, 10);
    zarn_string state;
    int skipped = 0;
    zarn_string firstSkipped;
    for (zarn_stringlistIterator it = controls.begin(); it != controls.end(); ++it) {
        const zarn_string& control = *it;
        if (!isAlarmControl(control)) {
            // An empty entry (a trailing or doubled ",") names no control; not worth a report.
            if (!control.isEmpty() && skipped++ == 0) firstSkipped = control;
            continue;
        }
        setProperty(actionProperty, action, panel, control);
        if (code == acknowledgeCode) {
            textGet(stateProperty, panel, control, state);
            if (!keptByAcknowledge(state.toInt())) setProperty(stateProperty, acknowledgedState, panel, control);
        } else if (code != noCode) {
            setProperty(stateProperty, codeText, panel, control);
        }
    }
    if (skipped > 0) {
        debugPrint(
            "alarmGroupAction: %1 entries of the control list of panel \"%2\" are not alarm controls and were "
            "skipped (first: \"%3\")",
            zarn_string(skipped, 0, 0, 10), panel, firstSkipped);
    }
}
