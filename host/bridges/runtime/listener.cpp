#include "bridges/runtime/listener.h"

#include <algorithm>

#include "bridges/runtime/runtime.h"
#include "bridges/runtime/tcp.h"
#include "text/address.h"

namespace zarn_host::bridges {

using asio::ip::tcp;

PeerListener::PeerListener(Runtime& rt, Endpoint at, std::string what, std::string peers, ListenerLimits limits)
    : at(std::move(at)),
      limits(limits),
      rt_(rt),
      what_(std::move(what)),
      peers_(std::move(peers)),
      acceptor_(rt.io()),
      pause_(rt.io()) {}

bool PeerListener::open(std::string& error) {
    // The facility file's reader says so first, with the key's path.
    if (allow.admitsAll() && !isLoopbackHost(at.host)) {
        error = what_ + " listen " + at.text() + ": an address other machines reach needs an \"allow\" list";
        return false;
    }
    return listenOn(acceptor_, at, what_ + " listen", error);
}

void PeerListener::accept(Accepted accepted) {
    onAccepted_ = std::move(accepted);
    acceptNext();
}

void PeerListener::acceptNext() {
    acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (ec) {
            // Out of descriptors the connection stays in the backlog and
            // the next accept fails at once: wait instead of spinning.
            if (acceptErrors++ == 0 || acceptErrors % 100 == 0) {
                rt_.trace(what_ + " " + at.text() + ": accept failed (" + ec.message() + "); pausing " +
                          std::to_string(limits.acceptPauseMs) + " ms (" + std::to_string(acceptErrors.load()) +
                          " so far)");
            }
            pause_.expires_after(std::chrono::milliseconds(limits.acceptPauseMs));
            pause_.async_wait([this](const asio::error_code& e) {
                if (!e) acceptNext();
            });
            return;
        }
        if (refuse(socket)) {
            acceptNext();
            return;
        }
        tuneSocket(socket);
        auto link = std::make_shared<PeerLink>(std::move(socket), limits.maxWaiting);
        makeRoom(link->address());
        links_.push_back(link);
        ++connected;
        ++accepted;
        std::weak_ptr<PeerLink> weak = link;
        link->onDetach([this, weak] {
            auto it = std::find_if(links_.begin(), links_.end(),
                                   [&](const std::shared_ptr<PeerLink>& l) { return l == weak.lock(); });
            if (it == links_.end()) return;
            const LinkEnd end = (*it)->end();
            if (end == LinkEnd::not_reading || end == LinkEnd::silent) ++dropped;
            links_.erase(it);
            --connected;
        });
        rt_.trace(what_ + " " + at.text() + ": " + peers_ + " " + link->peer() + " connected");
        onAccepted_(link);
        acceptNext();
    });
}

bool PeerListener::refuse(tcp::socket& socket) {
    if (allow.admitsAll()) return false;
    asio::error_code ec;
    const tcp::endpoint from = socket.remote_endpoint(ec);
    if (!ec && allow.admits(from.address())) return false;
    socket.close(ec);
    ++refused;
    if (!ec && refusedTraced_.size() < limits::kRefusedAddressesTraced &&
        refusedTraced_.insert(from.address()).second) {
        rt_.trace(what_ + " " + at.text() + ": " + peers_ + " " + from.address().to_string() +
                  " refused: not in the \"allow\" list (" + allow.text() +
                  "); its further connections are counted (peers.refused), not traced" +
                  (refusedTraced_.size() == limits::kRefusedAddressesTraced
                       ? "; the addresses refused from now on are counted only"
                       : ""));
    }
    return true;
}

// The peer silent longest among those of from when it has its share, else
// among all when the listener is full, makes way for the new one.
void PeerListener::makeRoom(const asio::ip::address& from) {
    std::size_t ofFrom = 0;
    for (const auto& l : links_) ofFrom += l->address() == from ? 1 : 0;
    const bool addressFull = ofFrom >= limits.perAddress;
    if (!addressFull && links_.size() < limits.total) return;
    std::shared_ptr<PeerLink> oldest;
    for (const auto& l : links_) {
        if (addressFull && l->address() != from) continue;
        if (!oldest || l->lastHeard() < oldest->lastHeard()) oldest = l;
    }
    if (!oldest) return;
    ++evicted;
    rt_.trace(what_ + " " + at.text() + ": " + peers_ + " " + oldest->peer() + " dropped for a new one: " +
              (addressFull ? std::to_string(limits.perAddress) + " connected from " + from.to_string()
                           : std::to_string(limits.total) + " connected") +
              ", it was silent longest");
    oldest->close(LinkEnd::evicted);
}

void PeerListener::addCounters(nlohmann::json& row) const {
    row["peers"] = {{"accepted", accepted.load()},
                    {"evicted", evicted.load()},
                    {"dropped", dropped.load()},
                    {"acceptErrors", acceptErrors.load()},
                    {"refused", refused.load()}};
    if (!allow.admitsAll()) row["allow"] = allow.text();
}

void PeerListener::close() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    pause_.cancel();
    auto all = links_;
    for (const auto& l : all) l->close();
    links_.clear();
}

}  // namespace zarn_host::bridges
