// zarn_string's placeholder engine: finding "%1".."%99" in a text and
// filling them, one number at a time (arg) or all at once (args).
#include <zarn/zarn_string.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

#include "number_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using zarn_string_number::Decimal;
using zarn_string_number::isPlainDecimal;

namespace {

constexpr int maxPlaceholder = 99;

// For the small helpers of the hot paths, which the compiler would otherwise
// leave as calls that cost more than their work.
#if defined(__GNUC__)
#define ZARN_STRING_INLINE inline __attribute__((always_inline))
#else
#define ZARN_STRING_INLINE inline
#endif

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

#if defined(__SSE2__)
#define ZARN_STRING_BLOCK_SCAN 1

// Bit i set for every byte i of the 16 at p that is "%".
unsigned percentMask(const char* p) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('%'))));
}
#endif
#endif

// Calls visit(position, number) for every placeholder of text, in order. A
// placeholder's digits hold no "%", so the search goes on after its "%".
// Panel texts are short and dense with placeholders, where a memchr call per
// "%" costs more than the search: below 128 bytes the text is searched 16
// bytes at a time with vector compares where the processor has them, eight
// at a time in a register otherwise (and below 16 bytes), every "%" of a
// block found at once.
template <typename Visit>
ZARN_STRING_INLINE void forEachPlaceholder(const std::string& text, Visit visit) {
    const char* const data = text.c_str();
    const std::size_t size = text.size();
    const auto atPercent = [&](std::size_t pos) {
        const int number = placeholderAt(data + pos);
        if (number != 0) visit(pos, number);
    };
#ifdef ZARN_STRING_WORD_SCAN
    // found: the high bit of each "%" byte of the word at data + at.
    const auto visitWord = [&](std::size_t at, std::uint64_t found) {
        for (; found != 0; found &= found - 1) atPercent(at + (static_cast<unsigned>(__builtin_ctzll(found)) >> 3));
    };
#ifdef ZARN_STRING_BLOCK_SCAN
    // found: bit i for a "%" at data + at + i.
    const auto visitBlock = [&](std::size_t at, std::uint32_t found) {
        for (; found != 0; found &= found - 1) atPercent(at + static_cast<unsigned>(__builtin_ctz(found)));
    };
    if (size >= 16 && size <= 32) {
        // The usual panel text: its first and last 16 bytes, one mask of
        // every "%" for a single pass over them.
        const unsigned shift = static_cast<unsigned>(size - 16);
        const std::uint32_t last = percentMask(data + shift) >> (16 - shift) << 16;
        visitBlock(0, percentMask(data) | last);
        return;
    }
    if (size > 32 && size < 128) {
        std::size_t base = 0;
        for (; base + 16 <= size; base += 16) visitBlock(base, percentMask(data + base));
        if (base != size) {
            // The text's last 16 bytes, less those already searched.
            const unsigned skip = static_cast<unsigned>(base + 16 - size);
            visitBlock(size - 16, percentMask(data + size - 16) >> skip << skip);
        }
        return;
    }
#endif
    if (size >= 8 && size < 128) {
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

// Copies size bytes between texts that do not overlap. The pieces of panel
// texts (numbers, ids, the literal runs between placeholders) are a few bytes
// long, where a call of memcpy costs more than the copy: up to 16 bytes they
// are moved in two overlapping words, longer pieces by memcpy.
ZARN_STRING_INLINE void copyPiece(char* out, const char* in, std::size_t size) {
    if (size > 16) {
        std::memcpy(out, in, size);
    } else if (size >= 8) {
        std::uint64_t head;
        std::uint64_t tail;
        std::memcpy(&head, in, 8);
        std::memcpy(&tail, in + size - 8, 8);
        std::memcpy(out, &head, 8);
        std::memcpy(out + size - 8, &tail, 8);
    } else if (size >= 4) {
        std::uint32_t head;
        std::uint32_t tail;
        std::memcpy(&head, in, 4);
        std::memcpy(&tail, in + size - 4, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + size - 4, &tail, 4);
    } else if (size != 0) {
        // 1 to 3 bytes: first, middle and last cover them all.
        out[0] = in[0];
        out[size / 2] = in[size / 2];
        out[size - 1] = in[size - 1];
    }
}

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

// A filled text up to this size is written on the stack first and copied
// into its string in one piece: a string cannot take a length without
// writing every byte of it first.
constexpr std::size_t stackText = 256;

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
        writeFilled(local, text_, lowest, value, length);
        return zarn_string(Adopt{}, std::string(local, size));
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
