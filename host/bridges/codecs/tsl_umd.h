// TSL UMD v5 display messages: the packets a tally controller sends to the
// under-monitor displays of a screen, over UDP (one packet a datagram) or TCP
// (each packet after DLE STX, with DLE stuffing).
//
// Pure functions over bytes: the sender encodes a screen's displays into as
// many packets as the size limit needs and writes them; decode and the
// stream decoder are for tests, fuzzing and a listener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn_host::tsl {

using Bytes = std::vector<uint8_t>;

inline constexpr std::size_t kMaxPacket = 2048;       // a whole packet, byte count included
inline constexpr std::size_t kHeaderSize = 6;         // byte count, version, flags, screen
inline constexpr std::size_t kDisplayHeaderSize = 6;  // index, control, text length
inline constexpr uint16_t kBroadcast = 0xFFFF;        // every screen, or every display of a screen
inline constexpr uint8_t kVersion = 0;
inline constexpr uint8_t kFlagUtf16 = 0x01;  // texts are UTF-16LE, else ASCII
inline constexpr uint8_t kFlagScreenControl = 0x02;
inline constexpr uint8_t kDle = 0xFE;  // the TCP wrapping's DLE and STX
inline constexpr uint8_t kStx = 0x02;

enum class Lamp : uint8_t { off = 0, red = 1, green = 2, amber = 3 };

struct Display {
    uint16_t index = 0;
    Lamp rightTally = Lamp::off;
    Lamp textTally = Lamp::off;
    Lamp leftTally = Lamp::off;
    uint8_t brightness = 3;  // 0-3; more is taken as 3
    std::string text;        // UTF-8

    bool operator==(const Display& o) const {
        return index == o.index && rightTally == o.rightTally && textTally == o.textTally && leftTally == o.leftTally &&
               brightness == o.brightness && text == o.text;
    }
    bool operator!=(const Display& o) const { return !(*this == o); }
};

// The control word of a display (the text follows it).
uint16_t controlWord(const Display& display);

// The displays of a screen as packets of at most maxPacket bytes (at least
// the size of a packet with one empty display), in order. A packet's texts
// are ASCII when all of them are, else UTF-16LE with the flag set. Invalid
// UTF-8 is replaced by U+FFFD; a text too long for a packet of its own is cut
// at a character.
std::vector<Bytes> encode(uint16_t screen, const std::vector<Display>& displays, std::size_t maxPacket = kMaxPacket);

// A packet in the TCP wrapping: DLE STX, then the packet with each DLE doubled.
Bytes wrapTcp(const Bytes& packet);

enum class Error : uint8_t {
    none,
    truncated,       // fewer bytes than the packet or a display needs
    bad_byte_count,  // the byte count does not match the packet's size
    bad_length,      // a text length past the end, or odd in a UTF-16 packet
    unsupported,     // screen control or display control data
    oversized,       // a byte count beyond the size limit (TCP stream)
    bad_stuffing,    // DLE followed by neither DLE nor STX (TCP stream)
    garbage,         // bytes before DLE STX (TCP stream)
};
const char* errorName(Error error);

struct Packet {
    uint8_t version = kVersion;
    bool utf16 = false;
    uint16_t screen = 0;
    std::vector<Display> displays;  // texts as UTF-8
};

struct Decoded {
    Packet packet;
    Error error = Error::none;
    std::string detail;
    bool ok() const { return error == Error::none; }
};
// One packet (a UDP datagram, or what StreamDecoder gives). ASCII texts with
// bytes above 7F hex are read as Latin-1; lone UTF-16 surrogates become U+FFFD.
Decoded decode(const uint8_t* data, std::size_t size);
inline Decoded decode(const Bytes& packet) {
    return decode(packet.data(), packet.size());
}

// Takes a TCP stream as it arrives and yields the packets (unwrapped) and
// errors; after an error it waits for the next DLE STX.
class StreamDecoder {
public:
    struct Event {
        Bytes packet;
        Error error = Error::none;
        std::string detail;
        bool ok() const { return error == Error::none; }
    };
    void feed(const uint8_t* data, std::size_t size, std::vector<Event>& out);
    std::vector<Event> feed(const Bytes& data) {
        std::vector<Event> out;
        feed(data.data(), data.size(), out);
        return out;
    }
    void reset();

private:
    enum class State : uint8_t { idle, idle_dle, body, body_dle };
    void take(uint8_t byte, std::vector<Event>& out);
    void fail(std::vector<Event>& out, Error error, std::string detail);
    State state_ = State::idle;
    Bytes packet_;
    bool garbageReported_ = false;
};

// UTF-8 with every byte that does not start or continue a valid sequence
// (overlong forms and surrogates included) replaced by U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace zarn_host::tsl
