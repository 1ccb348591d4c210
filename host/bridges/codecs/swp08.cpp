// Over 400 lines: every SW-P-08 message of the router subset, plain and
// extended, encoded and decoded side by side so each pair reads as one.
#include "bridges/codecs/swp08.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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

std::string format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

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

// ---- Messages --------------------------------------------------------------

std::size_t nameChars(NameLength length) {
    switch (length) {
        case NameLength::four:
            return 4;
        case NameLength::eight:
            return 8;
        case NameLength::twelve:
            return 12;
        case NameLength::sixteen:
            return 16;
    }
    return 8;
}

std::size_t namesPerMessage(NameLength length) {
    switch (length) {
        case NameLength::four:
            return 32;
        case NameLength::eight:
            return 16;
        case NameLength::twelve:
            return 10;
        case NameLength::sixteen:
            return 8;
    }
    return 16;
}

bool Message::operator==(const Message& o) const {
    return kind == o.kind && form == o.form && matrix == o.matrix && level == o.level && destination == o.destination &&
           source == o.source && badSource == o.badSource && wordDump == o.wordDump && first == o.first &&
           sources == o.sources && nameLength == o.nameLength && names == o.names;
}

Command commandOf(const Message& m) {
    const bool ext = m.form == Form::extended;
    switch (m.kind) {
        case Kind::interrogate:
            return ext ? Command::ext_interrogate : Command::interrogate;
        case Kind::connect:
            return ext ? Command::ext_connect : Command::connect;
        case Kind::tally:
            return ext ? Command::ext_tally : Command::tally;
        case Kind::connected:
            return ext ? Command::ext_connected : Command::connected;
        case Kind::tally_dump_request:
            return ext ? Command::ext_tally_dump_request : Command::tally_dump_request;
        case Kind::tally_dump:
            return ext ? Command::ext_tally_dump_word
                       : (m.wordDump ? Command::tally_dump_word : Command::tally_dump_byte);
        case Kind::source_names_request:
            return ext ? Command::ext_source_names_request : Command::source_names_request;
        case Kind::destination_names_request:
            return ext ? Command::ext_destination_names_request : Command::destination_names_request;
        case Kind::source_names:
            return ext ? Command::ext_source_names : Command::source_names;
        case Kind::destination_names:
            return ext ? Command::ext_destination_names : Command::destination_names;
    }
    return Command::interrogate;
}

namespace {

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::interrogate:
            return "interrogate";
        case Kind::connect:
            return "connect";
        case Kind::tally:
            return "tally";
        case Kind::connected:
            return "connected";
        case Kind::tally_dump_request:
            return "tally dump request";
        case Kind::tally_dump:
            return "tally dump";
        case Kind::source_names_request:
            return "source names request";
        case Kind::destination_names_request:
            return "destination names request";
        case Kind::source_names:
            return "source names";
        case Kind::destination_names:
            return "destination names";
    }
    return "?";
}

bool hasSource(Kind kind) {
    return kind == Kind::connect || kind == Kind::tally || kind == Kind::connected;
}
bool isCrosspoint(Kind kind) {
    return kind == Kind::interrogate || hasSource(kind);
}
bool isNames(Kind kind) {
    return kind == Kind::source_names || kind == Kind::destination_names;
}
bool isNamesRequest(Kind kind) {
    return kind == Kind::source_names_request || kind == Kind::destination_names_request;
}
// Destination names carry a matrix but no level in the extended form.
bool levelless(const Message& m) {
    return m.form == Form::extended && (m.kind == Kind::destination_names || m.kind == Kind::destination_names_request);
}

uint8_t matrixLevel(const Message& m) {
    return static_cast<uint8_t>((m.matrix << 4) | m.level);
}
void putWord(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}
uint16_t word(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

Encoded bad(std::string detail) {
    Encoded e;
    e.error = Error::bad_value;
    e.detail = std::move(detail);
    return e;
}

}  // namespace

bool fitsPlain(const Message& m) {
    if (m.matrix > 15 || m.level > 15) return false;
    if (isCrosspoint(m.kind)) return m.destination < 1024 && (!hasSource(m.kind) || m.source < 1024);
    if (m.kind == Kind::tally_dump && !m.wordDump) {
        if (m.first > 255) return false;
        return std::all_of(m.sources.begin(), m.sources.end(), [](uint16_t s) { return s < 256; });
    }
    return true;
}

std::string describe(const Message& m) {
    std::string text = m.form == Form::extended ? "ext " : "";
    text += kindName(m.kind);
    text += format(" m%u", m.matrix);
    if (!levelless(m) && m.kind != Kind::destination_names && m.kind != Kind::destination_names_request)
        text += format(" l%u", m.level);
    if (isCrosspoint(m.kind)) text += format(" d%u", m.destination);
    if (hasSource(m.kind)) text += format(" s%u", m.source);
    if (m.kind == Kind::tally_dump)
        text += format(" from d%u, %u tallies", m.first, static_cast<unsigned>(m.sources.size()));
    if (isNamesRequest(m.kind)) text += format(" %u chars", static_cast<unsigned>(nameChars(m.nameLength)));
    if (isNames(m.kind))
        text += format(" from %u, %u names of %u chars", m.first, static_cast<unsigned>(m.names.size()),
                       static_cast<unsigned>(nameChars(m.nameLength)));
    return text;
}

Encoded encode(const Message& m) {
    const bool ext = m.form == Form::extended;
    if (!ext && !fitsPlain(m)) return bad(describe(m) + ": numbers out of range for the plain form");
    if (levelless(m) && m.level != 0) return bad(describe(m) + ": the extended form carries no level");
    if (static_cast<uint8_t>(m.nameLength) > 3) return bad("name length code out of range");
    Encoded e;
    Bytes& d = e.data;
    d.push_back(static_cast<uint8_t>(commandOf(m)));
    if (ext) {
        d.push_back(m.matrix);
        if (!levelless(m)) d.push_back(m.level);
    } else {
        d.push_back(matrixLevel(m));
    }
    if (isCrosspoint(m.kind)) {
        if (ext) {
            putWord(d, m.destination);
            if (hasSource(m.kind)) putWord(d, m.source);
        } else {
            const unsigned sourceHigh = hasSource(m.kind) ? m.source / 128u : 0u;
            const bool badBit = hasSource(m.kind) && m.badSource;
            d.push_back(static_cast<uint8_t>(((m.destination / 128u) << 4) | (badBit ? 0x08 : 0) | sourceHigh));
            d.push_back(static_cast<uint8_t>(m.destination % 128u));
            if (hasSource(m.kind)) d.push_back(static_cast<uint8_t>(m.source % 128u));
        }
    } else if (m.kind == Kind::tally_dump) {
        const bool words = ext || m.wordDump;
        if (m.sources.size() > 255) return bad("tally dump of more than 255 tallies");
        d.push_back(static_cast<uint8_t>(m.sources.size()));
        if (words) {
            putWord(d, m.first);
            for (uint16_t s : m.sources) putWord(d, s);
        } else {
            d.push_back(static_cast<uint8_t>(m.first));
            for (uint16_t s : m.sources) d.push_back(static_cast<uint8_t>(s));
        }
    } else if (isNamesRequest(m.kind)) {
        d.push_back(static_cast<uint8_t>(m.nameLength));
    } else if (isNames(m.kind)) {
        const std::size_t chars = nameChars(m.nameLength);
        if (m.names.size() > 255) return bad("names message of more than 255 names");
        d.push_back(static_cast<uint8_t>(m.nameLength));
        putWord(d, m.first);
        d.push_back(static_cast<uint8_t>(m.names.size()));
        for (const std::string& name : m.names) {
            const std::size_t n = std::min(name.size(), chars);
            d.insert(d.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
            d.insert(d.end(), chars - n, ' ');
        }
    }
    if (d.size() > kMaxData)
        return bad(describe(m) + format(": %u bytes, longer than a frame takes", static_cast<unsigned>(d.size())));
    return e;
}

Bytes encodeFrame(const Message& message) {
    const Encoded e = encode(message);
    return e.ok() ? frame(e.data) : Bytes{};
}

namespace {

Decoded failed(Error error, std::string detail) {
    Decoded d;
    d.error = error;
    d.detail = std::move(detail);
    return d;
}

bool kindOf(uint8_t command, Kind& kind, Form& form, bool& wordDump) {
    form = command >= 128 ? Form::extended : Form::plain;
    wordDump = false;
    switch (static_cast<Command>(command)) {
        case Command::interrogate:
        case Command::ext_interrogate:
            kind = Kind::interrogate;
            return true;
        case Command::connect:
        case Command::ext_connect:
            kind = Kind::connect;
            return true;
        case Command::tally:
        case Command::ext_tally:
            kind = Kind::tally;
            return true;
        case Command::connected:
        case Command::ext_connected:
            kind = Kind::connected;
            return true;
        case Command::tally_dump_request:
        case Command::ext_tally_dump_request:
            kind = Kind::tally_dump_request;
            return true;
        case Command::tally_dump_byte:
            kind = Kind::tally_dump;
            return true;
        case Command::tally_dump_word:
            wordDump = true;
            kind = Kind::tally_dump;
            return true;
        case Command::ext_tally_dump_word:
            kind = Kind::tally_dump;
            return true;
        case Command::source_names_request:
        case Command::ext_source_names_request:
            kind = Kind::source_names_request;
            return true;
        case Command::destination_names_request:
        case Command::ext_destination_names_request:
            kind = Kind::destination_names_request;
            return true;
        case Command::source_names:
        case Command::ext_source_names:
            kind = Kind::source_names;
            return true;
        case Command::destination_names:
        case Command::ext_destination_names:
            kind = Kind::destination_names;
            return true;
    }
    return false;
}

}  // namespace

Decoded decodeMessage(const uint8_t* data, std::size_t size) {
    if (size == 0) return failed(Error::bad_length, "empty message");
    Decoded out;
    Message& m = out.message;
    if (!kindOf(data[0], m.kind, m.form, m.wordDump))
        return failed(Error::unknown_command, format("command %u not supported", data[0]));
    const bool ext = m.form == Form::extended;
    const std::string name = (ext ? "ext " : "") + std::string(kindName(m.kind));
    const uint8_t* p = data + 1;
    const std::size_t n = size - 1;
    auto lengthError = [&](std::size_t expected) {
        return failed(Error::bad_length, name + format(": %u bytes after the command, expected %u",
                                                       static_cast<unsigned>(n), static_cast<unsigned>(expected)));
    };
    // The address: matrix and level.
    std::size_t at = 0;
    const std::size_t addressSize = ext ? (levelless(m) ? 1 : 2) : 1;
    if (n < addressSize) return lengthError(addressSize);
    if (ext) {
        m.matrix = p[0];
        m.level = levelless(m) ? 0 : p[1];
    } else {
        m.matrix = p[0] >> 4;
        m.level = p[0] & 0x0F;
    }
    at = addressSize;

    if (isCrosspoint(m.kind)) {
        const std::size_t expected = addressSize + (ext ? (hasSource(m.kind) ? 4 : 2) : (hasSource(m.kind) ? 3 : 2));
        if (n != expected) return lengthError(expected);
        if (ext) {
            m.destination = word(p + at);
            if (hasSource(m.kind)) m.source = word(p + at + 2);
        } else {
            const uint8_t multiplier = p[at];
            const uint8_t destinationLow = p[at + 1];
            const uint8_t sourceLow = hasSource(m.kind) ? p[at + 2] : 0;
            if ((multiplier & 0x80) || (destinationLow & 0x80) || (sourceLow & 0x80))
                return failed(Error::bad_value, name + format(": top bit set in %02X %02X %02X hex", multiplier,
                                                              destinationLow, sourceLow));
            m.destination = static_cast<uint16_t>(((multiplier >> 4) & 0x07) * 128 + destinationLow);
            if (hasSource(m.kind)) {
                m.source = static_cast<uint16_t>((multiplier & 0x07) * 128 + sourceLow);
                m.badSource = (multiplier & 0x08) != 0;
            }
        }
        return out;
    }
    if (m.kind == Kind::tally_dump_request) {
        if (n != addressSize) return lengthError(addressSize);
        return out;
    }
    if (m.kind == Kind::tally_dump) {
        const bool words = ext || m.wordDump;
        const std::size_t header = addressSize + 1 + (words ? 2 : 1);
        if (n < header) return lengthError(header);
        const std::size_t count = p[at];
        const std::size_t expected = header + count * (words ? 2 : 1);
        if (n != expected)
            return failed(Error::bad_length, name + format(": %u tallies need %u bytes after the command, got %u",
                                                           static_cast<unsigned>(count),
                                                           static_cast<unsigned>(expected), static_cast<unsigned>(n)));
        at += 1;
        if (words) {
            m.first = word(p + at);
            at += 2;
            for (std::size_t i = 0; i < count; ++i) m.sources.push_back(word(p + at + 2 * i));
        } else {
            m.first = p[at];
            at += 1;
            for (std::size_t i = 0; i < count; ++i) m.sources.push_back(p[at + i]);
        }
        return out;
    }
    // Names and their requests: the name length code first.
    if (n < at + 1) return lengthError(at + 1);
    const uint8_t code = p[at];
    if (code > 3) return failed(Error::bad_value, name + format(": name length code %u", code));
    m.nameLength = static_cast<NameLength>(code);
    at += 1;
    if (isNamesRequest(m.kind)) {
        if (n != at) return lengthError(at);
        return out;
    }
    if (n < at + 3) return lengthError(at + 3);
    m.first = word(p + at);
    const std::size_t count = p[at + 2];
    at += 3;
    const std::size_t chars = nameChars(m.nameLength);
    if (n != at + count * chars)
        return failed(Error::bad_length, name + format(": %u names of %u chars need %u bytes after the command",
                                                       static_cast<unsigned>(count), static_cast<unsigned>(chars),
                                                       static_cast<unsigned>(at + count * chars)));
    for (std::size_t i = 0; i < count; ++i) {
        const char* begin = reinterpret_cast<const char*>(p + at + i * chars);
        std::size_t length = chars;
        while (length > 0 && (begin[length - 1] == ' ' || begin[length - 1] == '\0')) --length;
        m.names.emplace_back(begin, length);
    }
    return out;
}

// ---- Helpers for a responder -------------------------------------------------

namespace {

Message answer(const Message& request, Kind kind) {
    Message m;
    m.kind = kind;
    m.form = request.form;
    m.matrix = request.matrix;
    m.level = request.level;
    return m;
}

void upgradeIfNeeded(Message& m) {
    if (m.form == Form::plain && !fitsPlain(m)) m.form = Form::extended;
}

}  // namespace

Message tallyFor(const Message& interrogate, uint16_t source) {
    Message m = answer(interrogate, Kind::tally);
    m.destination = interrogate.destination;
    m.source = source;
    upgradeIfNeeded(m);
    return m;
}

Message connectedFor(const Message& connect) {
    Message m = answer(connect, Kind::connected);
    m.destination = connect.destination;
    m.source = connect.source;
    upgradeIfNeeded(m);
    return m;
}

std::vector<Message> tallyDumpFor(const Message& request, const std::vector<uint16_t>& sources) {
    constexpr std::size_t kPerMessage = 64;
    std::vector<Message> out;
    // The byte form takes numbers up to 191.
    const bool small =
        sources.size() <= 192 && std::all_of(sources.begin(), sources.end(), [](uint16_t s) { return s <= 191; });
    for (std::size_t start = 0; start < sources.size(); start += kPerMessage) {
        Message m = answer(request, Kind::tally_dump);
        m.wordDump = request.form == Form::plain && !small;
        m.first = static_cast<uint16_t>(start);
        const std::size_t end = std::min(sources.size(), start + kPerMessage);
        m.sources.assign(sources.begin() + static_cast<std::ptrdiff_t>(start),
                         sources.begin() + static_cast<std::ptrdiff_t>(end));
        out.push_back(std::move(m));
        if (start + kPerMessage > 0xFFFF) break;
    }
    return out;
}

std::vector<Message> namesFor(const Message& request, const std::vector<std::string>& names) {
    const Kind kind = request.kind == Kind::source_names_request ? Kind::source_names : Kind::destination_names;
    const std::size_t perMessage = namesPerMessage(request.nameLength);
    std::vector<Message> out;
    for (std::size_t start = 0; start < names.size() && start <= 0xFFFF; start += perMessage) {
        Message m = answer(request, kind);
        if (levelless(m)) m.level = 0;
        m.nameLength = request.nameLength;
        m.first = static_cast<uint16_t>(start);
        const std::size_t end = std::min(names.size(), start + perMessage);
        for (std::size_t i = start; i < end; ++i) {
            // Trailing blanks do not survive the wire; cut here so the
            // message equals what the peer decodes.
            std::string name = names[i].substr(0, nameChars(request.nameLength));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
            m.names.push_back(std::move(name));
        }
        out.push_back(std::move(m));
    }
    return out;
}

}  // namespace zarn_host::swp08
