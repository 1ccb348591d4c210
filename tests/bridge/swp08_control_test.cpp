// The SW-P-08 dual controller status and salvo messages, byte for byte, and
// their bad forms.
#include <gtest/gtest.h>

#include "bridges/codecs/swp08.h"

namespace swp08 = zarn_host::swp08;

namespace {

using swp08::Bytes;
using swp08::Kind;
using swp08::Message;

Message salvoPoint(Kind kind, uint8_t matrix, uint8_t level, uint16_t destination, uint16_t source, uint8_t salvo,
                   uint8_t index = 0, uint8_t code = 0) {
    Message m;
    m.kind = kind;
    m.matrix = matrix;
    m.level = level;
    m.destination = destination;
    m.source = source;
    m.salvo = salvo;
    m.index = index;
    m.code = code;
    return m;
}
Message shortMessage(Kind kind, uint8_t salvo = 0, uint8_t code = 0, uint8_t index = 0) {
    Message m;
    m.kind = kind;
    m.salvo = salvo;
    m.code = code;
    m.index = index;
    return m;
}

TEST(Swp08Control, MessagesEncodeToTheirBytesAndBack) {
    Message idle = shortMessage(Kind::dual_status_response, 0, 0x02);
    idle.idleFaulty = true;
    const struct {
        Message message;
        Bytes data;
    } cases[] = {
        {shortMessage(Kind::dual_status_request), {0x08}},
        {shortMessage(Kind::dual_status_response), {0x09, 0x00, 0x00}},
        {idle, {0x09, 0x02, 0x01}},
        // Connect on go: matrix/level, multiplier, destination and source MOD 128, salvo.
        {salvoPoint(Kind::salvo_connect, 0, 1, 300, 900, 5), {0x78, 0x01, 0x27, 0x2C, 0x04, 0x05}},
        {salvoPoint(Kind::salvo_connect_ack, 15, 15, 1023, 1023, 127), {0x7A, 0xFF, 0x77, 0x7F, 0x7F, 0x7F}},
        {shortMessage(Kind::salvo_go, 9, 0), {0x79, 0x00, 0x09}},
        {shortMessage(Kind::salvo_go, 9, 1), {0x79, 0x01, 0x09}},
        {shortMessage(Kind::salvo_go_done, 127, 2), {0x7B, 0x02, 0x7F}},
        {shortMessage(Kind::salvo_interrogate, 3, 0, 200), {0x7C, 0x03, 0xC8}},
        {salvoPoint(Kind::salvo_tally, 0, 0, 4, 2, 3, 1, 1), {0x7D, 0x00, 0x00, 0x04, 0x02, 0x03, 0x01, 0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(swp08::describe(c.message));
        const swp08::Encoded encoded = swp08::encode(c.message);
        ASSERT_TRUE(encoded.ok()) << encoded.detail;
        EXPECT_EQ(encoded.data, c.data);
        const swp08::Decoded decoded = swp08::decodeMessage(encoded.data);
        ASSERT_TRUE(decoded.ok()) << decoded.detail;
        EXPECT_EQ(decoded.message, c.message);
    }
}

TEST(Swp08Control, BadMessagesGiveTheirError) {
    const struct {
        const char* name;
        Bytes data;
        swp08::Error error;
    } cases[] = {
        {"status request with a byte", {0x08, 0x00}, swp08::Error::bad_length},
        {"status response cut", {0x09, 0x00}, swp08::Error::bad_length},
        {"connect on go without salvo", {0x78, 0x00, 0x00, 0x01, 0x02}, swp08::Error::bad_length},
        {"connect on go to salvo 128", {0x78, 0x00, 0x00, 0x01, 0x02, 0x80}, swp08::Error::bad_value},
        {"connect on go with top bit in source", {0x78, 0x00, 0x00, 0x01, 0x82, 0x01}, swp08::Error::bad_value},
        {"go to salvo 200", {0x79, 0x00, 0xC8}, swp08::Error::bad_value},
        {"go cut", {0x79, 0x00}, swp08::Error::bad_length},
        {"salvo interrogate long", {0x7C, 0x01, 0x00, 0x00}, swp08::Error::bad_length},
        {"salvo tally cut", {0x7D, 0x00, 0x00, 0x04, 0x02, 0x03, 0x01}, swp08::Error::bad_length},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const swp08::Decoded d = swp08::decodeMessage(c.data);
        EXPECT_EQ(d.error, c.error) << d.detail;
        EXPECT_FALSE(d.detail.empty());
    }
    // What cannot be sent is refused by the encoder.
    Message bigSalvo = shortMessage(Kind::salvo_go, 128);
    EXPECT_FALSE(swp08::encode(bigSalvo).ok());
    Message wide = salvoPoint(Kind::salvo_connect, 0, 0, 1024, 0, 1);
    EXPECT_FALSE(swp08::encode(wide).ok());
}

}  // namespace
