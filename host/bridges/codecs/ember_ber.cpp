#include "bridges/codecs/ember_ber.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace zarn_host::ember {
namespace {

// Minimal two's complement bytes of value, most significant first.
std::vector<uint8_t> signedBytes(int64_t value) {
    std::vector<uint8_t> out;
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> shift));
    std::size_t first = 0;
    while (first + 1 < out.size() &&
           ((out[first] == 0x00 && !(out[first + 1] & 0x80)) || (out[first] == 0xFF && (out[first + 1] & 0x80)))) {
        ++first;
    }
    return std::vector<uint8_t>(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

// Where the TLV at `at` ends, or null on bad input (why says what).
// Indefinite lengths are followed into their contents, at most kMaxBerDepth
// deep.
struct Header {
    uint8_t tagClass = 0;
    bool constructed = false;
    uint32_t number = 0;
    bool indefinite = false;
    std::size_t length = 0;
    const uint8_t* contents = nullptr;
};

bool readHeader(const uint8_t* at, const uint8_t* end, Header& h, std::string& why) {
    if (at >= end) return why = "tag past the data", false;
    const uint8_t first = *at++;
    h.tagClass = first & 0xC0;
    h.constructed = (first & 0x20) != 0;
    h.number = first & 0x1F;
    if (h.number == 0x1F) {
        h.number = 0;
        for (int i = 0;; ++i) {
            if (at >= end) return why = "tag past the data", false;
            if (i == 4) return why = "tag number too large", false;
            const uint8_t b = *at++;
            h.number = (h.number << 7) | (b & 0x7F);
            if (!(b & 0x80)) break;
        }
    }
    if (at >= end) return why = "length past the data", false;
    const uint8_t len = *at++;
    h.indefinite = false;
    if (len < 0x80) {
        h.length = len;
    } else if (len == 0x80) {
        if (!h.constructed) return why = "indefinite length on a primitive value", false;
        h.indefinite = true;
        h.length = 0;
    } else {
        const int n = len & 0x7F;
        if (n > 4) return why = "length of " + std::to_string(n) + " bytes", false;
        h.length = 0;
        for (int i = 0; i < n; ++i) {
            if (at >= end) return why = "length past the data", false;
            h.length = (h.length << 8) | *at++;
        }
    }
    if (!h.indefinite && h.length > static_cast<std::size_t>(end - at)) return why = "length past the data", false;
    h.contents = at;
    return true;
}

// The end of the contents of an indefinite length (the end-of-contents
// marker's first byte), or null.
const uint8_t* indefiniteEnd(const uint8_t* at, const uint8_t* end, int depth, std::string& why) {
    if (depth > kMaxBerDepth) return why = "nesting too deep", nullptr;
    while (true) {
        if (end - at >= 2 && at[0] == 0 && at[1] == 0) return at;
        Header h;
        if (!readHeader(at, end, h, why)) return nullptr;
        if (h.indefinite) {
            const uint8_t* inner = indefiniteEnd(h.contents, end, depth + 1, why);
            if (!inner) return nullptr;
            at = inner + 2;
        } else {
            at = h.contents + h.length;
        }
    }
}

}  // namespace

void BerWriter::tag(uint8_t tagClass, bool constructed, uint32_t number) {
    const uint8_t head = static_cast<uint8_t>(tagClass | (constructed ? 0x20 : 0));
    if (number < 0x1F) {
        out_.push_back(static_cast<uint8_t>(head | number));
        return;
    }
    out_.push_back(static_cast<uint8_t>(head | 0x1F));
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = number & 0x7F;
        number >>= 7;
    } while (number != 0);
    while (n-- > 0) out_.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

void BerWriter::begin(uint8_t tagClass, uint32_t number) {
    tag(tagClass, true, number);
    open_.push_back(out_.size());
}

void BerWriter::end() {
    if (open_.empty()) return;
    const std::size_t start = open_.back();
    open_.pop_back();
    const std::size_t length = out_.size() - start;
    uint8_t len[5];
    std::size_t n = 0;
    if (length < 0x80) {
        len[n++] = static_cast<uint8_t>(length);
    } else {
        uint8_t bytes[4];
        std::size_t k = 0;
        for (std::size_t v = length; v != 0; v >>= 8) bytes[k++] = static_cast<uint8_t>(v & 0xFF);
        len[n++] = static_cast<uint8_t>(0x80 | k);
        while (k-- > 0) len[n++] = bytes[k];
    }
    out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(start), len, len + n);
}

void BerWriter::primitive(uint32_t number, const uint8_t* data, std::size_t size) {
    tag(kClassUniversal, false, number);
    open_.push_back(out_.size());
    out_.insert(out_.end(), data, data + size);
    end();
}

void BerWriter::integer(int64_t value) {
    const std::vector<uint8_t> b = signedBytes(value);
    primitive(kTagInteger, b.data(), b.size());
}

void BerWriter::boolean(bool value) {
    const uint8_t b = value ? 0xFF : 0x00;
    primitive(kTagBoolean, &b, 1);
}

void BerWriter::real(double value) {
    std::vector<uint8_t> b;
    if (std::isnan(value)) {
        b = {0x42};
    } else if (std::isinf(value)) {
        b = {static_cast<uint8_t>(value > 0 ? 0x40 : 0x41)};
    } else if (value == 0) {
        if (std::signbit(value)) b = {0x43};
    } else {
        int exponent = 0;
        const double m = std::frexp(std::fabs(value), &exponent);
        auto mantissa = static_cast<uint64_t>(std::ldexp(m, 53));
        exponent -= 53;
        while (!(mantissa & 1)) {
            mantissa >>= 1;
            ++exponent;
        }
        const std::vector<uint8_t> e = signedBytes(exponent);
        b.push_back(static_cast<uint8_t>(0x80 | (value < 0 ? 0x40 : 0) | (e.size() - 1)));
        b.insert(b.end(), e.begin(), e.end());
        std::vector<uint8_t> n;
        for (uint64_t v = mantissa; v != 0; v >>= 8) n.insert(n.begin(), static_cast<uint8_t>(v & 0xFF));
        b.insert(b.end(), n.begin(), n.end());
    }
    primitive(kTagReal, b.data(), b.size());
}

void BerWriter::utf8(const std::string& text) {
    primitive(kTagUtf8String, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void BerWriter::octets(const std::vector<uint8_t>& bytes) {
    primitive(kTagOctetString, bytes.data(), bytes.size());
}

void BerWriter::null() {
    primitive(kTagNull, nullptr, 0);
}

void BerWriter::relativeOid(const std::vector<uint32_t>& path) {
    std::vector<uint8_t> b;
    for (uint32_t id : path) {
        uint8_t groups[5];
        int n = 0;
        do {
            groups[n++] = id & 0x7F;
            id >>= 7;
        } while (id != 0);
        while (n-- > 0) b.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
    }
    primitive(kTagRelativeOid, b.data(), b.size());
}

void BerReader::fail(const std::string& why) {
    if (!failed_) error_ = why;
    failed_ = true;
    at_ = end_;
}

bool BerReader::next(BerValue& value) {
    if (failed_ || at_ >= end_) return false;
    if (depth_ > kMaxBerDepth) return fail("nesting too deep"), false;
    if (end_ - at_ >= 2 && at_[0] == 0 && at_[1] == 0) {
        at_ = end_;  // end-of-contents: what follows belongs to the level above
        return false;
    }
    Header h;
    std::string why;
    if (!readHeader(at_, end_, h, why)) return fail(why), false;
    value.tagClass = h.tagClass;
    value.constructed = h.constructed;
    value.number = h.number;
    value.data = h.contents;
    if (h.indefinite) {
        const uint8_t* e = indefiniteEnd(h.contents, end_, depth_ + 1, why);
        if (!e) return fail(why), false;
        value.size = static_cast<std::size_t>(e - h.contents);
        at_ = e + 2;
    } else {
        value.size = h.length;
        at_ = h.contents + h.length;
    }
    return true;
}

bool readInteger(const BerValue& v, int64_t& out, std::string& why) {
    if (v.constructed || v.size == 0) return why = "an empty integer", false;
    if (v.size > 8) return why = "an integer of " + std::to_string(v.size) + " bytes", false;
    uint64_t value = (v.data[0] & 0x80) ? ~uint64_t{0} : 0;
    for (std::size_t i = 0; i < v.size; ++i) value = (value << 8) | v.data[i];
    out = static_cast<int64_t>(value);
    return true;
}

bool readBoolean(const BerValue& v, bool& out, std::string& why) {
    if (v.constructed || v.size != 1) return why = "a boolean not of one byte", false;
    out = v.data[0] != 0;
    return true;
}

bool readReal(const BerValue& v, double& out, std::string& why) {
    if (v.constructed) return why = "a constructed real", false;
    if (v.size == 0) return out = 0, true;
    const uint8_t first = v.data[0];
    if (!(first & 0x80)) {
        if (v.size == 1 && first >= 0x40 && first <= 0x43) {
            const double special[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), -0.0};
            out = special[first - 0x40];
            return true;
        }
        return why = "a decimal or unknown real", false;
    }
    if (first & 0x30) return why = "a real of base 8 or 16", false;
    std::size_t at = 1;
    std::size_t elen = (first & 3) + 1;
    if ((first & 3) == 3) {
        if (v.size < 2) return why = "a real cut short", false;
        elen = v.data[at++];
    }
    if (elen == 0 || elen > 4 || at + elen > v.size) return why = "a real's exponent too long or cut short", false;
    int64_t exponent = (v.data[at] & 0x80) ? -1 : 0;
    for (std::size_t i = 0; i < elen; ++i) exponent = exponent * 256 + v.data[at + i];
    at += elen;
    if (v.size - at > 8) return why = "a real's mantissa over 8 bytes", false;
    uint64_t mantissa = 0;
    for (; at < v.size; ++at) mantissa = (mantissa << 8) | v.data[at];
    exponent += (first >> 2) & 3;
    if (exponent > 4096) exponent = 4096;
    if (exponent < -4096) exponent = -4096;
    out = std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent));
    if (first & 0x40) out = -out;
    return true;
}

bool readRelativeOid(const BerValue& v, std::vector<uint32_t>& out, std::string& why) {
    out.clear();
    if (v.constructed) return why = "a constructed path", false;
    uint64_t id = 0;
    int groups = 0;
    for (std::size_t i = 0; i < v.size; ++i) {
        id = (id << 7) | (v.data[i] & 0x7F);
        if (++groups > 5 || id > 0xFFFFFFFFu) return why = "a path number over 32 bits", false;
        if (!(v.data[i] & 0x80)) {
            if (out.size() == kMaxOidLength)
                return why = "a path over " + std::to_string(kMaxOidLength) + " numbers", false;
            out.push_back(static_cast<uint32_t>(id));
            id = 0;
            groups = 0;
        }
    }
    if (groups != 0) return why = "a path cut short", false;
    return true;
}

}  // namespace zarn_host::ember
