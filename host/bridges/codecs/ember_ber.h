// BER as Ember+'s Glow uses it: tags of the universal, application and
// context classes, definite lengths out, definite and indefinite lengths in,
// and the value types Glow carries (INTEGER, REAL, BOOLEAN, UTF8String,
// OCTET STRING, NULL, RELATIVE-OID).
//
// BerWriter builds a message with definite lengths; BerReader walks one
// level of TLVs over a byte range, each constructed value read by a reader
// of its own, so nesting is bounded by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn_host::ember {

inline constexpr uint8_t kClassUniversal = 0x00;
inline constexpr uint8_t kClassApplication = 0x40;
inline constexpr uint8_t kClassContext = 0x80;

inline constexpr uint32_t kTagBoolean = 1;
inline constexpr uint32_t kTagInteger = 2;
inline constexpr uint32_t kTagOctetString = 4;
inline constexpr uint32_t kTagNull = 5;
inline constexpr uint32_t kTagReal = 9;
inline constexpr uint32_t kTagEnumerated = 10;
inline constexpr uint32_t kTagUtf8String = 12;
inline constexpr uint32_t kTagRelativeOid = 13;
inline constexpr uint32_t kTagSequence = 16;
inline constexpr uint32_t kTagSet = 17;

// Deepest nesting of constructed values the reader follows while it looks
// for the end of an indefinite length.
inline constexpr int kMaxBerDepth = 64;
// Most subidentifiers a RELATIVE-OID may hold.
inline constexpr std::size_t kMaxOidLength = 64;

class BerWriter {
public:
    // Opens a constructed value; end() closes the last one opened and puts
    // its length before its contents.
    void begin(uint8_t tagClass, uint32_t number);
    void end();
    void beginContext(uint32_t n) { begin(kClassContext, n); }
    void beginApplication(uint32_t n) { begin(kClassApplication, n); }
    void beginSequence() { begin(kClassUniversal, kTagSequence); }
    void beginSet() { begin(kClassUniversal, kTagSet); }

    void integer(int64_t value);
    void boolean(bool value);
    void real(double value);
    void utf8(const std::string& text);
    void octets(const std::vector<uint8_t>& bytes);
    void null();
    void relativeOid(const std::vector<uint32_t>& path);

    // Context tag n around one value, as Glow's fields are written.
    template <class Write>
    void field(uint32_t n, Write write) {
        beginContext(n);
        write(*this);
        end();
    }

    const std::vector<uint8_t>& bytes() const { return out_; }
    std::vector<uint8_t> take() { return std::move(out_); }

private:
    void tag(uint8_t tagClass, bool constructed, uint32_t number);
    void primitive(uint32_t number, const uint8_t* data, std::size_t size);

    std::vector<uint8_t> out_;
    std::vector<std::size_t> open_;  // where each open value's contents start
};

// One TLV: its tag and where its contents are.
struct BerValue {
    uint8_t tagClass = 0;
    bool constructed = false;
    uint32_t number = 0;
    const uint8_t* data = nullptr;
    std::size_t size = 0;

    bool is(uint8_t c, uint32_t n) const { return tagClass == c && number == n; }
};

class BerReader {
public:
    BerReader(const uint8_t* data, std::size_t size, int depth = 0) : at_(data), end_(data + size), depth_(depth) {}
    explicit BerReader(const BerValue& v, int depth) : BerReader(v.data, v.size, depth) {}

    bool atEnd() const { return at_ >= end_ && !failed_; }
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    int depth() const { return depth_; }

    // The next TLV of this level; false at the end (or an end-of-contents
    // marker) or on bad input (failed() then says so, error() why).
    bool next(BerValue& value);
    // A reader of a constructed value's contents, one level deeper.
    BerReader inside(const BerValue& value) const { return BerReader(value, depth_ + 1); }

    void fail(const std::string& why);

private:
    const uint8_t* at_;
    const uint8_t* end_;
    int depth_;
    bool failed_ = false;
    std::string error_;
};

// The values of primitive TLVs; false (with why) when the contents do not
// make one.
bool readInteger(const BerValue& v, int64_t& out, std::string& why);
bool readBoolean(const BerValue& v, bool& out, std::string& why);
bool readReal(const BerValue& v, double& out, std::string& why);
bool readRelativeOid(const BerValue& v, std::vector<uint32_t>& out, std::string& why);
inline std::string readText(const BerValue& v) {
    return std::string(reinterpret_cast<const char*>(v.data), v.size);
}

}  // namespace zarn_host::ember
