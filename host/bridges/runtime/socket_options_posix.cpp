#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "bridges/runtime/socket_options.h"

namespace zarn_host::bridges {

bool setKeepAlive(NativeSocket socket, int idleS, int intervalS, int probes) {
    const int fd = static_cast<int>(socket);
    int on = 1;
    bool ok = ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
#if defined(TCP_KEEPIDLE)
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS) == 0 && ok;
#elif defined(TCP_KEEPALIVE)
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPALIVE, &idleS, sizeof idleS) == 0 && ok;
#endif
#if defined(TCP_KEEPINTVL)
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS) == 0 && ok;
#endif
#if defined(TCP_KEEPCNT)
    ok = ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && ok;
#endif
    (void)intervalS;
    (void)probes;
    return ok;
}

}  // namespace zarn_host::bridges
