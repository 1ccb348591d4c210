// A listen address of any protocol: accepts connections as PeerLinks with a
// limit per remote address and in all. A connection beyond either takes the
// place of the peer (of that address, or of all) silent longest, so idle
// connections cannot lock a working controller out. An accept that fails
// (out of descriptors, say) is traced, counted and retried after a pause
// rather than at once. A peer its allow list does not admit is closed as it
// is accepted, before a byte is read: counted, and traced once per address.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "bridges/runtime/allow_list.h"
#include "bridges/runtime/facility_keys.h"
#include "bridges/runtime/limits.h"
#include "bridges/runtime/peer_link.h"

namespace zarn_host::bridges {

class Runtime;

struct ListenerLimits {
    std::size_t perAddress = limits::kPeersPerAddress;
    std::size_t total = limits::kPeersPerListener;
    std::size_t maxWaiting = limits::kSwp08WaitingBytes;  // each link's
    int acceptPauseMs = limits::kAcceptPauseMs;
};

// Made and opened on the panel thread before the I/O thread runs; then the
// I/O thread's, but for the counters, atomics the page reads.
class PeerListener {
public:
    // I/O thread: a new peer, its link not started yet. The owner starts
    // it and keeps it while it wants the peer.
    using Accepted = std::function<void(std::shared_ptr<PeerLink> link)>;

    // what: "swp08", "emberplus"; peers: "controller", "consumer".
    PeerListener(Runtime& rt, Endpoint at, std::string what, std::string peers, ListenerLimits limits = {});
    // False with a one-line error when the address cannot be listened on,
    // or is one other machines reach and allow admits every peer.
    bool open(std::string& error);
    void accept(Accepted accepted);
    // Closes the acceptor and every peer it accepted (as LinkEnd::local).
    void close();

    const Endpoint at;
    const ListenerLimits limits;
    // The peers admitted; set on the panel thread before open.
    AllowList allow;
    std::atomic<int> connected{0};
    // Peers accepted, dropped for a new one, dropped as not reading or
    // silent, accepts that failed, and peers the allow list refused.
    std::atomic<uint64_t> accepted{0}, evicted{0}, dropped{0}, acceptErrors{0}, refused{0};
    // Adds the counters to a bridge's row of the page.
    void addCounters(nlohmann::json& row) const;

private:
    void acceptNext();
    void makeRoom(const asio::ip::address& from);
    // Closes a peer allow does not admit; true when it did.
    bool refuse(asio::ip::tcp::socket& socket);
    Runtime& rt_;
    std::string what_, peers_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer pause_;
    Accepted onAccepted_;
    std::vector<std::shared_ptr<PeerLink>> links_;
    std::set<asio::ip::address> refusedTraced_;  // at most limits::kRefusedAddressesTraced
};

}  // namespace zarn_host::bridges
