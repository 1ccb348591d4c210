// Sends TSL UMD v5 displays to a listener on loopback, built on the codec,
// for the interoperability tests. Each display goes in a packet of its own:
// as a UDP datagram, or over TCP in the DLE STX wrapping on a connection of
// its own.
//
// Usage: tsl_send udp|tcp PORT SCREEN DISPLAY...
// DISPLAY is INDEX:RH:TEXT_TALLY:LH:BRIGHTNESS:TEXT (lamps 0 off, 1 red,
// 2 green, 3 amber; the text is UTF-8 and may hold colons).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bridges/codecs/tsl_umd.h"

namespace tsl = zarn_host::tsl;

namespace {

bool parseDisplay(const std::string& arg, tsl::Display& d) {
    std::vector<long> numbers;
    std::size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const std::size_t colon = arg.find(':', at);
        if (colon == std::string::npos) return false;
        char* end = nullptr;
        const std::string field = arg.substr(at, colon - at);
        numbers.push_back(std::strtol(field.c_str(), &end, 10));
        if (field.empty() || *end != '\0' || numbers.back() < 0) return false;
        at = colon + 1;
    }
    if (numbers[0] > 0xFFFF || numbers[1] > 3 || numbers[2] > 3 || numbers[3] > 3 || numbers[4] > 3) return false;
    d.index = static_cast<uint16_t>(numbers[0]);
    d.rightTally = static_cast<tsl::Lamp>(numbers[1]);
    d.textTally = static_cast<tsl::Lamp>(numbers[2]);
    d.leftTally = static_cast<tsl::Lamp>(numbers[3]);
    d.brightness = static_cast<uint8_t>(numbers[4]);
    d.text = arg.substr(at);
    return true;
}

bool sendPacket(bool tcp, const sockaddr_in& to, const tsl::Bytes& packet) {
    const int fd = ::socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (fd < 0) return false;
    bool ok;
    if (tcp) {
        const tsl::Bytes wrapped = tsl::wrapTcp(packet);
        ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
             ::send(fd, wrapped.data(), wrapped.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(wrapped.size());
    } else {
        ok = ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
             static_cast<ssize_t>(packet.size());
    }
    if (!ok) std::fprintf(stderr, "tsl_send: cannot send: %s\n", std::strerror(errno));
    ::close(fd);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || (std::strcmp(argv[1], "udp") != 0 && std::strcmp(argv[1], "tcp") != 0)) {
        std::fprintf(stderr, "usage: tsl_send udp|tcp PORT SCREEN INDEX:RH:TEXT_TALLY:LH:BRIGHTNESS:TEXT...\n");
        return 2;
    }
    const bool tcp = std::strcmp(argv[1], "tcp") == 0;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    const auto screen = static_cast<uint16_t>(std::atoi(argv[3]));
    for (int i = 4; i < argc; ++i) {
        tsl::Display d;
        if (!parseDisplay(argv[i], d)) {
            std::fprintf(stderr, "tsl_send: bad display \"%s\"\n", argv[i]);
            return 2;
        }
        for (const tsl::Bytes& packet : tsl::encode(screen, {d}))
            if (!sendPacket(tcp, to, packet)) return 1;
        // One packet per read on the listener's side.
        ::usleep(20000);
    }
    return 0;
}
