// zarn_string's placeholder fills, one number at a time (arg); the search is
// placeholder_scan.h's, the one-pass fill of all (args) placeholder_args.cpp's.
#include <zarn/zarn_string.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

#include "number_text.h"
#include "placeholder_scan.h"

using namespace zarn_string_placeholders;
using zarn_string_number::Decimal;
using zarn_string_number::isPlainDecimal;

namespace {

// The lowest placeholder number of a text, where it first occurs, how often
// it occurs, and how many placeholders there are in all.
struct LowestPlaceholder {
    int number = 0;  // 0: the text has no placeholder
    std::size_t first = 0;
    std::size_t count = 0;
    std::size_t all = 0;

    ZARN_STRING_INLINE explicit LowestPlaceholder(const std::string& text) {
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

// Writes text with every occurrence of its lowest placeholder replaced by
// value to out, which has room for the result; returns the end of what it
// wrote.
ZARN_STRING_INLINE char* writeFilled(char* out, const std::string& text, const LowestPlaceholder& lowest,
                                     const char* value, std::size_t length) {
    const std::size_t placeholder = placeholderSize(lowest.number);
    const char* const data = text.data();
    std::size_t copied = 0;
    std::size_t pos = lowest.first;
    for (std::size_t left = lowest.count;;) {
        copyPiece(out, data + copied, pos - copied);
        out += pos - copied;
        copyPiece(out, value, length);
        out += length;
        copied = pos + placeholder;
        if (--left == 0) break;
        do {
            pos = nextPercent(data, text.size(), pos + 1);
        } while (placeholderAt(data + pos) != lowest.number);
    }
    copyPiece(out, data + copied, text.size() - copied);
    return out + (text.size() - copied);
}

// Size of text once every occurrence of its lowest placeholder holds length
// bytes.
ZARN_STRING_INLINE std::size_t filledSize(const std::string& text, const LowestPlaceholder& lowest,
                                          std::size_t length) {
    return text.size() - lowest.count * placeholderSize(lowest.number) + lowest.count * length;
}

// Room for a filled text: exactly its size when this was its last
// placeholder; otherwise half as much again for the fills still to come, but
// only for a text that lives outside the string anyway, so that a short
// result still costs no allocation.
ZARN_STRING_INLINE std::size_t filledRoom(const LowestPlaceholder& lowest, std::size_t size, std::size_t inside) {
    return lowest.all > lowest.count && size > inside ? size + size / 2 : size;
}

// What a string holds without an allocation of its own.
ZARN_STRING_INLINE std::size_t inlineCapacity() {
    return std::string().capacity();
}

// text with every occurrence of its lowest placeholder replaced by value, in
// a string sized once: made at its full room and cut to the text's size once
// written, which costs less than growing it piece by piece.
ZARN_STRING_INLINE std::string fillLowest(const std::string& text, const LowestPlaceholder& lowest, const char* value,
                                          std::size_t length) {
    const std::size_t size = filledSize(text, lowest, length);
    std::string out(filledRoom(lowest, size, inlineCapacity()), '\0');
    writeFilled(&out[0], text, lowest, value, length);
    out.erase(size);
    return out;
}

// fillInPlace of text whose lowest placeholder occurs more than once:
// filled into a new string. Rare, so apart: the common path keeps what it
// found in registers.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void fillEveryOccurrence(std::string& text, const char* value, std::size_t length) {
    std::string filled = fillLowest(text, LowestPlaceholder(text), value, length);
    text.swap(filled);
}

// fillInPlace of text; inlined into the number fills too, so that a chain
// step costs one call.
ZARN_STRING_INLINE void fillInPlaceOf(std::string& text, const char* value, std::size_t length) {
    const LowestPlaceholder lowest(text);
    if (lowest.number == 0) return;
    if (lowest.count == 1) {
        // One occurrence: the tail moves over in place.
        const std::size_t placeholder = placeholderSize(lowest.number);
        const std::less<const char*> before;
        const bool outside = before(value, text.data()) || before(text.data() + text.size(), value);
        if (outside && length <= placeholder) {
            // No longer than the placeholder ("%2" by "12", "%4" by "2"), from
            // outside this text: written over it, the rest closed up and the
            // string cut at its end (which, unlike an erase in the middle,
            // costs no call).
            char* const at = &text[lowest.first];
            copyPiece(at, value, length);
            if (length < placeholder) {
                const std::size_t tail = text.size() - lowest.first - placeholder;
                std::memmove(at + length, at + placeholder, tail);
                text.erase(text.size() - (placeholder - length));
            }
        } else {
            // Longer, or from this text: replace copes with both.
            text.replace(lowest.first, placeholder, value, length);
        }
        return;
    }
    fillEveryOccurrence(text, value, length);
}

}  // namespace

zarn_string zarn_string::filledCopy(const char* value, std::size_t length) const {
    const LowestPlaceholder lowest(text_);
    if (lowest.number == 0) return *this;
    const std::size_t size = filledSize(text_, lowest, length);
    if (size <= stackText && filledRoom(lowest, size, inlineCapacity()) == size) {
        // The common case, a text filled for good: built on the stack and
        // copied once into a string of its exact size.
        char local[stackText];
        if (lowest.count == 1) {
            // One occurrence ("SD '%1'"): the text before it, the value and
            // the text after it.
            const std::size_t after = lowest.first + placeholderSize(lowest.number);
            copyPiece(local, text_.data(), lowest.first);
            copyPiece(local + lowest.first, value, length);
            copyPiece(local + lowest.first + length, text_.data() + after, text_.size() - after);
        } else {
            writeFilled(local, text_, lowest, value, length);
        }
        return zarn_string(Adopt{}, local, size);
    }
    return zarn_string(Adopt{}, fillLowest(text_, lowest, value, length));
}

void zarn_string::fillInPlace(const char* value, std::size_t length) {
    fillInPlaceOf(text_, value, length);
}

zarn_string zarn_string::filledCopyDecimal(int value) const {
    const Decimal decimal(value);
    return filledCopy(decimal.data(), decimal.size());
}

void zarn_string::fillInPlaceDecimal(int value) {
    const Decimal decimal(value);
    fillInPlaceOf(text_, decimal.data(), decimal.size());
}

zarn_string zarn_string::filledCopyNumber(int value, char fill, unsigned width, int base) const {
    if (isPlainDecimal(fill, width, base)) return filledCopyDecimal(value);
    const zarn_string number(value, fill, width, base);
    return filledCopy(number.text_.data(), number.text_.size());
}

void zarn_string::fillInPlaceNumber(int value, char fill, unsigned width, int base) {
    if (isPlainDecimal(fill, width, base)) {
        fillInPlaceDecimal(value);
        return;
    }
    const zarn_string number(value, fill, width, base);
    fillInPlace(number.text_.data(), number.text_.size());
}
