/// @file
/// zarn_string: the text type every panel and the script frame use.

#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

class zarn_string;
inline zarn_string operator+(const zarn_string& a, const zarn_string& b);
inline zarn_string operator+(const zarn_string& a, const char* b);
inline zarn_string operator+(const char* a, const zarn_string& b);
inline zarn_string operator+(zarn_string&& a, const zarn_string& b);
inline zarn_string operator+(zarn_string&& a, const char* b);

// The hot members (construction from a text, moves, destruction, access)
// are defined in this header so that panels building texts inline them.

/// The text type every panel and the script frame use.
///
/// Holds 8-bit text that never contains a NUL of its own; conversion to
/// const char* always yields a NUL-terminated text, never null. All operations
/// are linear in the size of their input and throw nothing but std::bad_alloc.
class zarn_string {
public:
    /// The empty text.
    zarn_string() = default;
    /// Copies text; a null pointer gives the empty string.
    zarn_string(const char* text)  // NOLINT(google-explicit-constructor): used as an implicit conversion
        : text_(text != nullptr ? text : "") {}
    /// Copies at most length bytes, stopping early at a NUL; null gives empty.
    zarn_string(const char* text, std::size_t length);
    zarn_string(const zarn_string& other) = default;  ///< A copy of other.
    /// Takes other's text; other is left empty.
    zarn_string(zarn_string&& other) noexcept : text_(std::move(other.text_)) { other.text_.clear(); }
    /// The text of value in base 2..36 (any other base means 10), digits above 9
    /// in lower case. width pads on the left with fill (0 means a blank) up to
    /// width characters, at most 1024; a minus sign stays in front, and zero
    /// padding goes between sign and digits. (value, 0, 0, 10) is plain decimal.
    zarn_string(int value, char fill, unsigned width, int base);
    virtual ~zarn_string() = default;  ///< Frees the text.

    zarn_string& operator=(const zarn_string& other);      ///< Copies other's text.
    zarn_string& operator=(zarn_string&& other) noexcept;  ///< Takes other's text; other is left empty.
    zarn_string& operator=(const char* text);              ///< Copies text; null gives the empty text.
    zarn_string& operator+=(const zarn_string& other);     ///< Appends other's text.
    zarn_string& operator+=(const char* text);             ///< Appends text; null appends nothing.

    /// The NUL-terminated text; never null, valid until the string changes.
    operator const char*() const { return text_.c_str(); }  // NOLINT(google-explicit-constructor)
    /// The same text as the conversion to const char*.
    const char* c_str() const { return text_.c_str(); }

    /// Bytes before the NUL (INT_MAX for texts that long or longer).
    int length() const { return text_.size() > maxLength ? INT_MAX : static_cast<int>(text_.size()); }
    /// Bytes before the NUL, never capped.
    std::size_t size() const { return text_.size(); }
    /// True for the text of length 0.
    bool isEmpty() const { return text_.empty(); }

    /// Decimal value: optional blanks (space, tab), optional "+" or "-",
    /// digits, optional blanks.
    /// Any other text, the empty text and values outside int32 give 0.
    int toInt() const;
    /// Value of the first run of decimal digits (no sign). No digits, or a run
    /// outside int32, gives 0.
    int firstInt() const;
    /// Case-sensitive; a null or empty prefix matches every text.
    bool startsWith(const char* prefix) const;

    /// A copy in which the lowest-numbered placeholder still present is
    /// replaced, at every occurrence, by text. A placeholder is "%" followed by
    /// a digit 1-9 and at most one more digit ("%1" to "%99"; "%123" is "%12"
    /// then "3"; "%0" is plain text). No placeholder left: the text comes back
    /// unchanged. Inserted text is not scanned within the same call.
    zarn_string arg(const zarn_string& text) const& { return filledCopy(text.text_.data(), text.text_.size()); }
    /// arg() on a temporary (the later steps of a chain): filled in place
    /// instead of copied.
    zarn_string arg(const zarn_string& text) && {
        fillInPlace(text.text_.data(), text.text_.size());
        return std::move(*this);
    }
    /// arg() with the text of value, formatted as by zarn_string(value, fill, width, base).
    zarn_string arg(int value, char fill = 0, unsigned width = 0, int base = 10) const& {
        // Inline, so that the usual call, a plain decimal, is told apart when
        // compiling.
        return fill == 0 && width == 0 && base == 10 ? filledCopyDecimal(value)
                                                     : filledCopyNumber(value, fill, width, base);
    }
    /// The number arg() on a temporary, filled in place.
    zarn_string arg(int value, char fill = 0, unsigned width = 0, int base = 10) && {
        if (fill == 0 && width == 0 && base == 10) {
            fillInPlaceDecimal(value);
        } else {
            fillInPlaceNumber(value, fill, width, base);
        }
        return std::move(*this);
    }

    /// Fills all placeholders in one pass: the k-th lowest placeholder number
    /// present in this text receives values[k]. Text that was inserted is never
    /// scanned again, so a value containing "%1" arrives unchanged. Extra values
    /// are ignored; placeholders without a value are left as they are.
    zarn_string args(std::initializer_list<const char*> values) const;

    /// Splits at the first separator: left receives the text before it, right
    /// the text after it. Without a separator left is the whole text and right
    /// is empty. Returns the number of separators found in the text. left and
    /// right may be this string itself.
    int split(char separator, zarn_string& left, zarn_string& right) const;

    /// The decimal text of value: number(-12) is "-12" (as zarn_string(value, 0, 0, 10)).
    static zarn_string number(int value);
    /// count bytes of the text from byte position on; a negative count means
    /// to the end. A negative position counts as 0, and a part reaching past
    /// the text is cut to it (past the end: the empty text). "Salvo_12".mid(6)
    /// is "12"; "Salvo_12".mid(0, 5) is "Salvo".
    zarn_string mid(int position, int count = -1) const;
    /// The byte position of the first c at or after from (a negative from
    /// counts as 0), or -1 when there is none: "Salvo_12".indexOf('_') is 5.
    int indexOf(char c, int from = 0) const;

private:
    friend zarn_string operator+(const zarn_string& a, const zarn_string& b);
    friend zarn_string operator+(const zarn_string& a, const char* b);
    friend zarn_string operator+(const char* a, const zarn_string& b);
    friend zarn_string operator+(zarn_string&& a, const zarn_string& b);
    friend zarn_string operator+(zarn_string&& a, const char* b);
    friend class zarn_stringlist;  // cuts its entries from a text that holds no NUL

    static constexpr std::size_t maxLength = static_cast<std::size_t>(INT_MAX);

    // Takes text as it is: results built as std::string become the returned
    // string without a copy or a second move.
    struct Adopt {};
    zarn_string(Adopt, std::string&& text) noexcept : text_(std::move(text)) {}
    // Copies size bytes that hold no NUL, as they are.
    zarn_string(Adopt, const char* text, std::size_t size) : text_(text, size) {}

    // Before a step of a chain of + appends size bytes: a text that has to
    // grow takes room for twice its new size, so that a chain of short parts
    // leaves the string's inline buffer once and then fits.
    void reserveForChain(std::size_t size) {
        const std::size_t needed = text_.size() + size;
        if (needed > text_.capacity()) text_.reserve(needed < text_.max_size() / 2 ? 2 * needed : needed);
    }
    // True when text does not point into this string's text.
    bool outside(const char* text) const {
        const std::less<const char*> before;
        return before(text, text_.data()) || before(text_.data() + text_.size(), text);
    }

    // A copy of this text with every occurrence of its lowest placeholder
    // replaced by value; *this when no placeholder is left.
    zarn_string filledCopy(const char* value, std::size_t length) const;
    // The same, in this string.
    void fillInPlace(const char* value, std::size_t length);
    // Both with the plain decimal text of value, and with value formatted as
    // by zarn_string(value, fill, width, base).
    zarn_string filledCopyDecimal(int value) const;
    void fillInPlaceDecimal(int value);
    zarn_string filledCopyNumber(int value, char fill, unsigned width, int base) const;
    void fillInPlaceNumber(int value, char fill, unsigned width, int base);

    std::string text_;  // never holds a NUL of its own
};

// The + operators are inline, so that a literal's length is known when
// compiling and a chain of them costs no calls beyond the string's own.

/// The text of a followed by that of b.
inline zarn_string operator+(const zarn_string& a, const zarn_string& b) {
    zarn_string result;
    const std::size_t size = a.text_.size() + b.text_.size();
    if (size > result.text_.capacity()) result.text_.reserve(size);
    result.text_.append(a.text_).append(b.text_);
    return result;
}
/// a followed by b; null b adds nothing.
inline zarn_string operator+(const zarn_string& a, const char* b) {
    const std::size_t length = b != nullptr ? std::strlen(b) : 0;
    zarn_string result;
    const std::size_t size = a.text_.size() + length;
    if (size > result.text_.capacity()) result.text_.reserve(size);
    result.text_.append(a.text_).append(b != nullptr ? b : "", length);
    return result;
}
/// a followed by b; null a adds nothing.
inline zarn_string operator+(const char* a, const zarn_string& b) {
    const std::size_t length = a != nullptr ? std::strlen(a) : 0;
    zarn_string result;
    const std::size_t size = length + b.text_.size();
    if (size > result.text_.capacity()) result.text_.reserve(size);
    result.text_.append(a != nullptr ? a : "", length).append(b.text_);
    return result;
}
/// A chain of + appends to its first result instead of copying at every step.
inline zarn_string operator+(zarn_string&& a, const zarn_string& b) {
    // b may be a itself: its text is read after any growth.
    a.reserveForChain(b.text_.size());
    a.text_.append(b.text_);
    return std::move(a);
}
/// As above, with a text; null b adds nothing.
inline zarn_string operator+(zarn_string&& a, const char* b) {
    if (b == nullptr) return std::move(a);
    const std::size_t length = std::strlen(b);
    // A text inside a is left to append, which copes with it.
    if (a.outside(b)) a.reserveForChain(length);
    a.text_.append(b, length);
    return std::move(a);
}
bool operator==(const zarn_string& a, const char* b);         ///< Same bytes; null b equals the empty text.
bool operator==(const zarn_string& a, const zarn_string& b);  ///< Same bytes.
/// True when the text is exactly value in decimal ("1" == 1, "01" != 1).
bool operator==(const zarn_string& a, int value);
bool operator!=(const zarn_string& a, const zarn_string& b);  ///< Not the same bytes.
bool operator!=(const zarn_string& a, const char* b);         ///< Not the same bytes as b (null reads as empty).
/// b == a. Text first: without these, "x" == s would compare pointers.
bool operator==(const char* a, const zarn_string& b);
bool operator!=(const char* a, const zarn_string& b);  ///< b != a.
