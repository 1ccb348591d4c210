// zarn_string: the text type every panel and the script frame use.
//
// Holds 8-bit text that never contains a NUL of its own; conversion to
// const char* always yields a NUL-terminated text, never null. All operations
// are linear in the size of their input and throw nothing but std::bad_alloc.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

class zarn_string {
public:
    zarn_string();
    // Copies text; a null pointer gives the empty string.
    zarn_string(const char* text);  // NOLINT(google-explicit-constructor): used as an implicit conversion
    zarn_string(const char* text, std::size_t length);
    zarn_string(const zarn_string& other);
    zarn_string(zarn_string&& other) noexcept;
    // The text of value in the given base (2..36); fill and width pad on the
    // left when width is non-zero and fill is not 0. Called as (value, 0, 0, 10)
    // for plain decimal.
    zarn_string(int value, char fill, unsigned width, int base);
    virtual ~zarn_string();

    zarn_string& operator=(const zarn_string& other);
    zarn_string& operator=(zarn_string&& other) noexcept;
    zarn_string& operator=(const char* text);
    zarn_string& operator+=(const zarn_string& other);
    zarn_string& operator+=(const char* text);

    // The NUL-terminated text; never null, valid until the string changes.
    operator const char*() const;  // NOLINT(google-explicit-constructor)
    const char* c_str() const;

    int length() const;
    bool isEmpty() const;

    // Decimal value: optional blanks, optional sign, digits, optional blanks.
    // Any other text, the empty text and values outside int32 give 0.
    int toInt() const;
    // Value of the first run of decimal digits (no sign). No digits, or a run
    // outside int32, gives 0.
    int firstInt() const;
    bool startsWith(const char* prefix) const;

    // A copy in which the lowest-numbered placeholder still present ("%1" to
    // "%99") is replaced, at every occurrence, by text. No placeholder left:
    // the text comes back unchanged.
    zarn_string arg(const zarn_string& text) const;
    zarn_string arg(int value, char fill = 0, unsigned width = 0, int base = 10) const;

    // Fills all placeholders in one pass: the k-th lowest placeholder number
    // present in this text receives values[k]. Text that was inserted is never
    // scanned again, so a value containing "%1" arrives unchanged. Extra values
    // are ignored; placeholders without a value are left as they are.
    zarn_string args(std::initializer_list<const char*> values) const;

    // Splits at the first separator: left receives the text before it, right
    // the text after it. Without a separator left is the whole text and right
    // is empty. Returns the number of separators found in the text.
    int split(char separator, zarn_string& left, zarn_string& right) const;

private:
    std::string text_;
};

zarn_string operator+(const zarn_string& a, const zarn_string& b);
zarn_string operator+(const zarn_string& a, const char* b);
zarn_string operator+(const char* a, const zarn_string& b);
bool operator==(const zarn_string& a, const char* b);
bool operator==(const zarn_string& a, const zarn_string& b);
// True when the text is exactly value in decimal ("1" == 1, "01" != 1).
bool operator==(const zarn_string& a, int value);
bool operator!=(const zarn_string& a, const zarn_string& b);
bool operator!=(const zarn_string& a, const char* b);
