// SW-P-08 router control, the link layer: DLE STX ... DLE ETX frames with a
// byte count and checksum, DLE stuffing, DLE ACK / DLE NAK, and the sending
// side's one-frame-in-flight retries.
//
// Pure functions and small state machines over bytes: no sockets, threads or
// clocks. A connection feeds what it reads to a Decoder, answers each frame
// with ACK or NAK (replyFor) and writes what the Transmitter gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn_host::swp08 {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;

// DATA (command byte and message) before stuffing: the byte count is one
// byte. 128 bytes is what every peer takes; longer frames are for peers that
// accept them (names and tally dumps of the full length).
inline constexpr std::size_t kMaxData = 255;
inline constexpr std::size_t kPortableData = 128;

enum class Error : uint8_t {
    none,
    bad_checksum,     // checksum over DATA and byte count does not sum to zero
    bad_byte_count,   // byte count differs from the DATA received
    bad_stuffing,     // DLE followed by a byte that is neither DLE, STX, ETX, ACK nor NAK
    truncated,        // a frame cut short (a new DLE STX inside it, or too few bytes)
    oversized,        // more DATA than a byte count can describe
    garbage,          // bytes outside any frame
    unknown_command,  // a command outside the supported subset
    bad_length,       // the message's length does not fit its command
    bad_value,        // a field out of range for the command or form
};

// A short lower-case name of the error ("bad checksum").
const char* errorName(Error error);

// ---- Link layer --------------------------------------------------------

// SOM, DATA stuffed, byte count and checksum stuffed, EOM. DATA must hold 1
// to kMaxData bytes (the encoders below never give more); an empty or longer
// DATA gives an empty result.
Bytes frame(const uint8_t* data, std::size_t size);
inline Bytes frame(const Bytes& data) {
    return frame(data.data(), data.size());
}

// The two's complement of the 8-bit sum of DATA and the byte count.
uint8_t checksum(const uint8_t* data, std::size_t size);

inline Bytes ackBytes() {
    return {kDle, kAck};
}
inline Bytes nakBytes() {
    return {kDle, kNak};
}

// What the incremental decoder gives.
struct Event {
    enum class Kind : uint8_t { frame, ack, nak, error };
    Kind kind = Kind::frame;
    Bytes data;                 // frame: DATA, unstuffed, without byte count and checksum
    Error error = Error::none;  // error: the reason
    std::string detail;         // error: one line for a diagnostic

    bool operator==(const Event& other) const {
        return kind == other.kind && data == other.data && error == other.error;
    }
};

// Takes bytes as they arrive and yields frames, ACKs, NAKs and errors, in
// order. A frame with a wrong checksum, byte count or stuffing is an error
// event and the decoder waits for the next DLE STX; bytes between frames are
// one garbage error per run. DLE ACK and DLE NAK inside a frame are reported
// and the frame goes on. Memory is bounded: a frame longer than any valid
// frame is dropped as oversized.
//
// Some controllers do not stuff a checksum of 10 hex: DLE DLE ETX is taken
// as that checksum and the end of the frame when the frame is valid read
// that way (in a well-stuffed frame it is a DLE and an ETX of DATA).
class Decoder {
public:
    // Appends the events of these bytes to out.
    void feed(const uint8_t* data, std::size_t size, std::vector<Event>& out);
    std::vector<Event> feed(const uint8_t* data, std::size_t size) {
        std::vector<Event> out;
        feed(data, size, out);
        return out;
    }
    std::vector<Event> feed(const Bytes& data) { return feed(data.data(), data.size()); }

    // Forgets a partial frame (after a reconnect).
    void reset();
    bool inFrame() const { return state_ == State::body || state_ == State::body_dle; }

private:
    enum class State : uint8_t { idle, idle_dle, body, body_dle };
    void endFrame(std::vector<Event>& out);
    void fail(std::vector<Event>& out, Error error, std::string detail);
    void byteOutside(std::vector<Event>& out);

    State state_ = State::idle;
    Bytes body_;  // DATA, byte count and checksum, unstuffed
    bool garbageReported_ = false;
    std::size_t pendingDles_ = 0;  // body: the last byte was a stuffed DLE (for unstuffed checksums)
};

// The link-layer answer to an event: ACK for a frame, NAK for a frame whose
// packaging was wrong, nothing for ACK, NAK or garbage.
Bytes replyFor(const Event& event);

// The sending side of the link: one frame in flight until it is
// acknowledged; a NAK or a missing ACK resends it, at most kMaxAttempts
// sends in all, then it is dropped and reported. Time is passed in, in
// milliseconds of any monotonic clock.
class Transmitter {
public:
    static constexpr int kMaxAttempts = 6;  // the first send and five retries
    static constexpr uint64_t kAckTimeoutMs = 1000;

    // Queues DATA (command and message); returns the bytes to write now
    // (the frame, when nothing else is in flight).
    Bytes send(const Bytes& data, uint64_t nowMs);
    // An ACK arrived: the frame in flight is done; returns the next frame's bytes.
    Bytes onAck(uint64_t nowMs);
    // A NAK arrived: returns the frame in flight again (or the next frame
    // when it ran out of attempts).
    Bytes onNak(uint64_t nowMs);
    // Call now and then: resends a frame whose ACK is overdue.
    Bytes onTick(uint64_t nowMs);
    // When onTick next needs calling (0 when nothing is in flight).
    uint64_t deadlineMs() const { return inFlight_ ? sentAtMs_ + kAckTimeoutMs : 0; }

    std::size_t queued() const { return queue_.size(); }
    bool inFlight() const { return inFlight_; }
    // Frames given up on since the last call.
    std::size_t takeDropped() {
        const std::size_t n = dropped_;
        dropped_ = 0;
        return n;
    }
    void reset();

private:
    Bytes startNext(uint64_t nowMs);
    Bytes retry(uint64_t nowMs);

    std::vector<Bytes> queue_;  // DATA waiting, oldest first
    Bytes current_;             // framed bytes in flight
    bool inFlight_ = false;
    int attempts_ = 0;
    uint64_t sentAtMs_ = 0;
    std::size_t dropped_ = 0;
};

}  // namespace zarn_host::swp08
