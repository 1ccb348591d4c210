#include "zarn_string/zarn_string.h"

#include <algorithm>
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

// Counts every placeholder of text by number; returns false when there is none.
bool countPlaceholders(const std::string& text, std::size_t (&counts)[maxPlaceholder + 1]) {
    std::fill(std::begin(counts), std::end(counts), 0);
    bool any = false;
    for (std::size_t pos = text.find('%'); pos != std::string::npos; pos = text.find('%', pos + 1)) {
        const int number = placeholderAt(text, pos);
        if (number == 0) continue;
        ++counts[number];
        any = true;
    }
    return any;
}

// Copies text into out with each placeholder whose number has a non-null
// entry in values replaced by that entry; values[n] has lengths[n] bytes.
void fillPlaceholders(const std::string& text, const char* const (&values)[maxPlaceholder + 1],
                      const std::size_t (&lengths)[maxPlaceholder + 1], std::string& out) {
    std::size_t copied = 0;
    std::size_t pos = text.find('%');
    while (pos != std::string::npos) {
        const int number = placeholderAt(text, pos);
        if (number != 0 && values[number] != nullptr) {
            out.append(text, copied, pos - copied);
            out.append(values[number], lengths[number]);
            copied = pos + placeholderSize(number);
            pos = text.find('%', copied);
        } else {
            pos = text.find('%', pos + 1);
        }
    }
    out.append(text, copied, std::string::npos);
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
    std::string out;
    out.reserve(length + pad);
    if (negative && fill == '0') {
        out += '-';
        out.append(pad, '0');
    } else {
        out.append(pad, fill);
        if (negative) out += '-';
    }
    while (count != 0) out += digits[--count];
    return out;
}

}  // namespace

zarn_string::zarn_string() = default;

zarn_string::zarn_string(const char* text) {
    if (text != nullptr) text_.assign(text);
}

zarn_string::zarn_string(const char* text, std::size_t length) {
    if (text == nullptr) return;
    const void* nul = std::memchr(text, '\0', length);
    if (nul != nullptr) length = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    text_.assign(text, length);
}

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
    std::size_t counts[maxPlaceholder + 1];
    if (!countPlaceholders(text_, counts)) return *this;
    int lowest = 1;
    while (counts[lowest] == 0) ++lowest;

    const char* values[maxPlaceholder + 1] = {};
    std::size_t lengths[maxPlaceholder + 1] = {};
    values[lowest] = text.text_.c_str();
    lengths[lowest] = text.text_.size();

    zarn_string result;
    result.text_.reserve(text_.size() - counts[lowest] * placeholderSize(lowest) + counts[lowest] * lengths[lowest]);
    fillPlaceholders(text_, values, lengths, result.text_);
    return result;
}

zarn_string zarn_string::arg(int value, char fill, unsigned width, int base) const {
    return arg(zarn_string(value, fill, width, base));
}

zarn_string zarn_string::args(std::initializer_list<const char*> values) const {
    std::size_t counts[maxPlaceholder + 1];
    if (values.size() == 0 || !countPlaceholders(text_, counts)) return *this;

    const char* byNumber[maxPlaceholder + 1] = {};
    std::size_t lengths[maxPlaceholder + 1] = {};
    std::size_t size = text_.size();
    auto value = values.begin();
    for (int number = 1; number <= maxPlaceholder && value != values.end(); ++number) {
        if (counts[number] == 0) continue;
        byNumber[number] = *value != nullptr ? *value : "";
        lengths[number] = std::strlen(byNumber[number]);
        size = size - counts[number] * placeholderSize(number) + counts[number] * lengths[number];
        ++value;
    }

    zarn_string result;
    result.text_.reserve(size);
    fillPlaceholders(text_, byNumber, lengths, result.text_);
    return result;
}

int zarn_string::split(char separator, zarn_string& left, zarn_string& right) const {
    const auto separators =
        static_cast<int>(std::min<std::ptrdiff_t>(std::count(text_.begin(), text_.end(), separator), INT_MAX));
    const std::size_t at = text_.find(separator);
    // Both parts are built before either is assigned: left or right may be *this.
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
