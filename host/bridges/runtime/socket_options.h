// Socket options whose spelling differs by platform (socket_options_posix.cpp,
// socket_options_win32.cpp).
#pragma once

#include <cstdint>

namespace zarn_host::bridges {

// A connected socket's native handle (a descriptor, or a Windows SOCKET).
using NativeSocket = std::uintptr_t;

// Turns TCP keep-alive on: the first probe after idleS seconds of silence,
// then one every intervalS, the connection failing when probes go
// unanswered (where the platform lets the count be set; elsewhere its own
// count, the times spread so a dead peer is found as soon). False when the
// system refused it; the connection works either way.
bool setKeepAlive(NativeSocket socket, int idleS, int intervalS, int probes);

}  // namespace zarn_host::bridges
