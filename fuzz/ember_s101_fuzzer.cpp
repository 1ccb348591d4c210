// The Ember+ framing decoder: any bytes, in any pieces, give events and no
// crash; each message it yields, framed again at any packet size, decodes to
// itself; and a message made from the input comes back through framing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/ember_s101.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

namespace ember = zarn_host::ember;

namespace {

std::vector<ember::S101Event> refeed(const std::vector<ember::Bytes>& packets) {
    ember::S101Decoder d;
    std::vector<ember::S101Event> events;
    for (const ember::Bytes& p : packets) d.feed(p.data(), p.size(), events);
    return events;
}

void checkMessage(const ember::Bytes& message, std::size_t perPacket) {
    const auto events = refeed(ember::frameMessage(message, perPacket));
    FUZZ_CHECK(events.size() == 1 && events[0].kind == ember::S101Event::Kind::message);
    FUZZ_CHECK(events[0].message == message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::size_t perPacket = 1 + in.byte() * 8u;
    if (in.flag()) {
        const std::string rest = in.rest();
        checkMessage(ember::Bytes(rest.begin(), rest.end()), perPacket);
        return 0;
    }
    const std::size_t piece = 1 + in.byte() % 64;
    const std::string rest = in.rest();
    ember::S101Decoder d(4096);
    std::vector<ember::S101Event> events;
    for (std::size_t at = 0; at < rest.size(); at += piece) {
        const std::size_t n = std::min(piece, rest.size() - at);
        d.feed(reinterpret_cast<const uint8_t*>(rest.data()) + at, n, events);
    }
    for (const ember::S101Event& e : events) {
        if (e.kind == ember::S101Event::Kind::error) {
            FUZZ_CHECK(!e.detail.empty() && e.error != ember::S101Error::none);
        } else if (e.kind == ember::S101Event::Kind::message) {
            FUZZ_CHECK(e.message.size() <= 4096);
            checkMessage(e.message, perPacket);
        }
    }
    return 0;
}
