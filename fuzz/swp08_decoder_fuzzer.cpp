// The SW-P-08 link decoder and message decoder on any bytes: the events do
// not depend on how the bytes are split, every frame frames again to itself,
// and every message that decodes encodes and decodes to itself.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bridges/codecs/swp08.h"
#include "fuzz_check.h"

namespace swp08 = zarn_host::swp08;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    swp08::Decoder whole;
    std::vector<swp08::Event> events;
    whole.feed(data, size, events);
    FUZZ_CHECK(events.size() <= size);

    // Split at a point the input chooses, and byte by byte.
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    swp08::Decoder twoParts;
    std::vector<swp08::Event> split;
    twoParts.feed(data, cut, split);
    twoParts.feed(data + cut, size - cut, split);
    FUZZ_CHECK(split == events);
    swp08::Decoder bytewise;
    std::vector<swp08::Event> single;
    for (std::size_t i = 0; i < size; ++i) bytewise.feed(data + i, 1, single);
    FUZZ_CHECK(single == events);

    for (const swp08::Event& event : events) {
        if (event.kind == swp08::Event::Kind::error) {
            FUZZ_CHECK(event.error != swp08::Error::none);
            FUZZ_CHECK(!event.detail.empty());
            continue;
        }
        if (event.kind != swp08::Event::Kind::frame) {
            FUZZ_CHECK(event.data.empty());
            continue;
        }
        FUZZ_CHECK(!event.data.empty() && event.data.size() <= swp08::kMaxData);
        // The frame frames again to itself.
        swp08::Decoder again;
        const std::vector<swp08::Event> reframed = again.feed(swp08::frame(event.data));
        FUZZ_CHECK(reframed.size() == 1 && reframed[0].kind == swp08::Event::Kind::frame);
        FUZZ_CHECK(reframed[0].data == event.data);

        const swp08::Decoded decoded = swp08::decodeMessage(event.data);
        if (!decoded.ok()) {
            FUZZ_CHECK(!decoded.detail.empty());
            continue;
        }
        const swp08::Encoded encoded = swp08::encode(decoded.message);
        // A peer's message longer than the document allows is read, but
        // nothing that long is sent.
        if (event.data.size() > swp08::kMessageLimit) {
            FUZZ_CHECK(encoded.error == swp08::Error::bad_value);
            continue;
        }
        FUZZ_CHECK(encoded.ok());
        FUZZ_CHECK(encoded.data.size() == event.data.size());
        FUZZ_CHECK(encoded.data[0] == event.data[0]);
        const swp08::Decoded back = swp08::decodeMessage(encoded.data);
        FUZZ_CHECK(back.ok());
        FUZZ_CHECK(back.message == decoded.message);
        FUZZ_CHECK(!swp08::describe(decoded.message).empty());
    }
    return 0;
}
