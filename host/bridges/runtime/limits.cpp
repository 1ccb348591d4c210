#include "bridges/runtime/limits.h"

namespace zarn_host::bridges::limits {

const std::vector<Row>& table() {
    static const std::vector<Row> rows = {
        {"peersPerAddress", static_cast<long long>(kPeersPerAddress), "",
         "connections a listen address takes from one remote address; one more replaces that address's peer silent "
         "longest"},
        {"peersPerListener", static_cast<long long>(kPeersPerListener), "",
         "connections a listen address takes in all; one more replaces the peer silent longest"},
        {"acceptPauseMs", kAcceptPauseMs, "ms", "the wait after an accept fails (out of descriptors) before the next"},
        {"refusedAddressesTraced", static_cast<long long>(kRefusedAddressesTraced), "",
         "remote addresses a listen address traces (once each) as its allow list refuses them; others are counted "
         "only"},
        {"swp08WaitingBytes", static_cast<long long>(kSwp08WaitingBytes), "bytes",
         "bytes waiting for an SW-P-08 peer that does not read before it is dropped"},
        {"emberWaitingBytes", static_cast<long long>(kEmberWaitingBytes), "bytes",
         "bytes waiting for an Ember+ peer that does not read before it is dropped"},
        {"umdWaitingBytes", static_cast<long long>(kUmdWaitingBytes), "bytes",
         "bytes waiting for a TSL UMD TCP display that does not read before it is connected again"},
        {"emberMessageBytes", static_cast<long long>(kEmberMessageBytes), "bytes",
         "the longest Ember+ message taken from a peer; a longer one drops it"},
        {"emberRequestsPerSecond", kEmberRequestsPerSecond, "per second",
         "messages an Ember+ consumer is answered a second once past its burst"},
        {"emberRequestBurst", kEmberRequestBurst, "", "messages an Ember+ consumer is answered at once"},
        {"emberQueuedMessages", kEmberQueuedMessages, "",
         "an Ember+ consumer's messages waiting for the rate; one more drops it"},
        {"firstBackoffMs", kFirstBackoffMs, "ms", "the first wait before a client reconnects; each next one doubles"},
        {"mostBackoffMs", kMostBackoffMs, "ms", "the longest wait before a client reconnects"},
        {"settleMs", kSettleMs, "ms", "how long a first connect's read holds up the start at most after the connect"},
        {"tcpKeepAliveIdleS", kTcpKeepAliveIdleS, "s",
         "TCP keep-alive on every bridge socket: the first probe after "
         "this much silence"},
        {"tcpKeepAliveIntervalS", kTcpKeepAliveIntervalS, "s", "then one probe every interval"},
        {"tcpKeepAliveProbes", kTcpKeepAliveProbes, "", "probes unanswered before the connection fails"},
        {"emberKeepAliveMs", kEmberKeepAliveMs, "ms",
         "an Ember+ peer silent this long is sent a keep-alive request; silent as long again, it is dropped"},
    };
    return rows;
}

std::string tableMarkdown() {
    std::string out;
    for (const Row& row : table()) {
        out += std::string("| `") + row.key + "` | " + std::to_string(row.value) +
               (*row.unit ? std::string(" ") + row.unit : std::string()) + " | " + row.meaning + " |\n";
    }
    return out;
}

}  // namespace zarn_host::bridges::limits
