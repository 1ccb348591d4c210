// SW-P-08's link layer: framing with DLE stuffing, the checksum, the
// incremental decoder and the sending side's retries.
#include "bridges/codecs/swp08_link.h"

#include <utility>

#include "bridges/codecs/swp08_text.h"

namespace zarn_host::swp08 {

const char* errorName(Error error) {
    switch (error) {
        case Error::none:
            return "none";
        case Error::bad_checksum:
            return "bad checksum";
        case Error::bad_byte_count:
            return "bad byte count";
        case Error::bad_stuffing:
            return "bad stuffing";
        case Error::truncated:
            return "truncated";
        case Error::oversized:
            return "oversized";
        case Error::garbage:
            return "garbage";
        case Error::unknown_command:
            return "unknown command";
        case Error::bad_length:
            return "bad length";
        case Error::bad_value:
            return "bad value";
    }
    return "?";
}

namespace {

using detail::format;

void putStuffed(Bytes& out, uint8_t byte) {
    out.push_back(byte);
    if (byte == kDle) out.push_back(kDle);
}

// DATA, byte count and checksum as received: valid when the byte count is
// the DATA's size and everything sums to zero.
Error checkBody(const Bytes& body) {
    if (body.size() < 3) return Error::truncated;
    unsigned sum = 0;
    for (uint8_t b : body) sum += b;
    if ((sum & 0xFF) != 0) return Error::bad_checksum;
    if (body[body.size() - 2] != body.size() - 2) return Error::bad_byte_count;
    return Error::none;
}

}  // namespace

uint8_t checksum(const uint8_t* data, std::size_t size) {
    unsigned sum = static_cast<unsigned>(size);
    for (std::size_t i = 0; i < size; ++i) sum += data[i];
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

Bytes frame(const uint8_t* data, std::size_t size) {
    Bytes out;
    if (size == 0 || size > kMaxData) return out;
    out.reserve(size * 2 + 8);
    out.push_back(kDle);
    out.push_back(kStx);
    for (std::size_t i = 0; i < size; ++i) putStuffed(out, data[i]);
    putStuffed(out, static_cast<uint8_t>(size));
    putStuffed(out, checksum(data, size));
    out.push_back(kDle);
    out.push_back(kEtx);
    return out;
}

// ---- Decoder -------------------------------------------------------------

void Decoder::reset() {
    state_ = State::idle;
    body_.clear();
    garbageReported_ = false;
    pendingDles_ = 0;
}

void Decoder::fail(std::vector<Event>& out, Error error, std::string detail) {
    Event event;
    event.kind = Event::Kind::error;
    event.error = error;
    event.detail = std::move(detail);
    out.push_back(std::move(event));
    body_.clear();
    state_ = State::idle;
    // The rest of a broken frame is not reported again as garbage.
    garbageReported_ = true;
}

void Decoder::byteOutside(std::vector<Event>& out) {
    if (garbageReported_) return;
    Event event;
    event.kind = Event::Kind::error;
    event.error = Error::garbage;
    event.detail = "bytes outside a frame, skipped up to the next DLE STX";
    out.push_back(std::move(event));
    garbageReported_ = true;
}

void Decoder::endFrame(std::vector<Event>& out) {
    const Error error = checkBody(body_);
    switch (error) {
        case Error::none: {
            Event event;
            event.kind = Event::Kind::frame;
            event.data.assign(body_.begin(), body_.end() - 2);
            out.push_back(std::move(event));
            body_.clear();
            state_ = State::idle;
            garbageReported_ = false;
            return;
        }
        case Error::truncated:
            return fail(out, error,
                        format("frame of %u bytes: too short for command, byte count and checksum",
                               static_cast<unsigned>(body_.size())));
        case Error::bad_checksum:
            return fail(out, error, format("checksum %02X hex does not match the frame", body_.back()));
        default:
            return fail(out, error,
                        format("byte count %u, but %u bytes of data", body_[body_.size() - 2],
                               static_cast<unsigned>(body_.size() - 2)));
    }
}

void Decoder::feed(const uint8_t* data, std::size_t size, std::vector<Event>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        switch (state_) {
            case State::idle:
                if (b == kDle) {
                    state_ = State::idle_dle;
                } else {
                    byteOutside(out);
                }
                break;
            case State::idle_dle:
                if (b == kStx) {
                    body_.clear();
                    pendingDles_ = 0;
                    garbageReported_ = false;
                    state_ = State::body;
                } else if (b == kAck || b == kNak) {
                    out.push_back(Event{b == kAck ? Event::Kind::ack : Event::Kind::nak, {}, Error::none, {}});
                    garbageReported_ = false;
                    state_ = State::idle;
                } else {
                    // DLE DLE, DLE ETX or anything else: the tail of a frame
                    // we did not see the start of.
                    byteOutside(out);
                    state_ = State::idle;
                }
                break;
            case State::body:
                if (b == kDle) {
                    state_ = State::body_dle;
                    break;
                }
                if (b == kEtx && pendingDles_ > 0 && checkBody(body_) == Error::none) {
                    // DLE DLE ETX right after the checksum: a peer that does
                    // not stuff a checksum of 10 hex.
                    endFrame(out);
                    break;
                }
                pendingDles_ = 0;
                body_.push_back(b);
                if (body_.size() > kMaxData + 2) {
                    fail(out, Error::oversized,
                         format("frame longer than %u bytes of data", static_cast<unsigned>(kMaxData)));
                }
                break;
            case State::body_dle:
                state_ = State::body;
                if (b == kDle) {
                    body_.push_back(kDle);
                    pendingDles_ = 1;
                    if (body_.size() > kMaxData + 2) {
                        fail(out, Error::oversized,
                             format("frame longer than %u bytes of data", static_cast<unsigned>(kMaxData)));
                    }
                } else if (b == kEtx) {
                    endFrame(out);
                } else if (b == kStx) {
                    Event event;
                    event.kind = Event::Kind::error;
                    event.error = Error::truncated;
                    event.detail =
                        format("frame cut short after %u bytes by a new DLE STX", static_cast<unsigned>(body_.size()));
                    out.push_back(std::move(event));
                    body_.clear();
                    pendingDles_ = 0;
                } else if (b == kAck || b == kNak) {
                    out.push_back(Event{b == kAck ? Event::Kind::ack : Event::Kind::nak, {}, Error::none, {}});
                } else {
                    fail(out, Error::bad_stuffing, format("DLE followed by %02X hex inside a frame", b));
                }
                break;
        }
    }
}

Bytes replyFor(const Event& event) {
    switch (event.kind) {
        case Event::Kind::frame:
            return ackBytes();
        case Event::Kind::error:
            switch (event.error) {
                case Error::bad_checksum:
                case Error::bad_byte_count:
                case Error::bad_stuffing:
                case Error::truncated:
                case Error::oversized:
                    return nakBytes();
                default:
                    return {};
            }
        default:
            return {};
    }
}

// ---- Transmitter -----------------------------------------------------------

Bytes Transmitter::startNext(uint64_t nowMs) {
    inFlight_ = false;
    current_.clear();
    attempts_ = 0;
    while (!queue_.empty()) {
        Bytes framed = frame(queue_.front());
        queue_.erase(queue_.begin());
        if (framed.empty()) {
            ++dropped_;
            continue;
        }
        current_ = std::move(framed);
        inFlight_ = true;
        attempts_ = 1;
        sentAtMs_ = nowMs;
        return current_;
    }
    return {};
}

Bytes Transmitter::retry(uint64_t nowMs) {
    if (attempts_ >= kMaxAttempts) {
        ++dropped_;
        return startNext(nowMs);
    }
    ++attempts_;
    sentAtMs_ = nowMs;
    return current_;
}

Bytes Transmitter::send(const Bytes& data, uint64_t nowMs) {
    queue_.push_back(data);
    if (inFlight_) return {};
    return startNext(nowMs);
}

Bytes Transmitter::onAck(uint64_t nowMs) {
    if (!inFlight_) return {};
    return startNext(nowMs);
}

Bytes Transmitter::onNak(uint64_t nowMs) {
    if (!inFlight_) return {};
    return retry(nowMs);
}

Bytes Transmitter::onTick(uint64_t nowMs) {
    if (!inFlight_ || nowMs < sentAtMs_ + kAckTimeoutMs) return {};
    return retry(nowMs);
}

void Transmitter::reset() {
    queue_.clear();
    current_.clear();
    inFlight_ = false;
    attempts_ = 0;
    dropped_ = 0;
}

}  // namespace zarn_host::swp08
