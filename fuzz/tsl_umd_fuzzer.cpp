// The TSL UMD v5 codec: displays made from the input encode to packets
// within the size limit that decode to the same displays (texts as valid
// UTF-8, cut only when one text alone outgrows a packet); any bytes decode
// to a defined result, and packets that decode encode back to themselves;
// the TCP stream decoder unwraps what wrapTcp wraps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/tsl_umd.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

namespace tsl = zarn_host::tsl;

namespace {

std::vector<tsl::Display> decodeAll(const std::vector<tsl::Bytes>& packets, std::size_t limit) {
    std::vector<tsl::Display> out;
    for (const tsl::Bytes& p : packets) {
        FUZZ_CHECK(p.size() <= limit);
        const tsl::Decoded d = tsl::decode(p);
        FUZZ_CHECK(d.ok());
        out.insert(out.end(), d.packet.displays.begin(), d.packet.displays.end());
    }
    return out;
}

void encodeFromInput(FuzzInput& in) {
    const std::size_t limit = std::clamp<std::size_t>(static_cast<std::size_t>(in.byte()) * 9, 12, tsl::kMaxPacket);
    const uint16_t screen = static_cast<uint16_t>(in.byte() << 8 | in.byte());
    std::vector<tsl::Display> displays;
    const std::size_t count = in.byte() % 40;
    for (std::size_t i = 0; i < count; ++i) {
        tsl::Display d;
        d.index = static_cast<uint16_t>(in.byte() << 8 | in.byte());
        const uint8_t lamps = in.byte();
        d.rightTally = static_cast<tsl::Lamp>(lamps & 3);
        d.textTally = static_cast<tsl::Lamp>((lamps >> 2) & 3);
        d.leftTally = static_cast<tsl::Lamp>((lamps >> 4) & 3);
        d.brightness = in.byte() % 6;
        d.text = in.text(in.flag() ? 3000 : 40);
        displays.push_back(std::move(d));
    }
    const std::vector<tsl::Display> back = decodeAll(tsl::encode(screen, displays, limit), limit);
    FUZZ_CHECK(back.size() == displays.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        const tsl::Display& sent = displays[i];
        const tsl::Display& got = back[i];
        FUZZ_CHECK(got.index == sent.index && got.rightTally == sent.rightTally && got.textTally == sent.textTally &&
                   got.leftTally == sent.leftTally);
        FUZZ_CHECK(got.brightness == std::min<uint8_t>(sent.brightness, 3));
        const std::string valid = tsl::validUtf8(sent.text);
        FUZZ_CHECK(valid.compare(0, got.text.size(), got.text) == 0);
        // Only a text too long for a packet of its own is cut.
        if (got.text.size() != valid.size()) FUZZ_CHECK(valid.size() * 2 + 12 > limit);
    }
}

void decodeBytes(const std::string& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const tsl::Decoded d = tsl::decode(data, bytes.size());
    if (!d.ok()) {
        FUZZ_CHECK(!d.detail.empty() && d.packet.displays.empty());
        return;
    }
    const std::vector<tsl::Bytes> packets = tsl::encode(d.packet.screen, d.packet.displays);
    const std::vector<tsl::Display> back = decodeAll(packets, tsl::kMaxPacket);
    // A packet within the limit whose texts keep their size in the encoding
    // the encoder picks comes back the same.
    bool sameSize = d.packet.utf16;
    if (!sameSize) {
        sameSize = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }
    if (bytes.size() <= tsl::kMaxPacket && sameSize) FUZZ_CHECK(back == d.packet.displays);
}

void decodeStream(const std::string& bytes) {
    tsl::StreamDecoder decoder;
    std::vector<tsl::StreamDecoder::Event> events;
    decoder.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), events);
    for (const auto& e : events) {
        if (!e.ok()) {
            FUZZ_CHECK(!e.detail.empty());
            continue;
        }
        FUZZ_CHECK(e.packet.size() >= 2 && e.packet.size() <= tsl::kMaxPacket);
        tsl::decode(e.packet);
        tsl::StreamDecoder again;
        const auto rewrapped = again.feed(tsl::wrapTcp(e.packet));
        FUZZ_CHECK(rewrapped.size() == 1 && rewrapped[0].ok() && rewrapped[0].packet == e.packet);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    switch (in.byte() % 3) {
        case 0:
            encodeFromInput(in);
            break;
        case 1:
            decodeBytes(in.rest());
            break;
        default:
            decodeStream(in.rest());
            break;
    }
    return 0;
}
