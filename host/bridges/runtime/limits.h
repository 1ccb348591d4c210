// The bridges' limits and times, one table: the protocols read them from
// here, /api/state publishes them for the page, and a test holds
// docs/BRIDGES.md's table to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn_host::bridges::limits {

// Connections a listen address takes from one remote address, and in all;
// one more takes the place of the peer that has been silent longest.
inline constexpr std::size_t kPeersPerAddress = 16;
inline constexpr std::size_t kPeersPerListener = 64;
// After an accept fails (out of descriptors, say) the listener waits this
// long before it accepts again.
inline constexpr int kAcceptPauseMs = 500;
// Remote addresses a listen address traces as it refuses them (once each:
// a peer that keeps connecting floods no trace); others are counted only.
inline constexpr std::size_t kRefusedAddressesTraced = 256;
// Bytes that may wait for a peer that does not read before it is dropped.
inline constexpr std::size_t kSwp08WaitingBytes = 256 * 1024;
inline constexpr std::size_t kEmberWaitingBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kUmdWaitingBytes = 64 * 1024;
// The longest Ember+ message taken from a peer; a longer one drops it.
inline constexpr std::size_t kEmberMessageBytes = 1024 * 1024;
// Messages an Ember+ consumer may send in a second (and in one burst);
// beyond, it is answered at that rate. One that has more messages than
// this waiting to be answered (or more bytes of them than the longest
// message) asks far ahead of what it reads and is dropped.
inline constexpr int kEmberRequestsPerSecond = 1000;
inline constexpr int kEmberRequestBurst = 1000;
inline constexpr int kEmberQueuedMessages = 1000;
// Reconnects wait the first back-off, doubling up to the most, reset by a
// connect; a peer that has not sent what a start waits for after the
// settle time holds up no start.
inline constexpr int kFirstBackoffMs = 250;
inline constexpr int kMostBackoffMs = 5000;
inline constexpr int kSettleMs = 1000;
// TCP keep-alive on every bridge socket: the first probe after this much
// silence, then one every interval; the connection fails after the
// probes go unanswered (about 30 s in all).
inline constexpr int kTcpKeepAliveIdleS = 10;
inline constexpr int kTcpKeepAliveIntervalS = 5;
inline constexpr int kTcpKeepAliveProbes = 4;
// An Ember+ peer silent this long is sent a keep-alive request; one that
// then stays silent as long again is dropped.
inline constexpr int kEmberKeepAliveMs = 10000;
struct Row {
    const char* key;  // the name /api/state ("limits": {"bridges": ...}) and the documents use
    long long value;
    const char* unit;     // "", "bytes", "ms", "s", "per second"
    const char* meaning;  // one line for the documents' table
};

// Every limit above, in the order above.
const std::vector<Row>& table();
// The table as docs/BRIDGES.md has it: "| `key` | value | meaning |" lines.
std::string tableMarkdown();

}  // namespace zarn_host::bridges::limits
