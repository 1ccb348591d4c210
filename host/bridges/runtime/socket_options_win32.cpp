#include <mstcpip.h>
#include <winsock2.h>

#include "bridges/runtime/socket_options.h"

namespace zarn_host::bridges {

// Windows sends ten probes and lets only the times be set: the interval is
// shortened so that the ten take as long as probes would elsewhere.
bool setKeepAlive(NativeSocket socket, int idleS, int intervalS, int probes) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(idleS) * 1000u;
    values.keepaliveinterval = static_cast<ULONG>(intervalS) * static_cast<ULONG>(probes) * 100u;
    DWORD returned = 0;
    return WSAIoctl(static_cast<SOCKET>(socket), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
                    nullptr, nullptr) == 0;
}

}  // namespace zarn_host::bridges
