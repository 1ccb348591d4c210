// Ember+ framing over TCP (S101): each packet is BOF, slot, message type,
// command, version, (for a Glow packet) flags, DTD and application bytes,
// the payload, a 16-bit CRC, EOF. Bytes from F8 hex up inside a packet are
// escaped (CE, byte XOR 20 hex). A Glow message longer than one packet is
// split over packets flagged first / middle / last.
//
// Pure functions and a small state machine over bytes: no sockets, threads
// or clocks. A connection feeds what it reads to a Decoder, answers keep-alive
// requests and decodes each whole message as Glow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn_host::ember {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kBof = 0xFE;
inline constexpr uint8_t kEof = 0xFF;
inline constexpr uint8_t kCe = 0xFD;
inline constexpr uint8_t kXor = 0x20;
inline constexpr uint8_t kFirstEscaped = 0xF8;  // this byte and above are escaped

inline constexpr uint8_t kSlot = 0x00;
inline constexpr uint8_t kMessageEmber = 0x0E;
inline constexpr uint8_t kCommandEmber = 0x00;
inline constexpr uint8_t kCommandKeepAliveRequest = 0x01;
inline constexpr uint8_t kCommandKeepAliveResponse = 0x02;
inline constexpr uint8_t kVersion = 0x01;
inline constexpr uint8_t kFlagFirst = 0x80;
inline constexpr uint8_t kFlagLast = 0x40;
inline constexpr uint8_t kFlagEmpty = 0x20;
inline constexpr uint8_t kDtdGlow = 0x01;
inline constexpr uint8_t kGlowMinor = 0x1F;  // Glow DTD 2.31, sent as the two application bytes
inline constexpr uint8_t kGlowMajor = 0x02;

// Payload bytes a packet carries before escaping; peers take 1024.
inline constexpr std::size_t kPacketPayload = 1024;
// Longest packet (unescaped, BOF and EOF excluded) the decoder takes.
inline constexpr std::size_t kMaxPacket = 64 * 1024;
// Longest whole message the decoder reassembles.
inline constexpr std::size_t kMaxMessage = 16 * 1024 * 1024;

// The CRC of the unescaped bytes between BOF and the CRC: CCITT, reflected
// (polynomial 8408 hex), from FFFF; a packet carries its complement, low
// byte first.
uint16_t crc(const uint8_t* data, std::size_t size);

// The packets of one Glow message, each with at most payloadPerPacket bytes
// of it (0 is taken as kPacketPayload). An empty message is one packet
// flagged empty.
std::vector<Bytes> frameMessage(const uint8_t* glow, std::size_t size, std::size_t payloadPerPacket = kPacketPayload);
inline std::vector<Bytes> frameMessage(const Bytes& glow, std::size_t payloadPerPacket = kPacketPayload) {
    return frameMessage(glow.data(), glow.size(), payloadPerPacket);
}
Bytes keepAliveRequest();
Bytes keepAliveResponse();

enum class S101Error : uint8_t {
    none,
    bad_crc,           // the CRC does not match: the packet is dropped
    bad_escape,        // CE followed by EOF, BOF or another CE
    short_packet,      // fewer bytes than the header and CRC need
    packet_too_long,   // more than kMaxPacket bytes before EOF
    message_too_long,  // a message reassembled past kMaxMessage
    unknown_packet,    // another message type, command or DTD, or a packet not of version 1
    out_of_order,      // a middle or last packet with no first before it
    garbage,           // bytes outside any packet
};
const char* errorName(S101Error error);

struct S101Event {
    enum class Kind : uint8_t { message, keep_alive_request, keep_alive_response, error };
    Kind kind = Kind::error;
    Bytes message;  // a whole Glow message (kind message)
    S101Error error = S101Error::none;
    std::string detail;  // one line (kind error)
};

// Takes bytes as they arrive; yields whole messages, keep-alives and errors.
// After an error it resumes at the next BOF: a bad packet loses its message,
// never the stream. message_too_long means the peer cannot be trusted: the
// caller drops it.
class S101Decoder {
public:
    explicit S101Decoder(std::size_t maxMessage = kMaxMessage) : maxMessage_(maxMessage) {}
    void feed(const uint8_t* data, std::size_t size, std::vector<S101Event>& events);
    std::vector<S101Event> feed(const Bytes& bytes) {
        std::vector<S101Event> events;
        feed(bytes.data(), bytes.size(), events);
        return events;
    }

private:
    void endPacket(std::vector<S101Event>& events);
    void error(std::vector<S101Event>& events, S101Error error, std::string detail);

    std::size_t maxMessage_;
    bool inPacket_ = false;
    bool escaped_ = false;
    bool overflow_ = false;      // skipping the rest of a packet
    bool skipReported_ = false;  // ...whose fault was already reported
    std::size_t garbage_ = 0;
    Bytes packet_;   // unescaped, after BOF
    Bytes message_;  // the message being reassembled
    bool assembling_ = false;
};

}  // namespace zarn_host::ember
