// Protects on a served router: the facility's destination locks as
// controllers see them. A controller's protect is a lock held by its device
// number; a lock the host made (the facility file, a scenario step, the page)
// shows as a protect by kHostDevice.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "bridges/codecs/swp08.h"
#include "model/facility.h"

namespace zarn_host::bridges {

struct Mirror;

// The device number a lock of the host's own shows under. Controllers'
// device numbers are 0 to kHostDevice - 1: the highest number the plain
// forms carry is the host's.
inline constexpr uint16_t kHostDevice = 1023;

// The device a lock shows under on the wire.
uint16_t protectDevice(const LockOwner& owner);

// Panel thread: the protect connected and disconnected messages for the
// locks of a served router that changed since `seen` (which then holds the
// locks as they are), in destination order.
std::vector<swp08::Message> lockChanges(const Router& router, const Mirror& mirror, std::map<int32_t, LockOwner>& seen);

// I/O thread: the mirror's protects after a protect connected or
// disconnected message.
void applyProtect(Mirror& mirror, const swp08::Message& m);

// The protect dump messages of a mirror from destination `first` on,
// kProtectsPerMessage destinations each.
std::vector<swp08::Message> protectDumpFor(const swp08::Message& request, const Mirror& mirror);

}  // namespace zarn_host::bridges
