#include "bridges/codecs/tsl_umd.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zarn_host::tsl {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void putUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The code points of UTF-8 text; invalid bytes each give U+FFFD.
std::u32string codePoints(std::string_view text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
        if (valid) {
            out.push_back(c);
            i += length;
        } else {
            out.push_back(kReplacement);
            ++i;
        }
    }
    return out;
}

bool allAscii(const std::u32string& text) {
    return std::all_of(text.begin(), text.end(), [](char32_t c) { return c < 0x80; });
}

std::size_t utf16Units(char32_t c) {
    return c >= 0x10000 ? 2 : 1;
}

// The text's bytes in a packet's encoding, cut to at most limit bytes at a
// character.
Bytes textBytes(const std::u32string& text, bool utf16, std::size_t limit) {
    Bytes out;
    for (char32_t c : text) {
        const std::size_t size = utf16 ? 2 * utf16Units(c) : 1;
        if (out.size() + size > limit) break;
        if (!utf16) {
            out.push_back(static_cast<uint8_t>(c));
        } else if (c < 0x10000) {
            out.push_back(static_cast<uint8_t>(c & 0xFF));
            out.push_back(static_cast<uint8_t>(c >> 8));
        } else {
            const char32_t v = c - 0x10000;
            const char32_t high = 0xD800 + (v >> 10);
            const char32_t low = 0xDC00 + (v & 0x3FF);
            out.push_back(static_cast<uint8_t>(high & 0xFF));
            out.push_back(static_cast<uint8_t>(high >> 8));
            out.push_back(static_cast<uint8_t>(low & 0xFF));
            out.push_back(static_cast<uint8_t>(low >> 8));
        }
    }
    return out;
}

std::size_t textSize(const std::u32string& text, bool utf16) {
    if (!utf16) return text.size();
    std::size_t units = 0;
    for (char32_t c : text) units += utf16Units(c);
    return 2 * units;
}

void putWord(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

struct Pending {
    const Display* display;
    std::u32string text;
    bool ascii;
};

Bytes packetOf(uint16_t screen, const std::vector<Pending>& displays, std::size_t maxPacket) {
    const bool utf16 = !std::all_of(displays.begin(), displays.end(), [](const Pending& p) { return p.ascii; });
    Bytes out;
    out.resize(2);  // byte count, below
    out.push_back(kVersion);
    out.push_back(utf16 ? kFlagUtf16 : 0);
    putWord(out, screen);
    for (const Pending& p : displays) {
        putWord(out, p.display->index);
        putWord(out, controlWord(*p.display));
        const std::size_t room = maxPacket - out.size() - 2;
        const Bytes text = textBytes(p.text, utf16, room);
        putWord(out, static_cast<uint16_t>(text.size()));
        out.insert(out.end(), text.begin(), text.end());
    }
    const auto count = static_cast<uint16_t>(out.size() - 2);
    out[0] = static_cast<uint8_t>(count & 0xFF);
    out[1] = static_cast<uint8_t>(count >> 8);
    return out;
}

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

std::string validUtf8(std::string_view text) {
    std::string out;
    for (char32_t c : codePoints(text)) putUtf8(out, c);
    return out;
}

uint16_t controlWord(const Display& d) {
    const unsigned brightness = std::min<unsigned>(d.brightness, 3);
    return static_cast<uint16_t>((static_cast<unsigned>(d.rightTally) & 3) |
                                 ((static_cast<unsigned>(d.textTally) & 3) << 2) |
                                 ((static_cast<unsigned>(d.leftTally) & 3) << 4) | (brightness << 6));
}

std::vector<Bytes> encode(uint16_t screen, const std::vector<Display>& displays, std::size_t maxPacket) {
    maxPacket = std::clamp(maxPacket, kHeaderSize + kDisplayHeaderSize, kMaxPacket);
    std::vector<Bytes> packets;
    std::vector<Pending> current;
    std::size_t asciiSize = kHeaderSize;  // the current packet's size with ASCII texts
    std::size_t utf16Size = kHeaderSize;  // and with UTF-16 texts
    bool ascii = true;
    for (const Display& display : displays) {
        Pending next{&display, codePoints(display.text), true};
        next.ascii = allAscii(next.text);
        const bool nextIsAscii = ascii && next.ascii;
        const std::size_t nextAscii = asciiSize + kDisplayHeaderSize + textSize(next.text, false);
        const std::size_t nextUtf16 = utf16Size + kDisplayHeaderSize + textSize(next.text, true);
        if (!current.empty() && (nextIsAscii ? nextAscii : nextUtf16) > maxPacket) {
            packets.push_back(packetOf(screen, current, maxPacket));
            current.clear();
            asciiSize = kHeaderSize + kDisplayHeaderSize + textSize(next.text, false);
            utf16Size = kHeaderSize + kDisplayHeaderSize + textSize(next.text, true);
            ascii = next.ascii;
        } else {
            asciiSize = nextAscii;
            utf16Size = nextUtf16;
            ascii = nextIsAscii;
        }
        current.push_back(std::move(next));
    }
    if (!current.empty()) packets.push_back(packetOf(screen, current, maxPacket));
    return packets;
}

Bytes wrapTcp(const Bytes& packet) {
    Bytes out{kDle, kStx};
    out.reserve(packet.size() + 8);
    for (uint8_t b : packet) {
        out.push_back(b);
        if (b == kDle) out.push_back(kDle);
    }
    return out;
}

const char* errorName(Error error) {
    switch (error) {
        case Error::none:
            return "none";
        case Error::truncated:
            return "truncated";
        case Error::bad_byte_count:
            return "bad byte count";
        case Error::bad_length:
            return "bad length";
        case Error::unsupported:
            return "unsupported";
        case Error::oversized:
            return "oversized";
        case Error::bad_stuffing:
            return "bad stuffing";
        case Error::garbage:
            return "garbage";
    }
    return "?";
}

Decoded decode(const uint8_t* data, std::size_t size) {
    Decoded out;
    auto fail = [&out](Error error, std::string detail) {
        out.error = error;
        out.detail = std::move(detail);
        out.packet.displays.clear();
        return out;
    };
    if (size < kHeaderSize)
        return fail(Error::truncated, format("packet of %u bytes, shorter than a header", static_cast<unsigned>(size)));
    const unsigned count = word(data);
    if (count != size - 2)
        return fail(Error::bad_byte_count,
                    format("byte count %u, but %u bytes follow it", count, static_cast<unsigned>(size - 2)));
    Packet& packet = out.packet;
    packet.version = data[2];
    const uint8_t flags = data[3];
    packet.utf16 = (flags & kFlagUtf16) != 0;
    packet.screen = word(data + 4);
    if (flags & kFlagScreenControl) return fail(Error::unsupported, "screen control data is not supported");
    std::size_t at = kHeaderSize;
    while (at < size) {
        if (size - at < kDisplayHeaderSize)
            return fail(Error::truncated, format("display at byte %u cut short", static_cast<unsigned>(at)));
        Display d;
        d.index = word(data + at);
        const uint16_t control = word(data + at + 2);
        if (control & 0x8000)
            return fail(Error::unsupported, format("display %u: control data is not supported", d.index));
        d.rightTally = static_cast<Lamp>(control & 3);
        d.textTally = static_cast<Lamp>((control >> 2) & 3);
        d.leftTally = static_cast<Lamp>((control >> 4) & 3);
        d.brightness = static_cast<uint8_t>((control >> 6) & 3);
        const std::size_t length = word(data + at + 4);
        at += kDisplayHeaderSize;
        if (length > size - at)
            return fail(Error::bad_length,
                        format("display %u: text of %u bytes past the end", d.index, static_cast<unsigned>(length)));
        const uint8_t* text = data + at;
        if (!packet.utf16) {
            for (std::size_t i = 0; i < length; ++i) putUtf8(d.text, text[i]);
        } else {
            if (length % 2 != 0)
                return fail(Error::bad_length,
                            format("display %u: UTF-16 text of odd length %u", d.index, static_cast<unsigned>(length)));
            for (std::size_t i = 0; i < length; i += 2) {
                const char32_t unit = word(text + i);
                if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < length) {
                    const char32_t low = word(text + i + 2);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        putUtf8(d.text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                        i += 2;
                        continue;
                    }
                }
                putUtf8(d.text, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
            }
        }
        at += length;
        packet.displays.push_back(std::move(d));
    }
    return out;
}

// ---- StreamDecoder -----------------------------------------------------------

void StreamDecoder::reset() {
    state_ = State::idle;
    packet_.clear();
    garbageReported_ = false;
}

void StreamDecoder::fail(std::vector<Event>& out, Error error, std::string detail) {
    Event event;
    event.error = error;
    event.detail = std::move(detail);
    out.push_back(std::move(event));
    packet_.clear();
    state_ = State::idle;
    garbageReported_ = true;
}

void StreamDecoder::take(uint8_t byte, std::vector<Event>& out) {
    packet_.push_back(byte);
    if (packet_.size() < 2) return;
    const std::size_t count = word(packet_.data());
    if (count + 2 > kMaxPacket) {
        return fail(out, Error::oversized,
                    format("byte count %u beyond the %u-byte packet limit", static_cast<unsigned>(count),
                           static_cast<unsigned>(kMaxPacket)));
    }
    if (packet_.size() == count + 2) {
        Event event;
        event.packet = std::move(packet_);
        out.push_back(std::move(event));
        packet_.clear();
        state_ = State::idle;
        garbageReported_ = false;
    }
}

void StreamDecoder::feed(const uint8_t* data, std::size_t size, std::vector<Event>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        switch (state_) {
            case State::idle:
                if (b == kDle) {
                    state_ = State::idle_dle;
                } else if (!garbageReported_) {
                    Event event;
                    event.error = Error::garbage;
                    event.detail = "bytes outside a packet, skipped up to the next DLE STX";
                    out.push_back(std::move(event));
                    garbageReported_ = true;
                }
                break;
            case State::idle_dle:
                if (b == kStx) {
                    packet_.clear();
                    state_ = State::body;
                } else {
                    state_ = State::idle;
                    if (!garbageReported_) {
                        Event event;
                        event.error = Error::garbage;
                        event.detail = "bytes outside a packet, skipped up to the next DLE STX";
                        out.push_back(std::move(event));
                        garbageReported_ = true;
                    }
                }
                break;
            case State::body:
                if (b == kDle) {
                    state_ = State::body_dle;
                } else {
                    take(b, out);
                }
                break;
            case State::body_dle:
                if (b == kDle) {
                    state_ = State::body;
                    take(b, out);
                } else if (b == kStx) {
                    Event event;
                    event.error = Error::truncated;
                    event.detail = format("packet cut short after %u bytes by a new DLE STX",
                                          static_cast<unsigned>(packet_.size()));
                    out.push_back(std::move(event));
                    packet_.clear();
                    state_ = State::body;
                } else {
                    fail(out, Error::bad_stuffing, format("DLE followed by %02X hex inside a packet", b));
                }
                break;
        }
    }
}

}  // namespace zarn_host::tsl
