#include <zarn/zarn_stringlist.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

zarn_stringlist::zarn_stringlist() = default;

namespace {

#if defined(__SSE2__) && defined(__GNUC__)
#define ZARN_STRINGLIST_BLOCK_SCAN 1

// Bit i set for every byte i of the 16 at p that is wanted.
inline unsigned matchMask(const char* p, __m128i wanted) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
}
#endif

// The number of separators in size bytes at data: 16 bytes a step where the
// processor has vector compares, each byte counter summed before it can
// overflow.
std::size_t countOf(const char* data, std::size_t size, char separator) {
    std::size_t count = 0;
    std::size_t pos = 0;
#ifdef ZARN_STRINGLIST_BLOCK_SCAN
    const __m128i wanted = _mm_set1_epi8(separator);
    while (size - pos >= 16) {
        const std::size_t blocks = std::min<std::size_t>((size - pos) / 16, 255);
        __m128i counters = _mm_setzero_si128();
        for (std::size_t i = 0; i < blocks; ++i, pos += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
            counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(block, wanted));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        count +=
            static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    return count + static_cast<std::size_t>(std::count(data + pos, data + size, separator));
}

}  // namespace

zarn_stringlist::zarn_stringlist(const zarn_string& text, char separator) {
    const char* const data = text.c_str();
    const std::size_t size = text.size();
    if (size == 0) return;
    entries_.reserve(countOf(data, size, separator) + 1);
    // Every entry is the text from the end of the one before to the next
    // separator; the separators are found 16 bytes a step where the processor
    // allows, all of a block at once.
    const char* entry = data;
    std::size_t pos = 0;
#ifdef ZARN_STRINGLIST_BLOCK_SCAN
    const __m128i wanted = _mm_set1_epi8(separator);
    for (; size - pos >= 16; pos += 16) {
        for (unsigned found = matchMask(data + pos, wanted); found != 0; found &= found - 1) {
            const char* const at = data + pos + __builtin_ctz(found);
            entries_.push_back(zarn_string(zarn_string::Adopt{}, entry, static_cast<std::size_t>(at - entry)));
            entry = at + 1;
        }
    }
#endif
    for (; pos < size; ++pos) {
        if (data[pos] != separator) continue;
        entries_.push_back(zarn_string(zarn_string::Adopt{}, entry, static_cast<std::size_t>(data + pos - entry)));
        entry = data + pos + 1;
    }
    entries_.push_back(zarn_string(zarn_string::Adopt{}, entry, static_cast<std::size_t>(data + size - entry)));
}

zarn_stringlist::zarn_stringlist(const zarn_stringlist& other) = default;

zarn_stringlist::zarn_stringlist(zarn_stringlist&& other) noexcept : entries_(std::move(other.entries_)) {
    other.entries_.clear();
}

zarn_stringlist& zarn_stringlist::operator=(const zarn_stringlist& other) = default;

zarn_stringlist& zarn_stringlist::operator=(zarn_stringlist&& other) noexcept {
    if (this != &other) {
        entries_ = std::move(other.entries_);
        other.entries_.clear();
    }
    return *this;
}

zarn_stringlist::~zarn_stringlist() = default;

zarn_stringlist& zarn_stringlist::operator<<(const zarn_string& entry) {
    entries_.push_back(entry);
    return *this;
}

zarn_string zarn_stringlist::toString(char separator) const {
    // A NUL separator would end the text early; it joins with nothing between.
    const char between[2] = {separator, '\0'};
    zarn_string joined;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i != 0) joined += between;
        joined += entries_[i];
    }
    return joined;
}

int zarn_stringlist::count() const {
    return entries_.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(entries_.size());
}

bool zarn_stringlist::isEmpty() const {
    return entries_.empty();
}

const zarn_string& zarn_stringlist::at(int index) const {
    static const zarn_string empty;
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return empty;
    return entries_[static_cast<std::size_t>(index)];
}

zarn_stringlistIterator zarn_stringlist::begin() {
    return zarn_stringlistIterator(entries_.data());
}

zarn_stringlistIterator zarn_stringlist::end() {
    return zarn_stringlistIterator(entries_.data() + entries_.size());
}
