#include "zarn_string/zarn_string.h"

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstring>
#include <utility>

namespace {

constexpr unsigned maxWidth = 1024;
constexpr int maxPlaceholder = 99;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Number of the placeholder whose "%" is at text[pos], or 0 when none starts
// there. Its size in bytes follows from the number: 2 below 10, else 3.
int placeholderAt(const std::string& text, std::size_t pos) {
    const std::size_t size = text.size();
    if (pos + 1 >= size || text[pos + 1] < '1' || text[pos + 1] > '9') return 0;
    int number = text[pos + 1] - '0';
    if (pos + 2 < size && isDigit(text[pos + 2])) number = number * 10 + (text[pos + 2] - '0');
    return number;
}

std::size_t placeholderSize(int number) {
    return number < 10 ? 2 : 3;
}

// Calls visit(position, number) for every placeholder of text, in order.
template <typename Visit>
void forEachPlaceholder(const std::string& text, Visit visit) {
    for (std::size_t pos = text.find('%'); pos != std::string::npos; pos = text.find('%', pos + 1)) {
        const int number = placeholderAt(text, pos);
        if (number != 0) visit(pos, number);
    }
}

// The placeholder numbers present in a text, one bit per number.
class PlaceholderSet {
public:
    explicit PlaceholderSet(const std::string& text) {
        forEachPlaceholder(
            text, [this](std::size_t, int number) { bits_[number / 64] |= std::uint64_t{1} << (number % 64); });
    }
    bool empty() const { return bits_[0] == 0 && bits_[1] == 0; }
    // The lowest number present; the set must not be empty.
    int lowest() const {
        int number = 1;
        while ((bits_[number / 64] >> (number % 64) & 1) == 0) ++number;
        return number;
    }
    // How many numbers present are below number: the k-th lowest has rank k.
    int rank(int number) const {
        const std::uint64_t low = number >= 64 ? bits_[0] : bits_[0] & ((std::uint64_t{1} << number) - 1);
        const std::uint64_t high = number <= 64 ? 0 : bits_[1] & ((std::uint64_t{1} << (number - 64)) - 1);
        return static_cast<int>(std::bitset<64>(low).count() + std::bitset<64>(high).count());
    }

private:
    std::uint64_t bits_[2] = {0, 0};
};

// A copy of text in which every placeholder whose number replacement(number,
// length) gives a text for is replaced by that text; the others stay. The
// result is sized exactly first, so it is allocated once.
template <typename Replacement>
std::string fillPlaceholders(const std::string& text, Replacement replacement) {
    std::size_t size = text.size();
    forEachPlaceholder(text, [&](std::size_t, int number) {
        std::size_t length = 0;
        if (replacement(number, length) != nullptr) size = size - placeholderSize(number) + length;
    });
    std::string out;
    out.reserve(size);
    std::size_t copied = 0;
    forEachPlaceholder(text, [&](std::size_t pos, int number) {
        std::size_t length = 0;
        const char* value = replacement(number, length);
        if (value == nullptr) return;
        out.append(text, copied, pos - copied);
        out.append(value, length);
        copied = pos + placeholderSize(number);
    });
    out.append(text, copied, std::string::npos);
    return out;
}

// Bytes of text before its first NUL, at most limit.
std::size_t textLength(const char* text, std::size_t limit) {
    const void* nul = std::memchr(text, '\0', limit);
    return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : limit;
}

// Magnitude of the digits [first, last), or false when it exceeds limit. Stops
// at the first digit that overflows, so a long digit run costs nothing extra.
bool parseMagnitude(const char* first, const char* last, std::uint32_t limit, std::uint32_t& value) {
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

int signedValue(std::uint32_t magnitude, bool negative) {
    if (!negative) return static_cast<int>(magnitude);
    if (magnitude == maxNegative) return INT_MIN;
    return -static_cast<int>(magnitude);
}

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

}  // namespace

zarn_string::zarn_string() = default;

zarn_string::zarn_string(const char* text) : text_(text != nullptr ? text : "") {}

zarn_string::zarn_string(const char* text, std::size_t length)
    : text_(text != nullptr ? text : "", text != nullptr ? textLength(text, length) : 0) {}

zarn_string::zarn_string(const zarn_string& other) = default;

zarn_string::zarn_string(zarn_string&& other) noexcept : text_(std::move(other.text_)) {
    other.text_.clear();
}

zarn_string::zarn_string(int value, char fill, unsigned width, int base)
    : text_(formatNumber(value, fill, width, base)) {}

zarn_string::~zarn_string() = default;

zarn_string& zarn_string::operator=(const zarn_string& other) = default;

zarn_string& zarn_string::operator=(zarn_string&& other) noexcept {
    if (this != &other) {
        text_ = std::move(other.text_);
        other.text_.clear();
    }
    return *this;
}

zarn_string& zarn_string::operator=(const char* text) {
    // std::string::assign copes with text pointing into this string.
    if (text == nullptr) {
        text_.clear();
    } else {
        text_.assign(text);
    }
    return *this;
}

zarn_string& zarn_string::operator+=(const zarn_string& other) {
    text_.append(other.text_);
    return *this;
}

zarn_string& zarn_string::operator+=(const char* text) {
    if (text != nullptr) text_.append(text);
    return *this;
}

zarn_string::operator const char*() const {
    return text_.c_str();
}

const char* zarn_string::c_str() const {
    return text_.c_str();
}

int zarn_string::length() const {
    return text_.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text_.size());
}

bool zarn_string::isEmpty() const {
    return text_.empty();
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

bool zarn_string::startsWith(const char* prefix) const {
    if (prefix == nullptr) return true;
    const std::size_t size = std::strlen(prefix);
    return size <= text_.size() && text_.compare(0, size, prefix, size) == 0;
}

zarn_string zarn_string::arg(const zarn_string& text) const {
    const PlaceholderSet present(text_);
    if (present.empty()) return *this;
    const int lowest = present.lowest();
    zarn_string result;
    result.text_ = fillPlaceholders(text_, [&](int number, std::size_t& length) -> const char* {
        if (number != lowest) return nullptr;
        length = text.text_.size();
        return text.text_.c_str();
    });
    return result;
}

zarn_string zarn_string::arg(int value, char fill, unsigned width, int base) const {
    return arg(zarn_string(value, fill, width, base));
}

zarn_string zarn_string::args(std::initializer_list<const char*> values) const {
    if (values.size() == 0) return *this;
    const PlaceholderSet present(text_);
    if (present.empty()) return *this;

    // The k-th lowest number present receives values[k]; lengths are taken
    // once per value, not once per occurrence.
    const std::size_t usable = std::min<std::size_t>(values.size(), maxPlaceholder);
    const char* texts[maxPlaceholder];
    std::size_t lengths[maxPlaceholder];
    for (std::size_t k = 0; k < usable; ++k) {
        texts[k] = values.begin()[k] != nullptr ? values.begin()[k] : "";
        lengths[k] = std::strlen(texts[k]);
    }
    zarn_string result;
    result.text_ = fillPlaceholders(text_, [&](int number, std::size_t& length) -> const char* {
        const auto k = static_cast<std::size_t>(present.rank(number));
        if (k >= usable) return nullptr;
        length = lengths[k];
        return texts[k];
    });
    return result;
}

int zarn_string::split(char separator, zarn_string& left, zarn_string& right) const {
    const std::size_t at = text_.find(separator);
    const std::ptrdiff_t more =
        at == std::string::npos ? 0 : std::count(text_.begin() + at + 1, text_.end(), separator);
    const int separators = static_cast<int>(std::min<std::ptrdiff_t>(at == std::string::npos ? 0 : more + 1, INT_MAX));
    if (&left != this && &right != this) {
        left.text_.assign(text_, 0, at);
        if (at == std::string::npos) {
            right.text_.clear();
        } else {
            right.text_.assign(text_, at + 1, std::string::npos);
        }
        return separators;
    }
    // left or right is this string: both parts are built before either is assigned.
    std::string before = text_.substr(0, at);
    std::string after = at == std::string::npos ? std::string() : text_.substr(at + 1);
    left.text_ = std::move(before);
    right.text_ = std::move(after);
    return separators;
}

zarn_string operator+(const zarn_string& a, const zarn_string& b) {
    zarn_string result(a);
    result += b;
    return result;
}

zarn_string operator+(const zarn_string& a, const char* b) {
    zarn_string result(a);
    result += b;
    return result;
}

zarn_string operator+(const char* a, const zarn_string& b) {
    zarn_string result(a);
    result += b;
    return result;
}

bool operator==(const zarn_string& a, const char* b) {
    return std::strcmp(a.c_str(), b != nullptr ? b : "") == 0;
}

bool operator==(const zarn_string& a, const zarn_string& b) {
    return std::strcmp(a.c_str(), b.c_str()) == 0;
}

bool operator==(const zarn_string& a, int value) {
    return a == zarn_string(value, 0, 0, 10);
}

bool operator!=(const zarn_string& a, const zarn_string& b) {
    return !(a == b);
}

bool operator!=(const zarn_string& a, const char* b) {
    return !(a == b);
}

bool operator==(const char* a, const zarn_string& b) {
    return b == a;
}

bool operator!=(const char* a, const zarn_string& b) {
    return !(b == a);
}
