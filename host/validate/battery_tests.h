// The battery's tests that live outside battery.cpp, and what they share
// with it. Each test runs one probe against a panel's entry point.
#pragma once

#include <string>
#include <vector>

#include "validate/session.h"

namespace zarn_host {
namespace validate {

// The commands whose replies the panel reads: its look-ups.
std::vector<std::string> lookups();

// battery_hostile.cpp
void hostileInput(Probe& probe, load_zarn_client_script_fn entry);
void hostileRevertives(Probe& probe, load_zarn_client_script_fn entry);
void hostileTimers(Probe& probe, load_zarn_client_script_fn entry);

// battery_refusals.cpp
void refusedControls(Probe& probe, load_zarn_client_script_fn entry);
void refusedNumbers(Probe& probe, load_zarn_client_script_fn entry);
void refusedRegistrations(Probe& probe, load_zarn_client_script_fn entry);

}  // namespace validate
}  // namespace zarn_host
