#include <winsock2.h>
// After winsock2.h, whose types it uses.
#include <mstcpip.h>

#include <algorithm>

#include "bridges/runtime/socket_options.h"

namespace zarn_host::bridges {

// SIO_KEEPALIVE_VALS sets the times, in milliseconds, and turns keep-alive
// on; Windows then sends ten probes, a count the call cannot change, so the
// interval is shortened to make the ten take as long as the probes asked for
// (probes × intervalS). Negative or zero inputs count as one.
bool setKeepAlive(NativeSocket socket, int idleS, int intervalS, int probes) {
    const auto atLeastOne = [](int n) { return static_cast<ULONG>(std::max(n, 1)); };
    constexpr ULONG kWindowsProbes = 10;
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = atLeastOne(idleS) * 1000u;
    values.keepaliveinterval = std::max<ULONG>(atLeastOne(intervalS) * atLeastOne(probes) * 1000u / kWindowsProbes, 1u);
    DWORD returned = 0;
    return WSAIoctl(static_cast<SOCKET>(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
                    nullptr, nullptr) == 0;
}

}  // namespace zarn_host::bridges
