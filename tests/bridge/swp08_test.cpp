// The SW-P-08 codec: the protocol document's example exchanges byte for
// byte, every message kind in both forms, the link layer's stuffing and its
// answer to every kind of bad input.
#include "bridges/codecs/swp08.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace swp08 = zarn_host::swp08;
using swp08::Bytes;
using swp08::Error;
using swp08::Event;
using swp08::Form;
using swp08::Kind;
using swp08::Message;
using swp08::NameLength;

namespace {

Message crosspoint(Kind kind, Form form, uint8_t matrix, uint8_t level, uint16_t destination, uint16_t source = 0) {
    Message m;
    m.kind = kind;
    m.form = form;
    m.matrix = matrix;
    m.level = level;
    m.destination = destination;
    m.source = source;
    return m;
}

Message names(Kind kind, Form form, uint8_t matrix, uint8_t level, NameLength length, uint16_t first,
              std::vector<std::string> list) {
    Message m;
    m.kind = kind;
    m.form = form;
    m.matrix = matrix;
    m.level = level;
    m.nameLength = length;
    m.first = first;
    m.names = std::move(list);
    return m;
}

Message dump(Form form, bool word, uint8_t matrix, uint8_t level, uint16_t first, std::vector<uint16_t> sources) {
    Message m;
    m.kind = Kind::tally_dump;
    m.form = form;
    m.wordDump = word;
    m.matrix = matrix;
    m.level = level;
    m.first = first;
    m.sources = std::move(sources);
    return m;
}

Message protect(Kind kind, Form form, uint8_t matrix, uint8_t level, uint16_t destination, uint16_t device = 0,
                uint8_t state = 0) {
    Message m = crosspoint(kind, form, matrix, level, destination);
    m.device = device;
    m.code = state;
    return m;
}

Message protectDump(uint8_t matrix, uint8_t level, uint16_t first, std::vector<swp08::Protect> protects) {
    Message m;
    m.kind = Kind::protect_dump;
    m.matrix = matrix;
    m.level = level;
    m.first = first;
    m.protects = std::move(protects);
    return m;
}

Message request(Kind kind, Form form, uint8_t matrix, uint8_t level, NameLength length = NameLength::eight) {
    Message m;
    m.kind = kind;
    m.form = form;
    m.matrix = matrix;
    m.level = level;
    m.nameLength = length;
    return m;
}

// The one frame a byte string holds.
Bytes onlyFrame(const Bytes& wire) {
    swp08::Decoder decoder;
    const std::vector<Event> events = decoder.feed(wire);
    if (events.size() != 1 || events[0].kind != Event::Kind::frame) {
        ADD_FAILURE() << "expected one frame, got " << events.size() << " events";
        return {};
    }
    return events[0].data;
}

}  // namespace

// The example exchanges of the protocol document, as sent on the wire.
TEST(Swp08, DocumentExamplesDecodeAndEncodeByteForByte) {
    struct Case {
        const char* name;
        Bytes wire;
        Message message;
    };
    Message tally = crosspoint(Kind::tally, Form::plain, 1, 1, 1, 153);
    const Case cases[] = {
        {"interrogate matrix 1 level 1 destination 1",
         {0x10, 0x02, 0x01, 0x11, 0x00, 0x01, 0x04, 0xE9, 0x10, 0x03},
         crosspoint(Kind::interrogate, Form::plain, 1, 1, 1)},
        {"tally: source 153 at destination 1",
         {0x10, 0x02, 0x03, 0x11, 0x01, 0x01, 0x19, 0x05, 0xCC, 0x10, 0x03},
         tally},
        {"connect destination 2 to source 0",
         {0x10, 0x02, 0x02, 0x11, 0x00, 0x02, 0x00, 0x05, 0xE6, 0x10, 0x03},
         crosspoint(Kind::connect, Form::plain, 1, 1, 2, 0)},
        {"connected destination 2 source 0",
         {0x10, 0x02, 0x04, 0x11, 0x00, 0x02, 0x00, 0x05, 0xE4, 0x10, 0x03},
         crosspoint(Kind::connected, Form::plain, 1, 1, 2, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const swp08::Decoded decoded = swp08::decodeMessage(onlyFrame(c.wire));
        ASSERT_TRUE(decoded.ok()) << decoded.detail;
        EXPECT_EQ(decoded.message, c.message) << swp08::describe(decoded.message);
        EXPECT_EQ(swp08::encodeFrame(c.message), c.wire);
    }
}

// The document's protocol implementation request and reply frame correctly
// but are outside the supported commands.
TEST(Swp08, DocumentImplementationExchangeIsAnUnknownCommand) {
    const Bytes requestWire{0x10, 0x02, 0x61, 0x01, 0x9E, 0x10, 0x03};
    const Bytes replyWire{0x10, 0x02, 0x62, 0x08, 0x09, 0x03, 0x04, 0x16, 0x20, 0x22, 0x53, 0x62, 0x63,
                          0x01, 0x02, 0x15, 0x1F, 0x20, 0x21, 0x43, 0x4A, 0x61, 0x14, 0x9C, 0x10, 0x03};
    for (const Bytes& wire : {requestWire, replyWire}) {
        const Bytes data = onlyFrame(wire);
        EXPECT_EQ(swp08::frame(data), wire);
        const swp08::Decoded decoded = swp08::decodeMessage(data);
        EXPECT_EQ(decoded.error, Error::unknown_command);
        EXPECT_NE(decoded.detail.find("not supported"), std::string::npos) << decoded.detail;
    }
}

// The DATA of each message kind in each form, written out.
TEST(Swp08, MessagesEncodeToTheirBytesAndBack) {
    struct Case {
        Message message;
        Bytes data;
    };
    const Case cases[] = {
        // Plain forms: matrix and level in a byte, numbers DIV 128 in the multiplier.
        {crosspoint(Kind::interrogate, Form::plain, 0, 3, 1023), {0x01, 0x03, 0x70, 0x7F}},
        {crosspoint(Kind::connect, Form::plain, 15, 15, 300, 900), {0x02, 0xFF, 0x27, 0x2C, 0x04}},
        {crosspoint(Kind::tally, Form::plain, 2, 0, 0, 1023), {0x03, 0x20, 0x07, 0x00, 0x7F}},
        {crosspoint(Kind::connected, Form::plain, 0, 1, 128, 129), {0x04, 0x01, 0x11, 0x00, 0x01}},
        // Extended forms: a byte each for matrix and level, numbers DIV 256 and MOD 256.
        {crosspoint(Kind::interrogate, Form::extended, 0, 0, 15), {0x81, 0x00, 0x00, 0x00, 0x0F}},
        {crosspoint(Kind::connect, Form::extended, 0, 0, 15, 4), {0x82, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x04}},
        {crosspoint(Kind::tally, Form::extended, 200, 17, 65535, 4096), {0x83, 0xC8, 0x11, 0xFF, 0xFF, 0x10, 0x00}},
        {crosspoint(Kind::connected, Form::extended, 1, 2, 258, 1), {0x84, 0x01, 0x02, 0x01, 0x02, 0x00, 0x01}},
        {request(Kind::tally_dump_request, Form::plain, 1, 2), {0x15, 0x12}},
        {request(Kind::tally_dump_request, Form::extended, 1, 2), {0x95, 0x01, 0x02}},
        {dump(Form::plain, false, 0, 0, 4, {1, 2, 191}), {0x16, 0x00, 0x03, 0x04, 0x01, 0x02, 0xBF}},
        {dump(Form::plain, true, 0, 1, 300, {1000, 2}), {0x17, 0x01, 0x02, 0x01, 0x2C, 0x03, 0xE8, 0x00, 0x02}},
        {dump(Form::extended, false, 3, 4, 2, {7}), {0x97, 0x03, 0x04, 0x01, 0x00, 0x02, 0x00, 0x07}},
        {request(Kind::source_names_request, Form::plain, 0, 2, NameLength::four), {0x64, 0x02, 0x00}},
        {request(Kind::destination_names_request, Form::plain, 1, 0, NameLength::sixteen), {0x66, 0x10, 0x03}},
        {request(Kind::source_names_request, Form::extended, 0, 5, NameLength::eight), {0xE4, 0x00, 0x05, 0x01}},
        {request(Kind::destination_names_request, Form::extended, 9, 0, NameLength::twelve), {0xE6, 0x09, 0x02}},
        // Names: blank-padded to the name length.
        {names(Kind::source_names, Form::plain, 0, 0, NameLength::four, 0, {"CAM1", "VT"}),
         {0x6A, 0x00, 0x00, 0x00, 0x00, 0x02, 'C', 'A', 'M', '1', 'V', 'T', ' ', ' '}},
        {names(Kind::destination_names, Form::plain, 1, 0, NameLength::eight, 258, {"MON 1"}),
         {0x6B, 0x10, 0x01, 0x01, 0x02, 0x01, 'M', 'O', 'N', ' ', '1', ' ', ' ', ' '}},
        {names(Kind::source_names, Form::extended, 2, 1, NameLength::twelve, 16, {"STUDIO A CAM"}),
         {0xEA, 0x02, 0x01, 0x02, 0x00, 0x10, 0x01, 'S', 'T', 'U', 'D', 'I', 'O', ' ', 'A', ' ', 'C', 'A', 'M'}},
        {names(Kind::destination_names, Form::extended, 2, 0, NameLength::sixteen, 1, {"BAY MONITOR 12"}),
         {0xEB, 0x02, 0x03, 0x00, 0x01, 0x01, 'B', 'A', 'Y', ' ', 'M',
          'O',  'N',  'I',  'T',  'O',  'R',  ' ', '1', '2', ' ', ' '}},
        // Protects, plain: the destination as a crosspoint's, the device where
        // a crosspoint's source goes, the state before the destination.
        {protect(Kind::protect_interrogate, Form::plain, 0, 1, 5), {0x0A, 0x01, 0x00, 0x05}},
        {protect(Kind::protect_connect, Form::plain, 1, 2, 130, 7), {0x0C, 0x12, 0x10, 0x02, 0x07}},
        {protect(Kind::protect_disconnect, Form::plain, 0, 0, 1023, 300), {0x0E, 0x00, 0x72, 0x7F, 0x2C}},
        {protect(Kind::master_protect_connect, Form::plain, 0, 0, 3, 5), {0x1D, 0x00, 0x00, 0x03, 0x05}},
        {protect(Kind::protect_tally, Form::plain, 0, 0, 1, 1023, 1), {0x0B, 0x00, 0x01, 0x07, 0x01, 0x7F}},
        {protect(Kind::protect_connected, Form::plain, 2, 3, 129, 5, 1), {0x0D, 0x23, 0x01, 0x10, 0x01, 0x05}},
        {protect(Kind::protect_disconnected, Form::plain, 0, 0, 9, 5, 0), {0x0F, 0x00, 0x00, 0x00, 0x09, 0x05}},
        // Protects, extended: matrix and level bytes, destination and device words.
        {protect(Kind::protect_interrogate, Form::extended, 2, 3, 258), {0x8A, 0x02, 0x03, 0x01, 0x02}},
        {protect(Kind::protect_connect, Form::extended, 2, 3, 258, 5), {0x8C, 0x02, 0x03, 0x01, 0x02, 0x00, 0x05}},
        {protect(Kind::protect_disconnect, Form::extended, 0, 0, 4095, 1), {0x8E, 0x00, 0x00, 0x0F, 0xFF, 0x00, 0x01}},
        {protect(Kind::protect_tally, Form::extended, 0, 9, 4095, 1023, 1),
         {0x8B, 0x00, 0x09, 0x01, 0x0F, 0xFF, 0x03, 0xFF}},
        {protect(Kind::protect_connected, Form::extended, 1, 0, 2, 5, 1),
         {0x8D, 0x01, 0x00, 0x01, 0x00, 0x02, 0x00, 0x05}},
        {protect(Kind::protect_disconnected, Form::extended, 1, 0, 2, 5, 0),
         {0x8F, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x05}},
        // The protect dump: first destination a word, a count, then each
        // destination's state (bits 4-5) and device (DIV 128, MOD 128).
        {protect(Kind::protect_dump_request, Form::plain, 0, 1, 0), {0x13, 0x01, 0x00, 0x00}},
        {[] {
             Message m = protect(Kind::protect_dump_request, Form::plain, 0, 1, 0);
             m.first = 300;
             return m;
         }(),
         {0x13, 0x01, 0x01, 0x2C}},
        {protectDump(0, 0, 16, {{0, 0}, {1, 5}, {1, 1023}}),
         {0x14, 0x00, 0x00, 0x10, 0x03, 0x00, 0x00, 0x10, 0x05, 0x17, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(swp08::describe(c.message));
        const swp08::Encoded encoded = swp08::encode(c.message);
        ASSERT_TRUE(encoded.ok()) << encoded.detail;
        EXPECT_EQ(encoded.data, c.data);
        const swp08::Decoded decoded = swp08::decodeMessage(onlyFrame(swp08::frame(encoded.data)));
        ASSERT_TRUE(decoded.ok()) << decoded.detail;
        EXPECT_EQ(decoded.message, c.message);
    }
}

TEST(Swp08, NameLengthsAndNamesPerMessage) {
    const struct {
        NameLength length;
        std::size_t chars, perMessage;
    } cases[] = {{NameLength::four, 4, 31},
                 {NameLength::eight, 8, 15},
                 {NameLength::twelve, 12, 10},
                 {NameLength::sixteen, 16, 7}};
    for (const auto& c : cases) {
        EXPECT_EQ(swp08::nameChars(c.length), c.chars);
        EXPECT_EQ(swp08::namesPerMessage(c.length), c.perMessage);
        // A full message of every names command is within the document's
        // size; one name more is not.
        for (Kind kind : {Kind::source_names, Kind::destination_names}) {
            for (Form form : {Form::plain, Form::extended}) {
                std::vector<std::string> list(c.perMessage, std::string(c.chars, 'N'));
                Message full = names(kind, form, 0, 0, c.length, 0, list);
                SCOPED_TRACE(swp08::describe(full));
                const swp08::Encoded e = swp08::encode(full);
                ASSERT_TRUE(e.ok()) << e.detail;
                EXPECT_LE(e.data.size(), swp08::kMessageLimit);
                list.push_back("N");
                EXPECT_FALSE(swp08::encode(names(kind, form, 0, 0, c.length, 0, list)).ok());
            }
        }
    }
    // Full tally dumps: 64 word tallies plain, 63 extended; one more is past the limit.
    for (Form form : {Form::plain, Form::extended}) {
        const std::vector<Message> full = swp08::tallyDumpFor(
            request(Kind::tally_dump_request, form, 0, 0), std::vector<uint16_t>(swp08::talliesPerMessage(form), 4000));
        ASSERT_EQ(full.size(), 1u);
        EXPECT_LE(swp08::encode(full[0]).data.size(), swp08::kMessageLimit);
        Message over = full[0];
        over.sources.push_back(1);
        EXPECT_EQ(swp08::encode(over).error, Error::bad_value);
    }
    // Longer names are cut to the length; the blanks that pad them are not names' own.
    Message longName = names(Kind::destination_names, Form::plain, 0, 0, NameLength::four, 0, {"MONITOR", " X  "});
    const swp08::Decoded decoded = swp08::decodeMessage(swp08::encode(longName).data);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.message.names, (std::vector<std::string>{"MONI", " X"}));
}

// DLE (10 hex) in DATA, byte count and checksum is doubled on the wire.
TEST(Swp08, StuffingOfDleInDataByteCountAndChecksum) {
    struct Case {
        const char* name;
        Message message;
        Bytes wire;
    };
    const Case cases[] = {
        {"destination 16 in the data",
         crosspoint(Kind::interrogate, Form::plain, 0, 0, 16),
         {0x10, 0x02, 0x01, 0x00, 0x00, 0x10, 0x10, 0x04, 0xEB, 0x10, 0x03}},
        {"checksum 10 hex",
         crosspoint(Kind::interrogate, Form::plain, 7, 15, 444),
         {0x10, 0x02, 0x01, 0x7F, 0x30, 0x3C, 0x04, 0x10, 0x10, 0x10, 0x03}},
        {"byte count 10 hex (16 bytes of data)",
         dump(Form::plain, false, 0, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
         {0x10, 0x02, 0x16, 0x00, 0x0C, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
          0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x10, 0x10, 0x8C, 0x10, 0x03}},
        {"a run of DLEs",
         crosspoint(Kind::connect, Form::extended, 16, 16, 0x1010, 0x1010),
         {0x10, 0x02, 0x82, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x07, 0x17, 0x10,
          0x03}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(swp08::encodeFrame(c.message), c.wire);
        const swp08::Decoded decoded = swp08::decodeMessage(onlyFrame(c.wire));
        ASSERT_TRUE(decoded.ok()) << decoded.detail;
        EXPECT_EQ(decoded.message, c.message);
    }
}

// Every kind of bad input gives its error, and the decoder takes the next
// good frame after it.
TEST(Swp08, BadInputGivesAnErrorAndTheDecoderResyncs) {
    const Bytes good = swp08::encodeFrame(crosspoint(Kind::connect, Form::extended, 0, 0, 3, 4));
    const Bytes goodData = onlyFrame(good);
    struct Case {
        const char* name;
        Bytes bad;
        std::vector<Error> errors;
    };
    const Case cases[] = {
        {"wrong checksum", {0x10, 0x02, 0x01, 0x11, 0x00, 0x01, 0x04, 0xE8, 0x10, 0x03}, {Error::bad_checksum}},
        // Count and checksum agree with each other but the count is wrong.
        {"wrong byte count", {0x10, 0x02, 0x01, 0x11, 0x00, 0x01, 0x05, 0xE8, 0x10, 0x03}, {Error::bad_byte_count}},
        {"DLE followed by a stray byte", {0x10, 0x02, 0x01, 0x10, 0x41, 0x00, 0x10, 0x03}, {Error::bad_stuffing}},
        {"too short for byte count and checksum", {0x10, 0x02, 0x01, 0xFF, 0x10, 0x03}, {Error::truncated}},
        {"empty frame", {0x10, 0x02, 0x10, 0x03}, {Error::truncated}},
        {"cut short by a new start", {0x10, 0x02, 0x01, 0x11}, {Error::truncated}},
        {"garbage between frames", {'h', 'e', 'l', 'l', 'o', 0x03, 0x10, 0x03}, {Error::garbage}},
        {"the tail of a frame seen from its middle", {0x10, 0x10, 0x05, 0x10, 0x03}, {Error::garbage}},
        {"oversized",
         [] {
             Bytes b{0x10, 0x02};
             b.insert(b.end(), 300, 0x41);
             b.push_back(0x10);
             b.push_back(0x03);
             return b;
         }(),
         {Error::oversized}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes wire = c.bad;
        wire.insert(wire.end(), good.begin(), good.end());
        swp08::Decoder decoder;
        const std::vector<Event> events = decoder.feed(wire);
        ASSERT_EQ(events.size(), c.errors.size() + 1);
        for (std::size_t i = 0; i < c.errors.size(); ++i) {
            EXPECT_EQ(events[i].kind, Event::Kind::error);
            EXPECT_EQ(events[i].error, c.errors[i]) << events[i].detail;
            EXPECT_FALSE(events[i].detail.empty());
        }
        EXPECT_EQ(events.back().kind, Event::Kind::frame);
        EXPECT_EQ(events.back().data, goodData);
        EXPECT_FALSE(decoder.inFrame());
    }
}

TEST(Swp08, BytesMayArriveOneAtATime) {
    Bytes wire{0x10, 0x06, 'x'};
    for (const Message& m : {crosspoint(Kind::interrogate, Form::plain, 0, 0, 16),
                             crosspoint(Kind::interrogate, Form::plain, 7, 15, 444)}) {
        const Bytes f = swp08::encodeFrame(m);
        wire.insert(wire.end(), f.begin(), f.end());
    }
    wire.insert(wire.end(), {0x10, 0x15});
    swp08::Decoder whole;
    const std::vector<Event> expected = whole.feed(wire);
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(expected[0].kind, Event::Kind::ack);
    EXPECT_EQ(expected[1].error, Error::garbage);
    EXPECT_EQ(expected[4].kind, Event::Kind::nak);
    swp08::Decoder piecewise;
    std::vector<Event> events;
    for (uint8_t b : wire) piecewise.feed(&b, 1, events);
    EXPECT_EQ(events, expected);
}

TEST(Swp08, AckAndNakInsideAFrameAreReportedAndTheFrameGoesOn) {
    const Bytes f = swp08::encodeFrame(crosspoint(Kind::interrogate, Form::plain, 1, 1, 1));
    Bytes wire(f.begin(), f.begin() + 4);
    wire.insert(wire.end(), {0x10, 0x06, 0x10, 0x15});
    wire.insert(wire.end(), f.begin() + 4, f.end());
    swp08::Decoder decoder;
    const std::vector<Event> events = decoder.feed(wire);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Event::Kind::ack);
    EXPECT_EQ(events[1].kind, Event::Kind::nak);
    EXPECT_EQ(events[2].kind, Event::Kind::frame);
    EXPECT_EQ(events[2].data, onlyFrame(f));
}

// A controller that stuffs DATA but not the checksum: its frames with a
// checksum of 10 hex still decode.
TEST(Swp08, UnstuffedChecksumFromAPeerIsAccepted) {
    const Message m = crosspoint(Kind::interrogate, Form::plain, 7, 15, 444);
    const Bytes peerWire{0x10, 0x02, 0x01, 0x7F, 0x30, 0x3C, 0x04, 0x10, 0x10, 0x03};
    const swp08::Decoded decoded = swp08::decodeMessage(onlyFrame(peerWire));
    ASSERT_TRUE(decoded.ok()) << decoded.detail;
    EXPECT_EQ(decoded.message, m);
    // A stuffed DLE followed by ETX in the DATA of a longer frame stays DATA.
    const Message inner = names(Kind::source_names, Form::plain, 0, 0, NameLength::four, 0, {"\x10\x03zz"});
    const swp08::Decoded innerDecoded = swp08::decodeMessage(onlyFrame(swp08::encodeFrame(inner)));
    ASSERT_TRUE(innerDecoded.ok()) << innerDecoded.detail;
    EXPECT_EQ(innerDecoded.message, inner);
}

TEST(Swp08, BadMessagesGiveTheirError) {
    const struct {
        const char* name;
        Bytes data;
        Error error;
    } cases[] = {
        {"empty", {}, Error::bad_length},
        {"unknown command", {0x07}, Error::unknown_command},
        {"interrogate one byte short", {0x01, 0x00, 0x00}, Error::bad_length},
        {"connect one byte long", {0x02, 0x00, 0x00, 0x01, 0x02, 0x03}, Error::bad_length},
        {"ext connected without source", {0x84, 0x00, 0x00, 0x00, 0x01}, Error::bad_length},
        {"plain multiplier with top bit", {0x03, 0x00, 0x80, 0x01, 0x02}, Error::bad_value},
        {"plain destination byte above 127", {0x01, 0x00, 0x00, 0x80}, Error::bad_value},
        {"tally dump request with extra byte", {0x15, 0x00, 0x00}, Error::bad_length},
        {"tally dump count beyond the data", {0x16, 0x00, 0x03, 0x00, 0x01}, Error::bad_length},
        {"word tally dump of odd length", {0x17, 0x00, 0x01, 0x00, 0x00, 0x01}, Error::bad_length},
        {"name length code 4 (32 chars)", {0xE4, 0x00, 0x00, 0x04}, Error::bad_value},
        {"names count beyond the data", {0x6A, 0x00, 0x00, 0x00, 0x00, 0x02, 'A', 'B', 'C', 'D'}, Error::bad_length},
        {"names header cut", {0xEB, 0x00, 0x01, 0x00}, Error::bad_length},
        {"ext address cut", {0x81, 0x00}, Error::bad_length},
        {"protect state 4", {0x0B, 0x00, 0x04, 0x00, 0x01, 0x05}, Error::bad_value},
        {"protect connect without device", {0x0C, 0x00, 0x00, 0x01}, Error::bad_length},
        {"ext protect tally cut", {0x8B, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}, Error::bad_length},
        {"protect dump count beyond the data", {0x14, 0x00, 0x00, 0x00, 0x02, 0x10, 0x05}, Error::bad_length},
        {"protect dump of 17", {0x14, 0x00, 0x00, 0x00, 0x11}, Error::bad_length},
        {"protect dump state bits 6-7", {0x14, 0x00, 0x00, 0x00, 0x01, 0x40, 0x05}, Error::bad_value},
        {"protect dump request cut", {0x13, 0x00, 0x00}, Error::bad_length},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const swp08::Decoded decoded = swp08::decodeMessage(c.data);
        EXPECT_EQ(decoded.error, c.error) << decoded.detail;
        EXPECT_FALSE(decoded.detail.empty());
    }
}

TEST(Swp08, MessagesThatDoNotFitTheirFormDoNotEncode) {
    Message tooManyNames =
        names(Kind::source_names, Form::extended, 0, 0, NameLength::sixteen, 0, std::vector<std::string>(16, "X"));
    Message levelled = request(Kind::destination_names_request, Form::extended, 0, 1);
    const Message cases[] = {
        crosspoint(Kind::interrogate, Form::plain, 0, 0, 1024),
        crosspoint(Kind::connect, Form::plain, 0, 0, 0, 1024),
        crosspoint(Kind::tally, Form::plain, 16, 0, 0, 0),
        crosspoint(Kind::connected, Form::plain, 0, 16, 0, 0),
        dump(Form::plain, false, 0, 0, 0, {256}),
        dump(Form::plain, false, 0, 0, 256, {1}),
        tooManyNames,
        levelled,
        protect(Kind::protect_connect, Form::plain, 0, 0, 0, 1024),
        protect(Kind::protect_tally, Form::plain, 0, 0, 0, 1, 4),
        protect(Kind::master_protect_connect, Form::extended, 0, 0, 0, 1),
        protect(Kind::protect_dump_request, Form::extended, 0, 0, 0),
        protectDump(0, 0, 0, std::vector<swp08::Protect>(17)),
        protectDump(0, 0, 0, {{1, 1024}}),
    };
    for (const Message& m : cases) {
        SCOPED_TRACE(swp08::describe(m));
        const swp08::Encoded e = swp08::encode(m);
        EXPECT_EQ(e.error, Error::bad_value);
        EXPECT_TRUE(e.data.empty());
        EXPECT_TRUE(swp08::encodeFrame(m).empty());
    }
    EXPECT_TRUE(swp08::frame(Bytes{}).empty());
    EXPECT_TRUE(swp08::frame(Bytes(256, 1)).empty());
    EXPECT_EQ(swp08::frame(Bytes(255, 1)).size(), 2 + 255 + 2 + 2);
}

TEST(Swp08, LinkRepliesToEachEvent) {
    swp08::Decoder decoder;
    const Bytes good = swp08::encodeFrame(crosspoint(Kind::interrogate, Form::plain, 0, 0, 1));
    const Bytes badSum{0x10, 0x02, 0x01, 0x00, 0x00, 0x01, 0x04, 0x00, 0x10, 0x03};
    const struct {
        Bytes wire;
        Bytes reply;
    } cases[] = {{good, swp08::ackBytes()}, {badSum, swp08::nakBytes()}, {{0x10, 0x06}, {}}, {{'z'}, {}}};
    for (const auto& c : cases) {
        const std::vector<Event> events = decoder.feed(c.wire);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(swp08::replyFor(events[0]), c.reply);
    }
}

TEST(Swp08, TransmitterWaitsForAckAndRetriesOnNakOrTimeout) {
    swp08::Transmitter tx;
    const Bytes a{0x01, 0x00, 0x00, 0x01};
    const Bytes b{0x01, 0x00, 0x00, 0x02};
    EXPECT_EQ(tx.send(a, 0), swp08::frame(a));
    EXPECT_TRUE(tx.send(b, 0).empty());  // waits behind a
    EXPECT_EQ(tx.deadlineMs(), 1000u);
    EXPECT_TRUE(tx.onTick(999).empty());
    EXPECT_EQ(tx.onTick(1000), swp08::frame(a));  // no ACK in a second
    EXPECT_EQ(tx.onNak(1100), swp08::frame(a));
    EXPECT_EQ(tx.onAck(1200), swp08::frame(b));
    // b is sent six times in all, then given up.
    uint64_t now = 1200;
    for (int retry = 0; retry < 5; ++retry) EXPECT_EQ(tx.onNak(now += 10), swp08::frame(b));
    EXPECT_TRUE(tx.onNak(now += 10).empty());
    EXPECT_FALSE(tx.inFlight());
    EXPECT_EQ(tx.takeDropped(), 1u);
    EXPECT_TRUE(tx.onAck(now).empty());  // a stray ACK changes nothing
}

TEST(Swp08, ResponderAnswersInTheFormTheNumbersNeed) {
    const Message plain = crosspoint(Kind::interrogate, Form::plain, 0, 0, 5);
    EXPECT_EQ(swp08::tallyFor(plain, 7), crosspoint(Kind::tally, Form::plain, 0, 0, 5, 7));
    EXPECT_EQ(swp08::tallyFor(plain, 2000), crosspoint(Kind::tally, Form::extended, 0, 0, 5, 2000));
    const Message ext = crosspoint(Kind::connect, Form::extended, 0, 1, 2, 3);
    EXPECT_EQ(swp08::connectedFor(ext), crosspoint(Kind::connected, Form::extended, 0, 1, 2, 3));

    // 20 names of 8 chars: 15, then 5 from number 15.
    std::vector<std::string> list;
    for (int i = 1; i <= 20; ++i) list.push_back("SRC " + std::to_string(i));
    const std::vector<Message> answers =
        swp08::namesFor(request(Kind::source_names_request, Form::extended, 0, 2), list);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].kind, Kind::source_names);
    EXPECT_EQ(answers[0].form, Form::extended);
    EXPECT_EQ(answers[0].level, 2);
    EXPECT_EQ(answers[0].names.size(), 15u);
    EXPECT_EQ(answers[1].first, 15);
    EXPECT_EQ(answers[1].names, (std::vector<std::string>{"SRC 16", "SRC 17", "SRC 18", "SRC 19", "SRC 20"}));

    const Message dumpRequest = request(Kind::tally_dump_request, Form::plain, 0, 0);
    const std::vector<Message> small = swp08::tallyDumpFor(dumpRequest, {3, 1, 191});
    ASSERT_EQ(small.size(), 1u);
    EXPECT_EQ(swp08::commandOf(small[0]), swp08::Command::tally_dump_byte);
    const std::vector<Message> large = swp08::tallyDumpFor(dumpRequest, std::vector<uint16_t>(100, 192));
    ASSERT_EQ(large.size(), 2u);
    EXPECT_EQ(swp08::commandOf(large[0]), swp08::Command::tally_dump_word);
    EXPECT_EQ(large[1].first, 64);
    EXPECT_EQ(large[1].sources.size(), 36u);
    const std::vector<Message> extended =
        swp08::tallyDumpFor(request(Kind::tally_dump_request, Form::extended, 0, 0), {1});
    EXPECT_EQ(swp08::commandOf(extended.at(0)), swp08::Command::ext_tally_dump_word);
    for (const Message& m : large) EXPECT_TRUE(swp08::encode(m).ok());
}
