// The peers a listen address admits: IPv4 and IPv6 addresses and networks
// ("10.1.2.0/24", "192.168.1.7", "::1", "fd00:1::/32"), read from a bridge's
// "allow" key. An address check, not authentication: it keeps other
// machines off a protocol that has none of its own.
#pragma once

#include <array>
#include <asio/ip/address.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn_host::bridges {

// An IPv4 peer reaching a dual-stack IPv6 listener (::ffff:10.1.2.3) is
// matched as the IPv4 address it is, and an entry written that way
// (::ffff:10.1.2.0/120) as the IPv4 network it names; IPv4 peers match IPv4
// entries only. A list nothing was added to admits every peer: a loopback
// listener without an "allow" key.
class AllowList {
public:
    // Adds "ADDRESS" or "ADDRESS/PREFIX" (0-32, 0-128); false with a
    // one-line error naming the entry. An address with bits set past its
    // prefix is refused: it is a typing slip more often than not.
    bool add(const std::string& text, std::string& error);
    bool admits(const asio::ip::address& peer) const;
    bool admitsAll() const { return entries_.empty(); }
    // The entries, written back: "10.1.2.0/24, 192.168.1.7, ::1".
    std::string text() const;
    // The same entries, whatever their order.
    bool sameAs(const AllowList& other) const;

private:
    struct Entry {
        bool v4 = true;
        std::array<uint8_t, 16> bytes{};  // IPv4 in the first four
        unsigned prefix = 0;
        bool operator<(const Entry& o) const;
        bool operator==(const Entry& o) const;
    };
    std::vector<Entry> entries_;
};

}  // namespace zarn_host::bridges
