#include "bridges/runtime/allow_list.h"

#include <algorithm>
#include <string>
#include <tuple>

#include "text/command_text.h"

namespace zarn_host::bridges {
namespace {

// The address as IPv4 when it is one mapped into IPv6.
asio::ip::address unmapped(const asio::ip::address& a) {
    if (a.is_v6() && a.to_v6().is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
    return a;
}

// The first bits of value and network agree.
bool samePrefix(const uint8_t* value, const uint8_t* network, unsigned bits) {
    for (unsigned i = 0; bits > 0; ++i) {
        const unsigned take = bits < 8 ? bits : 8;
        const auto mask = static_cast<uint8_t>(0xFF << (8 - take));
        if ((value[i] & mask) != (network[i] & mask)) return false;
        bits -= take;
    }
    return true;
}

// Four decimal numbers 0-255 without leading zeros, joined by dots: the
// one IPv4 form taken, whatever else the system's parser accepts ("10.1.2"
// and "010.1.2.3" are addresses to some).
bool dottedQuad(const std::string& text) {
    std::size_t parts = 0, start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
            (part.size() > 1 && part[0] == '0') || std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

}  // namespace

bool AllowList::Entry::operator<(const Entry& o) const {
    return std::tie(v4, bytes, prefix) < std::tie(o.v4, o.bytes, o.prefix);
}

bool AllowList::Entry::operator==(const Entry& o) const {
    return v4 == o.v4 && bytes == o.bytes && prefix == o.prefix;
}

bool AllowList::add(const std::string& text, std::string& error) {
    const std::string quoted = "\"" + printable(text, 60) + "\"";
    const std::size_t slash = text.find('/');
    const std::string address = text.substr(0, slash);
    // A scope (fe80::1%eth0) names an interface, not a peer; asio would take it.
    const bool v6 = address.find(':') != std::string::npos;
    if (address.empty() || address.find('%') != std::string::npos ||
        address.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos || (!v6 && !dottedQuad(address))) {
        error = quoted + " is not an IP address or network such as \"10.1.2.0/24\" or \"::1\"";
        return false;
    }
    asio::error_code ec;
    asio::ip::address parsed = asio::ip::make_address(address, ec);
    if (ec) {
        error = quoted + " is not an IP address or network such as \"10.1.2.0/24\" or \"::1\"";
        return false;
    }
    const unsigned most = parsed.is_v4() ? 32 : 128;
    unsigned prefix = most;
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        int32_t n = -1;
        if (bits.empty() || bits.size() > 3 || bits.find_first_not_of("0123456789") != std::string::npos ||
            !parseInt32(bits, n) || n < 0 || static_cast<unsigned>(n) > most) {
            error = quoted + ": the prefix after \"/\" is a number from 0 to " + std::to_string(most);
            return false;
        }
        prefix = static_cast<unsigned>(n);
    }
    Entry e;
    if (parsed.is_v6() && parsed.to_v6().is_v4_mapped() && prefix >= 96) {
        parsed = unmapped(parsed);
        prefix -= 96;
    }
    e.v4 = parsed.is_v4();
    e.prefix = prefix;
    if (e.v4) {
        const auto b = parsed.to_v4().to_bytes();
        std::copy(b.begin(), b.end(), e.bytes.begin());
    } else {
        e.bytes = parsed.to_v6().to_bytes();
    }
    Entry network = e;
    const unsigned size = e.v4 ? 4 : 16;
    for (unsigned bit = prefix; bit < size * 8; ++bit)
        network.bytes[bit / 8] &= static_cast<uint8_t>(~(0x80 >> (bit % 8)));
    if (!(network == e)) {
        AllowList one;
        one.entries_.push_back(network);
        error = quoted + " has bits set past its prefix: the network is \"" + one.text() + "\"";
        return false;
    }
    entries_.push_back(e);
    return true;
}

bool AllowList::admits(const asio::ip::address& peer) const {
    if (entries_.empty()) return true;
    const asio::ip::address a = unmapped(peer);
    std::array<uint8_t, 16> bytes{};
    if (a.is_v4()) {
        const auto b = a.to_v4().to_bytes();
        std::copy(b.begin(), b.end(), bytes.begin());
    } else {
        bytes = a.to_v6().to_bytes();
    }
    for (const Entry& e : entries_) {
        if (e.v4 == a.is_v4() && samePrefix(bytes.data(), e.bytes.data(), e.prefix)) return true;
    }
    return false;
}

std::string AllowList::text() const {
    std::string out;
    for (const Entry& e : entries_) {
        std::string address;
        if (e.v4) {
            address = asio::ip::address_v4({e.bytes[0], e.bytes[1], e.bytes[2], e.bytes[3]}).to_string();
        } else {
            address = asio::ip::address_v6(e.bytes).to_string();
        }
        if (e.prefix != (e.v4 ? 32u : 128u)) address += "/" + std::to_string(e.prefix);
        out += (out.empty() ? "" : ", ") + address;
    }
    return out;
}

bool AllowList::sameAs(const AllowList& other) const {
    auto mine = entries_;
    auto theirs = other.entries_;
    std::sort(mine.begin(), mine.end());
    std::sort(theirs.begin(), theirs.end());
    mine.erase(std::unique(mine.begin(), mine.end()), mine.end());
    theirs.erase(std::unique(theirs.begin(), theirs.end()), theirs.end());
    return mine == theirs;
}

}  // namespace zarn_host::bridges
