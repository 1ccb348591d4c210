#include "bridges/codecs/ember_s101.h"

#include <algorithm>

namespace zarn_host::ember {
namespace {

// The header of a Glow packet after BOF: slot, message, command, version,
// flags, DTD, two application bytes (the Glow version).
constexpr std::size_t kGlowHeader = 9;
constexpr std::size_t kKeepAliveHeader = 4;

void putEscaped(Bytes& out, uint8_t b) {
    if (b >= kFirstEscaped) {
        out.push_back(kCe);
        out.push_back(static_cast<uint8_t>(b ^ kXor));
    } else {
        out.push_back(b);
    }
}

// BOF, the bytes escaped, the CRC's complement escaped, EOF.
Bytes packet(const Bytes& unescaped) {
    Bytes out;
    out.reserve(unescaped.size() + unescaped.size() / 8 + 6);
    out.push_back(kBof);
    for (uint8_t b : unescaped) putEscaped(out, b);
    const uint16_t sum = static_cast<uint16_t>(~crc(unescaped.data(), unescaped.size()));
    putEscaped(out, static_cast<uint8_t>(sum & 0xFF));
    putEscaped(out, static_cast<uint8_t>(sum >> 8));
    out.push_back(kEof);
    return out;
}

Bytes keepAlive(uint8_t command) {
    return packet({kSlot, kMessageEmber, command, kVersion});
}

}  // namespace

uint16_t crc(const uint8_t* data, std::size_t size) {
    uint16_t c = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        c ^= data[i];
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0x8408) : (c >> 1);
    }
    return c;
}

std::vector<Bytes> frameMessage(const uint8_t* glow, std::size_t size, std::size_t payloadPerPacket) {
    if (payloadPerPacket == 0) payloadPerPacket = kPacketPayload;
    std::vector<Bytes> out;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(payloadPerPacket, size - at);
        uint8_t flags = 0;
        if (at == 0) flags |= kFlagFirst;
        if (at + n == size) flags |= kFlagLast;
        if (size == 0) flags |= kFlagEmpty;
        Bytes p = {kSlot, kMessageEmber, kCommandEmber, kVersion, flags, kDtdGlow, 2, kGlowMinor, kGlowMajor};
        p.insert(p.end(), glow + at, glow + at + n);
        out.push_back(packet(p));
        at += n;
    } while (at < size);
    return out;
}

Bytes keepAliveRequest() {
    return keepAlive(kCommandKeepAliveRequest);
}

Bytes keepAliveResponse() {
    return keepAlive(kCommandKeepAliveResponse);
}

const char* errorName(S101Error error) {
    switch (error) {
        case S101Error::none:
            return "none";
        case S101Error::bad_crc:
            return "bad CRC";
        case S101Error::bad_escape:
            return "bad escape";
        case S101Error::short_packet:
            return "short packet";
        case S101Error::packet_too_long:
            return "packet too long";
        case S101Error::message_too_long:
            return "message too long";
        case S101Error::unknown_packet:
            return "unknown packet";
        case S101Error::out_of_order:
            return "packet out of order";
        case S101Error::garbage:
            return "garbage";
    }
    return "?";
}

void S101Decoder::error(std::vector<S101Event>& events, S101Error error, std::string detail) {
    S101Event e;
    e.kind = S101Event::Kind::error;
    e.error = error;
    e.detail = std::string(errorName(error)) + (detail.empty() ? "" : ": " + detail);
    events.push_back(std::move(e));
}

void S101Decoder::feed(const uint8_t* data, std::size_t size, std::vector<S101Event>& events) {
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b == kBof) {
            if (garbage_ > 0) error(events, S101Error::garbage, std::to_string(garbage_) + " bytes");
            garbage_ = 0;
            if (inPacket_ && !packet_.empty()) error(events, S101Error::short_packet, "cut short by BOF");
            inPacket_ = true;
            escaped_ = false;
            overflow_ = false;
            skipReported_ = false;
            packet_.clear();
            continue;
        }
        if (!inPacket_) {
            ++garbage_;
            continue;
        }
        if (b == kEof) {
            inPacket_ = false;
            if (escaped_) {
                error(events, S101Error::bad_escape, "CE before EOF");
            } else if (overflow_ && !skipReported_) {
                error(events, S101Error::packet_too_long, "over " + std::to_string(kMaxPacket) + " bytes");
            } else if (!overflow_) {
                endPacket(events);
            }
            packet_.clear();
            continue;
        }
        if (overflow_) continue;
        if (escaped_) {
            escaped_ = false;
            if (b == kCe) {
                // The rest of the packet is skipped up to its EOF.
                error(events, S101Error::bad_escape, "CE CE");
                overflow_ = true;
                skipReported_ = true;
                packet_.clear();
                continue;
            }
            packet_.push_back(static_cast<uint8_t>(b ^ kXor));
        } else if (b == kCe) {
            escaped_ = true;
            continue;
        } else {
            packet_.push_back(b);
        }
        if (packet_.size() > kMaxPacket) {
            overflow_ = true;
            packet_.clear();
        }
    }
}

void S101Decoder::endPacket(std::vector<S101Event>& events) {
    if (packet_.size() < kKeepAliveHeader + 2) {
        error(events, S101Error::short_packet, std::to_string(packet_.size()) + " bytes");
        return;
    }
    const uint16_t check = crc(packet_.data(), packet_.size());
    if (check != 0xF0B8) {  // the residue of a good packet, its CRC included
        error(events, S101Error::bad_crc, "");
        return;
    }
    const std::size_t size = packet_.size() - 2;
    const uint8_t* p = packet_.data();
    if (p[1] != kMessageEmber || p[3] != kVersion) {
        error(events, S101Error::unknown_packet, "message type " + std::to_string(p[1]));
        return;
    }
    if (p[2] == kCommandKeepAliveRequest || p[2] == kCommandKeepAliveResponse) {
        S101Event e;
        e.kind = p[2] == kCommandKeepAliveRequest ? S101Event::Kind::keep_alive_request
                                                  : S101Event::Kind::keep_alive_response;
        events.push_back(std::move(e));
        return;
    }
    if (p[2] != kCommandEmber) {
        error(events, S101Error::unknown_packet, "command " + std::to_string(p[2]));
        return;
    }
    if (size < kGlowHeader - 2 || size < 7u + p[6]) {
        error(events, S101Error::short_packet, std::to_string(size) + " bytes");
        return;
    }
    const uint8_t flags = p[4];
    if (p[5] != kDtdGlow) {
        error(events, S101Error::unknown_packet, "DTD " + std::to_string(p[5]));
        return;
    }
    const std::size_t start = 7u + p[6];  // after the application bytes
    if (flags & kFlagFirst) {
        message_.clear();
        assembling_ = true;
    } else if (!assembling_) {
        error(events, S101Error::out_of_order, "no first packet");
        return;
    }
    if (!(flags & kFlagEmpty)) {
        if (message_.size() + (size - start) > maxMessage_) {
            message_.clear();
            assembling_ = false;
            error(events, S101Error::message_too_long, "over " + std::to_string(maxMessage_) + " bytes");
            return;
        }
        message_.insert(message_.end(), p + start, p + size);
    }
    if (flags & kFlagLast) {
        S101Event e;
        e.kind = S101Event::Kind::message;
        e.message.swap(message_);
        assembling_ = false;
        events.push_back(std::move(e));
    }
}

}  // namespace zarn_host::ember
