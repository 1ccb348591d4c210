// Alarm group actions: placeholder until the interception is built.
#include "script_frame/zarn_script_helper.h"

bool zarn_script_helper::interceptAlarmButton(const ButtonEventHandle&) { return false; }

void zarn_script_helper::alarmGroupAction(const zarn_string&) {}
