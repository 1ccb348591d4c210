// Integer <-> decimal text for zarn_string, shared by its number members and
// its placeholder engine. Internal to the library: not installed.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zarn_string_number {

// Writes the decimal text of value so that it ends just before end; returns
// where it begins. end needs 11 bytes before it.
inline char* writeDecimal(char* end, int value) {
    // Unsigned negation keeps INT_MIN defined.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    // Two digits per division: router indices and device numbers have up
    // to four or five.
    static const char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* first = end;
    while (magnitude >= 100) {
        const std::uint32_t pair = magnitude % 100 * 2;
        magnitude /= 100;
        first -= 2;
        first[0] = pairs[pair];
        first[1] = pairs[pair + 1];
    }
    if (magnitude >= 10) {
        first -= 2;
        first[0] = pairs[magnitude * 2];
        first[1] = pairs[magnitude * 2 + 1];
    } else {
        *--first = static_cast<char>('0' + magnitude);
    }
    if (value < 0) *--first = '-';
    return first;
}

// The plain decimal text of a value, on the stack.
class Decimal {
public:
    explicit Decimal(int value) : first_(writeDecimal(digits_ + sizeof digits_, value)) {}
    const char* data() const { return first_; }
    std::size_t size() const { return static_cast<std::size_t>(digits_ + sizeof digits_ - first_); }

private:
    char digits_[12];
    const char* first_;
};

inline bool isPlainDecimal(char fill, unsigned width, int base) {
    return fill == 0 && width == 0 && (base == 10 || base < 2 || base > 36);
}

// Magnitude of the digits [first, last), or false when it exceeds limit. Stops
// at the first digit that overflows, so a long digit run costs nothing extra.
inline bool parseMagnitude(const char* first, const char* last, std::uint32_t limit, std::uint32_t& value) {
    std::uint64_t result = 0;
    for (; first != last; ++first) {
        result = result * 10 + static_cast<std::uint64_t>(*first - '0');
        if (result > limit) return false;
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

constexpr std::uint32_t maxPositive = static_cast<std::uint32_t>(INT_MAX);
constexpr std::uint32_t maxNegative = maxPositive + 1;

inline int signedValue(std::uint32_t magnitude, bool negative) {
    if (!negative) return static_cast<int>(magnitude);
    if (magnitude == maxNegative) return INT_MIN;
    return -static_cast<int>(magnitude);
}

std::string formatNumber(int value, char fill, unsigned width, int base);

}  // namespace zarn_string_number
