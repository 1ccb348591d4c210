// Ember+ framing and BER: packets byte for byte (as a third-party peer
// writes them), escaping, splitting and reassembly, keep-alives, and every
// kind of bad input; BER values both ways and the reader's refusals.
#include "bridges/codecs/ember_s101.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bridges/codecs/ember_ber.h"

namespace ember = zarn_host::ember;
using ember::Bytes;
using ember::S101Error;
using Kind = ember::S101Event::Kind;

namespace {

Bytes concat(const std::vector<Bytes>& packets) {
    Bytes out;
    for (const Bytes& p : packets) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A packet of these unescaped bytes (none of them reserved) with its CRC.
Bytes rawPacket(Bytes body) {
    const uint16_t sum = static_cast<uint16_t>(~ember::crc(body.data(), body.size()));
    body.insert(body.begin(), 0xFE);
    body.push_back(static_cast<uint8_t>(sum & 0xFF));
    body.push_back(static_cast<uint8_t>(sum >> 8));
    body.push_back(0xFF);
    return body;
}

}  // namespace

TEST(EmberS101, PacketsMatchAPeersBytes) {
    EXPECT_EQ(ember::keepAliveRequest(), (Bytes{0xFE, 0x00, 0x0E, 0x01, 0x01, 0x94, 0xE4, 0xFF}));
    const Bytes glow = {0x60, 0x03, 0x6B, 0x01, 0x00};
    const std::vector<Bytes> packets = ember::frameMessage(glow);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Bytes{0xFE, 0x00, 0x0E, 0x00, 0x01, 0xC0, 0x01, 0x02, 0x1F, 0x02, 0x60, 0x03, 0x6B, 0x01,
                                 0x00, 0x44, 0x6C, 0xFF}));
}

TEST(EmberS101, MessagesComeBackWhateverTheirBytesAndSplit) {
    struct Case {
        const char* name;
        Bytes message;
        std::size_t perPacket;
        std::size_t packets;
    };
    Bytes reserved;
    for (int b = 0xF0; b <= 0xFF; ++b) reserved.push_back(static_cast<uint8_t>(b));
    Bytes large(5000);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
    const Case cases[] = {
        {"escaped bytes F8-FF", reserved, 1024, 1},
        {"empty message", {}, 1024, 1},
        {"split in 1024s", large, 1024, 5},
        {"one byte a packet", {0xFE, 0xFD, 0xFF}, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Bytes> packets = ember::frameMessage(c.message, c.perPacket);
        EXPECT_EQ(packets.size(), c.packets);
        for (const Bytes& p : packets) {
            // Only the frame's own BOF and EOF are reserved bytes.
            for (std::size_t i = 1; i + 1 < p.size(); ++i) EXPECT_TRUE(p[i] < 0xF8 || p[i] == 0xFD) << i;
        }
        // Fed a byte at a time, and all at once.
        ember::S101Decoder slow;
        std::vector<ember::S101Event> events;
        for (uint8_t b : concat(packets)) slow.feed(&b, 1, events);
        ember::S101Decoder fast;
        for (const auto& got : {events, fast.feed(concat(packets))}) {
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0].kind, Kind::message);
            EXPECT_EQ(got[0].message, c.message);
        }
    }
}

TEST(EmberS101, BadInputIsReportedAndTheStreamGoesOn) {
    const Bytes good = ember::frameMessage(Bytes{0x60, 0x00})[0];
    Bytes badCrc = good;
    badCrc[badCrc.size() - 2] ^= 1;
    const std::vector<Bytes> split = ember::frameMessage(Bytes(10, 0x11), 4);
    struct Case {
        const char* name;
        Bytes input;
        S101Error error;
    };
    const Case cases[] = {
        {"bad CRC", badCrc, S101Error::bad_crc},
        {"garbage before a packet", {0x01, 0x02, 0x03}, S101Error::garbage},
        {"CE before EOF", {0xFE, 0x00, 0xFD, 0xFF}, S101Error::bad_escape},
        {"CE CE", {0xFE, 0x00, 0xFD, 0xFD, 0xFF}, S101Error::bad_escape},
        {"too short", {0xFE, 0x00, 0x0E, 0xFF}, S101Error::short_packet},
        {"cut short by a BOF", {0xFE, 0x00, 0x0E, 0x00}, S101Error::short_packet},
        {"a middle packet first", split[1], S101Error::out_of_order},
        {"another message type", rawPacket({0x00, 0x0F, 0x01, 0x01}), S101Error::unknown_packet},
        {"another DTD", rawPacket({0x00, 0x0E, 0x00, 0x01, 0xC0, 0x02, 0x00, 0x60}), S101Error::unknown_packet},
        {"application bytes past the packet", rawPacket({0x00, 0x0E, 0x00, 0x01, 0xC0, 0x01, 0x09, 0x60}),
         S101Error::short_packet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ember::S101Decoder d;
        Bytes input = c.input;
        input.insert(input.end(), good.begin(), good.end());
        const auto events = d.feed(input);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].kind, Kind::error);
        EXPECT_EQ(events[0].error, c.error) << events[0].detail;
        EXPECT_FALSE(events[0].detail.empty());
        EXPECT_EQ(events[1].kind, Kind::message);
    }
}

TEST(EmberS101, KeepAlivesAndLimits) {
    ember::S101Decoder d;
    auto events = d.feed(concat({ember::keepAliveRequest(), ember::keepAliveResponse()}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Kind::keep_alive_request);
    EXPECT_EQ(events[1].kind, Kind::keep_alive_response);

    ember::S101Decoder small(100);
    events = small.feed(concat(ember::frameMessage(Bytes(150, 1), 60)));
    ASSERT_EQ(events.size(), 2u);  // the last packet then has no first
    EXPECT_EQ(events[0].error, S101Error::message_too_long);

    ember::S101Decoder d2;
    Bytes endless = {0xFE};
    endless.resize(ember::kMaxPacket + 10, 0x01);
    endless.push_back(0xFF);
    events = d2.feed(endless);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].error, S101Error::packet_too_long);
}

TEST(EmberBer, ValuesEncodeToTheirBytesAndBack) {
    struct Case {
        int64_t value;
        Bytes bytes;
    };
    const Case ints[] = {{0, {0x02, 0x01, 0x00}},          {127, {0x02, 0x01, 0x7F}},
                         {128, {0x02, 0x02, 0x00, 0x80}},  {-1, {0x02, 0x01, 0xFF}},
                         {-129, {0x02, 0x02, 0xFF, 0x7F}}, {INT64_MIN, {0x02, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0}}};
    for (const Case& c : ints) {
        ember::BerWriter w;
        w.integer(c.value);
        EXPECT_EQ(w.bytes(), c.bytes) << c.value;
        ember::BerReader r(c.bytes.data(), c.bytes.size());
        ember::BerValue v;
        ASSERT_TRUE(r.next(v));
        int64_t back = 0;
        std::string why;
        ASSERT_TRUE(ember::readInteger(v, back, why));
        EXPECT_EQ(back, c.value);
    }
    for (double x : std::vector<double>{0.0, 1.0, -2.5, 1e-300, 123456.789, HUGE_VAL, -HUGE_VAL}) {
        ember::BerWriter w;
        w.real(x);
        ember::BerReader r(w.bytes().data(), w.bytes().size());
        ember::BerValue v;
        double back = NAN;
        std::string why;
        ASSERT_TRUE(r.next(v) && ember::readReal(v, back, why)) << why;
        EXPECT_EQ(back, x);
    }
    const std::vector<uint32_t> path = {1, 127, 128, 0xFFFFFFFFu};
    ember::BerWriter w;
    w.relativeOid(path);
    EXPECT_EQ(w.bytes(), (Bytes{0x0D, 0x09, 0x01, 0x7F, 0x81, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}));
    ember::BerReader r(w.bytes().data(), w.bytes().size());
    ember::BerValue v;
    std::vector<uint32_t> back;
    std::string why;
    ASSERT_TRUE(r.next(v) && ember::readRelativeOid(v, back, why));
    EXPECT_EQ(back, path);
    // A long contents gets a long-form length.
    ember::BerWriter big;
    big.utf8(std::string(300, 'x'));
    EXPECT_EQ(Bytes(big.bytes().begin(), big.bytes().begin() + 4), (Bytes{0x0C, 0x82, 0x01, 0x2C}));
}

TEST(EmberBer, IndefiniteLengthsAreFollowed) {
    // [APPLICATION 0] { [0] { INTEGER 5 } } with indefinite lengths, then INTEGER 6.
    const Bytes in = {0x60, 0x80, 0xA0, 0x80, 0x02, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x06};
    ember::BerReader r(in.data(), in.size());
    ember::BerValue outer, inner, value, next;
    ASSERT_TRUE(r.next(outer));
    EXPECT_TRUE(outer.is(ember::kClassApplication, 0));
    ember::BerReader ir = r.inside(outer);
    ASSERT_TRUE(ir.next(inner));
    ASSERT_TRUE(ir.inside(inner).next(value));
    EXPECT_EQ(value.size, 1u);
    EXPECT_FALSE(ir.next(inner));
    EXPECT_FALSE(ir.failed());
    ASSERT_TRUE(r.next(next));
    EXPECT_EQ(next.data[0], 6);
}

TEST(EmberBer, BadInputIsRefused) {
    Bytes deep;
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {0xA0, 0x80});
    struct Case {
        const char* name;
        Bytes input;
    };
    const Case cases[] = {
        {"length past the data", {0x02, 0x05, 0x01}},
        {"length of 9 bytes", {0x02, 0x89, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
        {"indefinite primitive", {0x02, 0x80, 0x01, 0x00, 0x00}},
        {"indefinite without its end", {0x60, 0x80, 0x02, 0x01, 0x01}},
        {"tag cut short", {0x7F, 0x81}},
        {"nesting too deep", deep},
    };
    for (const Case& c : cases) {
        ember::BerReader r(c.input.data(), c.input.size());
        ember::BerValue v;
        EXPECT_FALSE(r.next(v)) << c.name;
        EXPECT_TRUE(r.failed()) << c.name;
        EXPECT_FALSE(r.error().empty()) << c.name;
    }
    std::string why;
    int64_t n = 0;
    const Bytes huge = {0x02, 0x09, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    ember::BerReader r(huge.data(), huge.size());
    ember::BerValue v;
    ASSERT_TRUE(r.next(v));
    EXPECT_FALSE(ember::readInteger(v, n, why));
    std::vector<uint32_t> path;
    const Bytes overflow = {0x0D, 0x06, 0x9F, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    ember::BerReader r2(overflow.data(), overflow.size());
    ASSERT_TRUE(r2.next(v));
    EXPECT_FALSE(ember::readRelativeOid(v, path, why));
}
