// zarn_string's numbers: text of an integer in any base and width, and the
// integer of a text.
#include "number_text.h"

#include <zarn/zarn_string.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace zarn_string_number {

namespace {

constexpr unsigned maxWidth = 1024;

}  // namespace

std::string formatNumber(int value, char fill, unsigned width, int base) {
    static const char digitChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (base < 2 || base > 36) base = 10;
    if (fill == 0) fill = ' ';
    width = std::min(width, maxWidth);

    const bool negative = value < 0;
    // Unsigned negation keeps INT_MIN defined.
    std::uint32_t magnitude = negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    const auto radix = static_cast<std::uint32_t>(base);
    char digits[32];  // base 2 needs 32 digits at most
    std::size_t count = 0;
    do {
        digits[count++] = digitChars[magnitude % radix];
        magnitude /= radix;
    } while (magnitude != 0);

    const std::size_t length = count + (negative ? 1 : 0);
    const std::size_t pad = width > length ? width - length : 0;
    // Built in place: padding first, then the digits at the end, with the
    // minus sign before the padding for zero fill and before the digits
    // otherwise.
    std::string out(pad + length, fill);
    if (negative) out[fill == '0' ? 0 : pad] = '-';
    for (std::size_t i = 0; i < count; ++i) out[out.size() - 1 - i] = digits[i];
    return out;
}

}  // namespace zarn_string_number

using zarn_string_number::Decimal;
using zarn_string_number::formatNumber;
using zarn_string_number::isPlainDecimal;
using zarn_string_number::maxNegative;
using zarn_string_number::maxPositive;
using zarn_string_number::parseMagnitude;
using zarn_string_number::signedValue;

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

zarn_string::zarn_string(int value, char fill, unsigned width, int base) {
    if (isPlainDecimal(fill, width, base)) {
        const Decimal decimal(value);
        text_.assign(decimal.data(), decimal.size());
    } else {
        text_ = formatNumber(value, fill, width, base);
    }
}

int zarn_string::toInt() const {
    const char* pos = text_.data();
    const char* const end = pos + text_.size();
    while (pos != end && isBlank(*pos)) ++pos;
    bool negative = false;
    if (pos != end && (*pos == '-' || *pos == '+')) {
        negative = *pos == '-';
        ++pos;
    }
    const char* const digits = pos;
    while (pos != end && isDigit(*pos)) ++pos;
    const char* const digitsEnd = pos;
    while (pos != end && isBlank(*pos)) ++pos;
    if (digits == digitsEnd || pos != end) return 0;

    std::uint32_t magnitude = 0;
    if (!parseMagnitude(digits, digitsEnd, negative ? maxNegative : maxPositive, magnitude)) return 0;
    return signedValue(magnitude, negative);
}

int zarn_string::firstInt() const {
    const char* const end = text_.data() + text_.size();
    const char* const digits = std::find_if(text_.data(), end, isDigit);
    const char* const digitsEnd = std::find_if_not(digits, end, isDigit);
    std::uint32_t magnitude = 0;
    if (digits == end || !parseMagnitude(digits, digitsEnd, maxPositive, magnitude)) return 0;
    return static_cast<int>(magnitude);
}

bool operator==(const zarn_string& a, int value) {
    const Decimal decimal(value);
    return a.size() == decimal.size() && std::memcmp(a.c_str(), decimal.data(), decimal.size()) == 0;
}
