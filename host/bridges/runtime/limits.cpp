#include "bridges/runtime/limits.h"

namespace zarn_host::bridges::limits {

const std::vector<Row>& table() {
    static const std::vector<Row> rows = {
        {"peersPerAddress", static_cast<long long>(kPeersPerAddress), ""},
        {"peersPerListener", static_cast<long long>(kPeersPerListener), ""},
        {"acceptPauseMs", kAcceptPauseMs, "ms"},
        {"swp08WaitingBytes", static_cast<long long>(kSwp08WaitingBytes), "bytes"},
        {"emberWaitingBytes", static_cast<long long>(kEmberWaitingBytes), "bytes"},
        {"umdWaitingBytes", static_cast<long long>(kUmdWaitingBytes), "bytes"},
        {"emberMessageBytes", static_cast<long long>(kEmberMessageBytes), "bytes"},
        {"emberRequestsPerSecond", kEmberRequestsPerSecond, "per second"},
        {"emberRequestBurst", kEmberRequestBurst, ""},
        {"emberQueuedMessages", kEmberQueuedMessages, ""},
        {"firstBackoffMs", kFirstBackoffMs, "ms"},
        {"mostBackoffMs", kMostBackoffMs, "ms"},
        {"settleMs", kSettleMs, "ms"},
        {"tcpKeepAliveIdleS", kTcpKeepAliveIdleS, "s"},
        {"tcpKeepAliveIntervalS", kTcpKeepAliveIntervalS, "s"},
        {"tcpKeepAliveProbes", kTcpKeepAliveProbes, ""},
        {"emberKeepAliveMs", kEmberKeepAliveMs, "ms"},
        {"pageRowsPerRequest", kPageRowsPerRequest, ""},
    };
    return rows;
}

}  // namespace zarn_host::bridges::limits
