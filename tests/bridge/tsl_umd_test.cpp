// The TSL UMD v5 codec: packets byte for byte, text encodings, splitting at
// the size limit, the TCP wrapping and every kind of bad input.
#include "bridges/codecs/tsl_umd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tsl = zarn_host::tsl;
using tsl::Bytes;
using tsl::Display;
using tsl::Error;
using tsl::Lamp;

namespace {

Display display(uint16_t index, std::string text, Lamp rh = Lamp::off, Lamp txt = Lamp::off, Lamp lh = Lamp::off,
                uint8_t brightness = 3) {
    Display d;
    d.index = index;
    d.text = std::move(text);
    d.rightTally = rh;
    d.textTally = txt;
    d.leftTally = lh;
    d.brightness = brightness;
    return d;
}

std::vector<Display> decodedDisplays(const std::vector<Bytes>& packets) {
    std::vector<Display> out;
    for (const Bytes& p : packets) {
        const tsl::Decoded d = tsl::decode(p);
        EXPECT_TRUE(d.ok()) << d.detail;
        out.insert(out.end(), d.packet.displays.begin(), d.packet.displays.end());
    }
    return out;
}

}  // namespace

TEST(TslUmd, PacketsEncodeToTheirBytesAndBack) {
    struct Case {
        const char* name;
        uint16_t screen;
        std::vector<Display> displays;
        Bytes packet;
        bool utf16;
    };
    const Case cases[] = {
        {"ASCII text, a lamp of each colour",
         1,
         {display(2, "CAM 1", Lamp::red, Lamp::green, Lamp::amber, 3)},
         {0x0F, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0xF9, 0x00, 0x05, 0x00, 'C', 'A', 'M', ' ', '1'},
         false},
        {"non-ASCII text in UTF-16LE",
         0,
         {display(1,
                  "\xCE\xA9"
                  "1",
                  Lamp::off, Lamp::off, Lamp::off, 2)},
         {0x0E, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x80, 0x00, 0x04, 0x00, 0xA9, 0x03, 0x31, 0x00},
         true},
        {"a character beyond the BMP as a surrogate pair",
         0xFFFF,
         {display(0xFFFF, "\xF0\x9F\x98\x80", Lamp::green, Lamp::off, Lamp::off, 0)},
         {0x0E, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x04, 0x00, 0x3D, 0xD8, 0x00, 0xDE},
         true},
        {"an ASCII display beside a UTF-16 one turns UTF-16 too",
         3,
         {display(0, "A"), display(1, "\xC3\xA9")},
         {0x14, 0x00, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x02,
          0x00, 'A',  0x00, 0x01, 0x00, 0xC0, 0x00, 0x02, 0x00, 0xE9, 0x00},
         true},
        {"empty text",
         7,
         {display(9, "", Lamp::amber)},
         {0x0A, 0x00, 0x00, 0x00, 0x07, 0x00, 0x09, 0x00, 0xC3, 0x00, 0x00, 0x00},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Bytes> packets = tsl::encode(c.screen, c.displays);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0], c.packet);
        const tsl::Decoded decoded = tsl::decode(packets[0]);
        ASSERT_TRUE(decoded.ok()) << decoded.detail;
        EXPECT_EQ(decoded.packet.screen, c.screen);
        EXPECT_EQ(decoded.packet.utf16, c.utf16);
        EXPECT_EQ(decoded.packet.displays, c.displays);
    }
}

TEST(TslUmd, TextIsMadeValidUtf8AndBrightnessKeptToTwoBits) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain", "plain"},
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
        {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"euro \xE2\x82\xAC", "euro \xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tsl::validUtf8(c.in), c.out);
        const std::vector<Display> back = decodedDisplays(tsl::encode(0, {display(0, c.in)}));
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].text, c.out);
    }
    Display bright = display(0, "x");
    bright.brightness = 200;
    EXPECT_EQ(tsl::controlWord(bright), 0xC0);
}

// Displays that do not fit one packet go on in the next; a text too long
// for a packet of its own is cut at a character.
TEST(TslUmd, DisplaysAreSplitAcrossPacketsAtTheSizeLimit) {
    std::vector<Display> many;
    for (uint16_t i = 0; i < 300; ++i) many.push_back(display(i, "MONITOR " + std::to_string(i), Lamp::red));
    const std::vector<Bytes> packets = tsl::encode(5, many);
    EXPECT_EQ(packets.size(), 3u);
    for (const Bytes& p : packets) EXPECT_LE(p.size(), tsl::kMaxPacket);
    EXPECT_EQ(decodedDisplays(packets), many);

    // Three 4-byte UTF-16 texts in 30-byte packets: 6 + 2 * (6 + 4) = 26, so two a packet.
    const std::vector<Display> wide{display(0, "\xC3\xA9\xC3\xA9"), display(1, "\xC3\xA9\xC3\xA9"),
                                    display(2, "\xC3\xA9\xC3\xA9")};
    const std::vector<Bytes> small = tsl::encode(0, wide, 30);
    ASSERT_EQ(small.size(), 2u);
    EXPECT_EQ(small[0].size(), 26u);
    EXPECT_EQ(decodedDisplays(small), wide);

    const struct {
        const char* name;
        std::string text;
        std::size_t limit;
        std::string kept;
    } cuts[] = {
        {"ASCII cut at the limit", std::string(3000, 'x'), tsl::kMaxPacket, std::string(2036, 'x')},
        {"UTF-16 keeps whole surrogate pairs", "ab\xF0\x9F\x98\x80", 18, "ab"},
        {"UTF-16 fits exactly", "ab\xF0\x9F\x98\x80", 20, "ab\xF0\x9F\x98\x80"},
        {"limit below one empty display", "abc", 1, ""},
    };
    for (const auto& c : cuts) {
        SCOPED_TRACE(c.name);
        const std::vector<Bytes> one = tsl::encode(0, {display(0, c.text)}, c.limit);
        ASSERT_EQ(one.size(), 1u);
        const std::vector<Display> back = decodedDisplays(one);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].text, c.kept);
    }
    EXPECT_TRUE(tsl::encode(0, {}).empty());
}

TEST(TslUmd, TcpWrappingStuffsDleAndTheStreamDecoderUnwraps) {
    const Bytes packet = tsl::encode(0x00FE, {display(0xFEFE, "x")}).at(0);
    const Bytes wrapped = tsl::wrapTcp(packet);
    EXPECT_EQ(wrapped, (Bytes{0xFE, 0x02, 0x0B, 0x00, 0x00, 0x00, 0xFE, 0xFE, 0x00, 0xFE, 0xFE, 0xFE, 0xFE, 0xC0, 0x00,
                              0x01, 0x00, 'x'}));
    Bytes stream = wrapped;
    stream.insert(stream.end(), wrapped.begin(), wrapped.end());
    // Whole, and a byte at a time.
    tsl::StreamDecoder whole;
    const auto events = whole.feed(stream);
    ASSERT_EQ(events.size(), 2u);
    for (const auto& e : events) EXPECT_EQ(e.packet, packet);
    tsl::StreamDecoder piecewise;
    std::vector<tsl::StreamDecoder::Event> pieces;
    for (uint8_t b : stream) piecewise.feed(&b, 1, pieces);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1].packet, packet);
}

TEST(TslUmd, BadStreamsGiveAnErrorAndTheDecoderResyncs) {
    const Bytes good = tsl::wrapTcp(tsl::encode(1, {display(1, "OK")}).at(0));
    const struct {
        const char* name;
        Bytes bad;
        Error error;
    } cases[] = {
        {"bytes before DLE STX", {'n', 'o', 'i', 's', 'e', 0xFE, 0x05}, Error::garbage},
        {"DLE and a stray byte inside a packet", {0xFE, 0x02, 0x0A, 0x00, 0xFE, 0x41}, Error::bad_stuffing},
        {"packet cut short by a new start", {0xFE, 0x02, 0x0A, 0x00, 0x00}, Error::truncated},
        {"byte count beyond the limit", {0xFE, 0x02, 0xFF, 0xFF, 0x00}, Error::oversized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream = c.bad;
        stream.insert(stream.end(), good.begin(), good.end());
        tsl::StreamDecoder decoder;
        const auto events = decoder.feed(stream);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].error, c.error) << events[0].detail;
        EXPECT_FALSE(events[0].detail.empty());
        ASSERT_TRUE(events[1].ok());
        EXPECT_TRUE(tsl::decode(events[1].packet).ok());
    }
}

TEST(TslUmd, BadPacketsGiveTheirError) {
    const struct {
        const char* name;
        Bytes packet;
        Error error;
    } cases[] = {
        {"shorter than a header", {0x03, 0x00, 0x00, 0x00, 0x00}, Error::truncated},
        {"byte count too big", {0x05, 0x00, 0x00, 0x00, 0x00, 0x00}, Error::bad_byte_count},
        {"byte count too small", {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, Error::bad_byte_count},
        {"display header cut", {0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, Error::truncated},
        {"text past the end",
         {0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x05, 0x00, 'a'},
         Error::bad_length},
        {"odd UTF-16 length",
         {0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x01, 0x00, 'a'},
         Error::bad_length},
        {"display control data",
         {0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00},
         Error::unsupported},
        {"screen control", {0x06, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00}, Error::unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tsl::Decoded d = tsl::decode(c.packet);
        EXPECT_EQ(d.error, c.error) << d.detail;
        EXPECT_FALSE(d.detail.empty());
        EXPECT_TRUE(d.packet.displays.empty());
    }
    // Lone surrogates and Latin-1 bytes have a defined reading.
    const tsl::Decoded lone = tsl::decode(
        Bytes{0x0E, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x04, 0x00, 0x00, 0xDC, 'a', 0x00});
    ASSERT_TRUE(lone.ok());
    EXPECT_EQ(lone.packet.displays.at(0).text,
              "\xEF\xBF\xBD"
              "a");
    const tsl::Decoded latin =
        tsl::decode(Bytes{0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x00, 0x01, 0x00, 0xE9});
    ASSERT_TRUE(latin.ok());
    EXPECT_EQ(latin.packet.displays.at(0).text, "\xC3\xA9");
}
