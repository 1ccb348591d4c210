// What zarn_string's fills share: finding "%1".."%99" in a text, in blocks
// where the processor allows, and copying the short pieces of a filled text.
// Private to the library; inline because the hot paths want it without calls.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zarn_string_placeholders {

constexpr int maxPlaceholder = 99;

// For the small helpers of the hot paths, which the compiler would otherwise
// leave as calls that cost more than their work.
#if defined(__GNUC__)
#define ZARN_STRING_INLINE inline __attribute__((always_inline))
#else
#define ZARN_STRING_INLINE inline
#endif

inline std::size_t placeholderSize(int number) {
    return number < 10 ? 2 : 3;
}

// Position of the next "%" at or after pos, or size.
inline std::size_t nextPercent(const char* text, std::size_t size, std::size_t pos) {
    if (pos >= size) return size;
    const void* found = std::memchr(text + pos, '%', size - pos);
    return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
}

// Number of the placeholder whose "%" is at p, or 0, for a NUL-terminated
// text: the NUL stops the look at the digits, so no bounds are needed.
inline int placeholderAt(const char* p) {
    const auto first = static_cast<unsigned>(static_cast<unsigned char>(p[1])) - '1';
    if (first > 8) return 0;
    const auto second = static_cast<unsigned>(static_cast<unsigned char>(p[2])) - '0';
    return second <= 9 ? static_cast<int>((first + 1) * 10 + second) : static_cast<int>(first + 1);
}

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define ZARN_STRING_WORD_SCAN 1

// The high bit of every byte of word that is "%", and no other bit.
inline std::uint64_t percentBytes(std::uint64_t word) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ 0x2525252525252525u;  // a "%" becomes a zero byte
    return ~(((x & low7) + low7) | x | low7);
}

#if defined(__SSE2__)
#define ZARN_STRING_BLOCK_SCAN 1

// Bit i set for every byte i of the 16 at p that is "%".
inline unsigned percentMask(const char* p) {
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
    if (size >= 4 && size < 8) {
        // The shortest formats ("SD '%1'"): the first four bytes in the low
        // half of one word, the last four in the high half, less those the
        // two share.
        std::uint32_t head;
        std::uint32_t tail;
        std::memcpy(&head, data, sizeof head);
        std::memcpy(&tail, data + size - 4, sizeof tail);
        const std::uint64_t shared = ((std::uint64_t{1} << (8 * (8 - size))) - 1) << 32;
        std::uint64_t found = percentBytes(head | std::uint64_t{tail} << 32) & ~shared;
        const std::size_t highShift = size - 8;  // a byte of the high half is at size - 8 + its index
        for (; found != 0; found &= found - 1) {
            const std::size_t byte = static_cast<unsigned>(__builtin_ctzll(found)) >> 3;
            atPercent(byte < 4 ? byte : byte + highShift);
        }
        return;
    }
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

// A filled text up to this size is written on the stack first and copied
// into its string in one piece: a string cannot take a length without
// writing every byte of it first.
constexpr std::size_t stackText = 256;

}  // namespace zarn_string_placeholders
