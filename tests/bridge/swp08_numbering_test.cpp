// The SW-P-08 codec's command table read both ways, and the facility's
// numbering on the wire.
#include "bridges/codecs/swp08_numbering.h"

#include <gtest/gtest.h>

#include <set>

#include "bridges/codecs/swp08_messages.h"

namespace swp08 = zarn_host::swp08;

namespace {

// A message that encodes for every kind and form.
swp08::Message sample(swp08::Kind kind, swp08::Form form, bool wordDump) {
    swp08::Message m;
    m.kind = kind;
    m.form = form;
    m.wordDump = wordDump;
    if (kind == swp08::Kind::tally_dump) m.sources = {1, 2};
    if (kind == swp08::Kind::source_names || kind == swp08::Kind::destination_names) m.names = {"A"};
    return m;
}

// Every command the decoder takes is the command its message encodes with,
// and each (kind, form, word dump) has its own command.
TEST(Swp08Commands, DecodingAndEncodingAgreeOnEveryCommand) {
    std::set<uint8_t> encoded;
    for (int k = 0; k <= static_cast<int>(swp08::Kind::protect_dump); ++k) {
        for (auto form : {swp08::Form::plain, swp08::Form::extended}) {
            for (bool word : {false, true}) {
                const auto kind = static_cast<swp08::Kind>(k);
                if (word && (kind != swp08::Kind::tally_dump || form == swp08::Form::extended)) continue;
                // The dual controller status, salvo, master protect and
                // protect dump messages have a plain form only.
                const bool plainOnly = (k >= static_cast<int>(swp08::Kind::dual_status_request) &&
                                        k <= static_cast<int>(swp08::Kind::salvo_tally)) ||
                                       k >= static_cast<int>(swp08::Kind::master_protect_connect);
                if (form == swp08::Form::extended && plainOnly) {
                    EXPECT_FALSE(swp08::encode(sample(kind, form, word)).ok());
                    continue;
                }
                const swp08::Message m = sample(kind, form, word);
                const swp08::Encoded e = swp08::encode(m);
                ASSERT_TRUE(e.ok()) << swp08::describe(m) << ": " << e.detail;
                EXPECT_EQ(e.data[0], static_cast<uint8_t>(swp08::commandOf(m)));
                EXPECT_TRUE(encoded.insert(e.data[0]).second) << "command " << int(e.data[0]) << " twice";
                const swp08::Decoded d = swp08::decodeMessage(e.data);
                ASSERT_TRUE(d.ok()) << swp08::describe(m) << ": " << d.detail;
                EXPECT_EQ(d.message, m) << swp08::describe(m);
            }
        }
    }
    EXPECT_EQ(encoded.size(), 44u);
    // Every other command byte is unknown.
    for (int c = 0; c < 256; ++c) {
        if (encoded.count(static_cast<uint8_t>(c))) continue;
        const uint8_t data[] = {static_cast<uint8_t>(c), 0, 0, 0, 0};
        EXPECT_EQ(swp08::decodeMessage(data, sizeof data).error, swp08::Error::unknown_command) << c;
    }
}

TEST(Swp08Numbering, FacilityAndWireNumbers) {
    const struct {
        int32_t facility;
        uint16_t wire;
    } numbers[] = {{1, 0}, {2, 1}, {40, 39}, {1023, 1022}, {1024, 1023}, {5000, 4999}};
    for (const auto& n : numbers) {
        EXPECT_EQ(swp08::toWire(swp08::FacilityNumber{n.facility}), n.wire);
        EXPECT_EQ(swp08::numberFromWire(n.wire).value, n.facility);
    }
    // No source is a number outside the router: 1023 below 1,024 sources,
    // else 65535; every source of the router has its own number.
    const struct {
        int32_t sources;   // the router's
        int32_t facility;  // 0: no source
        uint16_t wire;
        bool roundTrips;
    } cases[] = {
        {64, 0, swp08::kNoSource, true},
        {64, 1, 0, true},
        {64, 64, 63, true},
        {64, -1, swp08::kNoSource, false},  // below 1: none
        {64, 65, 64, true},                 // outside the router: n + 1, which it refuses
        {1023, 1023, 1022, true},
        {1023, 0, 1023, true},
        {1024, 1024, 1023, true},  // a real source where a smaller router says none
        {1024, 0, swp08::kNoSourceWide, true},
        {4096, 1025, 1024, true},
        {4096, 4096, 4095, true},
        {4096, 0, 0xFFFF, true},
        {65535, 65535, 65534, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sources) + " sources, facility source " + std::to_string(c.facility));
        EXPECT_EQ(swp08::toWire(swp08::FacilitySource{c.facility}, c.sources), c.wire);
        EXPECT_EQ(swp08::sourceFromWire(c.wire, c.sources).value == c.facility, c.roundTrips);
    }
    EXPECT_EQ(swp08::sourceFromWire(1023, 64).value, 0);
    EXPECT_EQ(swp08::sourceFromWire(1023, 4096).value, 1024);
    EXPECT_EQ(swp08::sourceFromWire(4096, 4096).value, 4097);  // out of range, not none
    EXPECT_EQ(swp08::sourceFromWire(0xFFFF, 64).value, 0);
    static_assert(swp08::noSourceFor(1023) == 1023 && swp08::noSourceFor(1024) == 0xFFFF,
                  "no source is outside the router");
}

}  // namespace
