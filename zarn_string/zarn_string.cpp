#include <zarn/zarn_string.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
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

std::size_t placeholderSize(int number) {
    return number < 10 ? 2 : 3;
}

// Position of the next "%" at or after pos, or size.
std::size_t nextPercent(const char* text, std::size_t size, std::size_t pos) {
    if (pos >= size) return size;
    const void* found = std::memchr(text + pos, '%', size - pos);
    return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
}

// Number of the placeholder whose "%" is at p, or 0, for a NUL-terminated
// text: the NUL stops the look at the digits, so no bounds are needed.
int placeholderAt(const char* p) {
    const auto first = static_cast<unsigned>(static_cast<unsigned char>(p[1])) - '1';
    if (first > 8) return 0;
    const auto second = static_cast<unsigned>(static_cast<unsigned char>(p[2])) - '0';
    return second <= 9 ? static_cast<int>((first + 1) * 10 + second) : static_cast<int>(first + 1);
}

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define ZARN_STRING_WORD_SCAN 1

// The high bit of every byte of word that is "%", and no other bit.
std::uint64_t percentBytes(std::uint64_t word) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ 0x2525252525252525u;  // a "%" becomes a zero byte
    return ~(((x & low7) + low7) | x | low7);
}

#endif

// Calls visit(position, number) for every placeholder of text, in order. A
// placeholder's digits hold no "%", so the search goes on after its "%".
// Panel texts are short and dense with placeholders, where a memchr call per
// "%" costs more than the search: below 128 bytes the text is searched eight
// bytes at a time in a register, every "%" of a word found at once.
template <typename Visit>
void forEachPlaceholder(const std::string& text, Visit visit) {
    const char* const data = text.c_str();
    const std::size_t size = text.size();
    const auto atPercent = [&](std::size_t pos) {
        const int number = placeholderAt(data + pos);
        if (number != 0) visit(pos, number);
    };
#ifdef ZARN_STRING_WORD_SCAN
    if (size >= 8 && size < 128) {
        // found: the high bit of each "%" byte of the word at data + at.
        const auto visitWord = [&](std::size_t at, std::uint64_t found) {
            for (; found != 0; found &= found - 1) atPercent(at + (static_cast<unsigned>(__builtin_ctzll(found)) >> 3));
        };
        std::size_t base = 0;
        std::uint64_t word;
        for (; base + 8 <= size; base += 8) {
            std::memcpy(&word, data + base, sizeof word);
            visitWord(base, percentBytes(word));
        }
        if (base != size) {
            // The text's last eight bytes, less those already searched.
            const unsigned skip = static_cast<unsigned>(8 * (base + 8 - size));
            std::memcpy(&word, data + size - 8, sizeof word);
            visitWord(size - 8, percentBytes(word) >> skip << skip);
        }
        return;
    }
#endif
    if (size < 128) {
        for (std::size_t pos = 0; pos < size; ++pos) {
            if (data[pos] == '%') atPercent(pos);
        }
        return;
    }
    for (std::size_t pos = nextPercent(data, size, 0); pos != size; pos = nextPercent(data, size, pos + 1)) {
        atPercent(pos);
    }
}

// The lowest placeholder number of a text, where it first occurs, how often
// it occurs, and how many placeholders there are in all.
struct LowestPlaceholder {
    int number = 0;  // 0: the text has no placeholder
    std::size_t first = 0;
    std::size_t count = 0;
    std::size_t all = 0;

    explicit LowestPlaceholder(const std::string& text) {
        // Kept in locals while searching, so that they stay in registers.
        int lowest = maxPlaceholder + 1;
        std::size_t at = 0;
        std::size_t times = 0;
        std::size_t placeholders = 0;
        forEachPlaceholder(text, [&](std::size_t pos, int found) {
            ++placeholders;
            if (found < lowest) {
                lowest = found;
                at = pos;
                times = 1;
            } else if (found == lowest) {
                ++times;
            }
        });
        if (placeholders == 0) return;
        number = lowest;
        first = at;
        count = times;
        all = placeholders;
    }
};

// text with every occurrence of its lowest placeholder replaced by value,
// built into out (empty on entry). out is sized once: exactly when this is
// the last placeholder, with room for the fills still to come otherwise.
void fillLowest(const std::string& text, const LowestPlaceholder& lowest, const char* value, std::size_t length,
                std::string& out) {
    const std::size_t placeholder = placeholderSize(lowest.number);
    const std::size_t size = text.size() - lowest.count * placeholder + lowest.count * length;
    const bool more = lowest.all > lowest.count;
    // Extra room only for a text that lives outside the string anyway, so
    // a short result still costs no allocation.
    out.reserve(more && size > out.capacity() ? size + size / 2 : size);
    // Sized first and then written with memcpy: cheaper than an append per
    // piece.
    out.resize(size);
    char* write = &out[0];
    const char* const data = text.data();
    std::size_t copied = 0;
    std::size_t pos = lowest.first;
    for (std::size_t left = lowest.count;;) {
        std::memcpy(write, data + copied, pos - copied);
        write += pos - copied;
        std::memcpy(write, value, length);
        write += length;
        copied = pos + placeholder;
        if (--left == 0) break;
        do {
            pos = nextPercent(data, text.size(), pos + 1);
        } while (placeholderAt(data + pos) != lowest.number);
    }
    std::memcpy(write, data + copied, text.size() - copied);
}

// The placeholder numbers present in a text, one bit per number.
class PlaceholderSet {
public:
    explicit PlaceholderSet(const std::string& text) {
        forEachPlaceholder(
            text, [this](std::size_t, int number) { bits_[number / 64] |= std::uint64_t{1} << (number % 64); });
    }
    bool empty() const { return bits_[0] == 0 && bits_[1] == 0; }
    // Calls visit(number, k) for the k-th lowest number present, in order.
    template <typename Visit>
    void forEachRanked(Visit visit) const {
        int rank = 0;
        for (int word = 0; word < 2; ++word) {
            for (std::uint64_t bits = bits_[word]; bits != 0; bits &= bits - 1) {
                int bit = 0;
                while ((bits >> bit & 1) == 0) ++bit;
                visit(word * 64 + bit, rank++);
            }
        }
    }

private:
    std::uint64_t bits_[2] = {0, 0};
};

// Writes the decimal text of value so that it ends just before end; returns
// where it begins. end needs 11 bytes before it.
char* writeDecimal(char* end, int value) {
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

bool isPlainDecimal(char fill, unsigned width, int base) {
    return fill == 0 && width == 0 && (base == 10 || base < 2 || base > 36);
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

zarn_string::zarn_string(const char* text, std::size_t length)
    : text_(text != nullptr ? text : "", text != nullptr ? textLength(text, length) : 0) {}

zarn_string::zarn_string(int value, char fill, unsigned width, int base) {
    if (isPlainDecimal(fill, width, base)) {
        const Decimal decimal(value);
        text_.assign(decimal.data(), decimal.size());
    } else {
        text_ = formatNumber(value, fill, width, base);
    }
}

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

zarn_string zarn_string::filledCopy(const char* value, std::size_t length) const {
    const LowestPlaceholder lowest(text_);
    if (lowest.number == 0) return *this;
    zarn_string result;
    fillLowest(text_, lowest, value, length, result.text_);
    return result;
}

void zarn_string::fillInPlace(const char* value, std::size_t length) {
    const LowestPlaceholder lowest(text_);
    if (lowest.number == 0) return;
    if (lowest.count == 1) {
        // One occurrence: the tail moves over in place. replace copes with
        // value pointing into this string.
        const std::size_t placeholder = placeholderSize(lowest.number);
        const std::less<const char*> before;
        const bool outside = before(value, text_.data()) || before(text_.data() + text_.size(), value);
        if (outside && length <= placeholder) {
            // No longer than the placeholder ("%2" by "12", "%4" by "2"), from
            // outside this text: written over it, the rest closed up.
            std::memcpy(&text_[lowest.first], value, length);
            if (length < placeholder) text_.erase(lowest.first + length, placeholder - length);
        } else {
            text_.replace(lowest.first, placeholder, value, length);
        }
        return;
    }
    std::string filled;
    fillLowest(text_, lowest, value, length, filled);
    text_.swap(filled);
}

zarn_string zarn_string::arg(const zarn_string& text) const& {
    return filledCopy(text.text_.data(), text.text_.size());
}

zarn_string zarn_string::arg(const zarn_string& text) && {
    fillInPlace(text.text_.data(), text.text_.size());
    return std::move(*this);
}

zarn_string zarn_string::arg(int value, char fill, unsigned width, int base) const& {
    if (isPlainDecimal(fill, width, base)) {
        const Decimal decimal(value);
        return filledCopy(decimal.data(), decimal.size());
    }
    return arg(zarn_string(value, fill, width, base));
}

zarn_string zarn_string::arg(int value, char fill, unsigned width, int base) && {
    if (isPlainDecimal(fill, width, base)) {
        const Decimal decimal(value);
        fillInPlace(decimal.data(), decimal.size());
    } else {
        const zarn_string number(value, fill, width, base);
        fillInPlace(number.text_.data(), number.text_.size());
    }
    return std::move(*this);
}

zarn_string zarn_string::args(std::initializer_list<const char*> values) const {
    if (values.size() == 0) return *this;
    const PlaceholderSet present(text_);
    if (present.empty()) return *this;

    // The k-th lowest number present receives values[k]; texts and lengths
    // are looked up once per number, not once per occurrence. Numbers without
    // a value keep a null text and stay as they are.
    const char* texts[maxPlaceholder + 1];
    std::size_t lengths[maxPlaceholder + 1];
    present.forEachRanked([&](int number, int rank) {
        const auto k = static_cast<std::size_t>(rank);
        texts[number] = nullptr;
        if (k >= values.size()) return;
        texts[number] = values.begin()[k] != nullptr ? values.begin()[k] : "";
        lengths[number] = std::strlen(texts[number]);
    });
    std::size_t size = text_.size();
    forEachPlaceholder(text_, [&](std::size_t, int number) {
        if (texts[number] != nullptr) size = size - placeholderSize(number) + lengths[number];
    });
    // Sized first and then written with memcpy.
    zarn_string result;
    std::string& out = result.text_;
    out.resize(size);
    char* write = &out[0];
    const char* const data = text_.data();
    std::size_t copied = 0;
    forEachPlaceholder(text_, [&](std::size_t pos, int number) {
        if (texts[number] == nullptr) return;
        std::memcpy(write, data + copied, pos - copied);
        write += pos - copied;
        std::memcpy(write, texts[number], lengths[number]);
        write += lengths[number];
        copied = pos + placeholderSize(number);
    });
    std::memcpy(write, data + copied, text_.size() - copied);
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

// Each result is sized once for both parts.
zarn_string operator+(const zarn_string& a, const zarn_string& b) {
    zarn_string result;
    result.text_.reserve(a.text_.size() + b.text_.size());
    result.text_.append(a.text_).append(b.text_);
    return result;
}

zarn_string operator+(const zarn_string& a, const char* b) {
    const std::size_t size = b != nullptr ? std::strlen(b) : 0;
    zarn_string result;
    result.text_.reserve(a.text_.size() + size);
    result.text_.append(a.text_).append(b != nullptr ? b : "", size);
    return result;
}

zarn_string operator+(const char* a, const zarn_string& b) {
    const std::size_t size = a != nullptr ? std::strlen(a) : 0;
    zarn_string result;
    result.text_.reserve(size + b.text_.size());
    result.text_.append(a != nullptr ? a : "", size).append(b.text_);
    return result;
}

// a is a temporary (an earlier step of the chain): its text grows in place,
// its capacity doubling as std::string's does.
zarn_string operator+(zarn_string&& a, const zarn_string& b) {
    a.text_.append(b.text_);
    return std::move(a);
}

zarn_string operator+(zarn_string&& a, const char* b) {
    if (b != nullptr) a.text_.append(b);
    return std::move(a);
}

bool operator==(const zarn_string& a, const char* b) {
    return std::strcmp(a.c_str(), b != nullptr ? b : "") == 0;
}

bool operator==(const zarn_string& a, const zarn_string& b) {
    return std::strcmp(a.c_str(), b.c_str()) == 0;
}

bool operator==(const zarn_string& a, int value) {
    const Decimal decimal(value);
    return a.size() == decimal.size() && std::memcmp(a.c_str(), decimal.data(), decimal.size()) == 0;
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
