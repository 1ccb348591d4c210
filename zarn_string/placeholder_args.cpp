// zarn_string::args: every placeholder filled in one pass.
#include <zarn/zarn_string.h>

#include <cstdint>
#include <cstring>

#include "placeholder_scan.h"

using namespace zarn_string_placeholders;

namespace {

// The placeholder numbers present in a text, one bit per number.
class PlaceholderSet {
public:
    PlaceholderSet() = default;
    // The numbers present in text.
    explicit PlaceholderSet(const std::string& text) {
        forEachPlaceholder(text, [this](std::size_t, int number) { add(number); });
    }
    void add(int number) { bits_[number / 64] |= std::uint64_t{1} << (number % 64); }
    bool empty() const { return bits_[0] == 0 && bits_[1] == 0; }
    // Calls visit(number, k) for the k-th lowest number present, in order.
    template <typename Visit>
    void forEachRanked(Visit visit) const {
        int rank = 0;
        for (int word = 0; word < 2; ++word) {
            for (std::uint64_t bits = bits_[word]; bits != 0; bits &= bits - 1) {
#if defined(__GNUC__)
                const int bit = __builtin_ctzll(bits);
#else
                int bit = 0;
                while ((bits >> bit & 1) == 0) ++bit;
#endif
                visit(word * 64 + bit, rank++);
            }
        }
    }

private:
    std::uint64_t bits_[2] = {0, 0};
};

// The placeholders a text may hold for the one-pass fill to remember where
// they are; a text with more is searched again for each pass.
constexpr std::size_t listed = 16;

// text with every placeholder filled from values, as args does, for a text
// too long to be filled on the stack or with more placeholders than are
// listed: searched for the numbers present, again for the size of the
// result, and again as it is written with memcpy.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::string
fillSearched(const std::string& text, std::initializer_list<const char*> values) {
    const PlaceholderSet present(text);
    const char* texts[maxPlaceholder + 1];
    std::size_t lengths[maxPlaceholder + 1];
    present.forEachRanked([&](int number, int rank) {
        const auto k = static_cast<std::size_t>(rank);
        texts[number] = nullptr;
        if (k >= values.size()) return;
        texts[number] = values.begin()[k] != nullptr ? values.begin()[k] : "";
        lengths[number] = std::strlen(texts[number]);
    });
    std::size_t size = text.size();
    forEachPlaceholder(text, [&](std::size_t, int number) {
        if (texts[number] != nullptr) size = size - placeholderSize(number) + lengths[number];
    });
    std::string out;
    out.resize(size);
    char* write = &out[0];
    const char* const data = text.data();
    std::size_t copied = 0;
    forEachPlaceholder(text, [&](std::size_t pos, int number) {
        if (texts[number] == nullptr) return;
        std::memcpy(write, data + copied, pos - copied);
        write += pos - copied;
        std::memcpy(write, texts[number], lengths[number]);
        write += lengths[number];
        copied = pos + placeholderSize(number);
    });
    std::memcpy(write, data + copied, text.size() - copied);
    return out;
}

}  // namespace

zarn_string zarn_string::args(std::initializer_list<const char*> values) const {
    if (values.size() == 0) return *this;
    if (text_.size() > stackText) return zarn_string(Adopt{}, fillSearched(text_, values));
    // One search: the numbers present, and where the first few placeholders
    // are with their numbers.
    PlaceholderSet present;
    std::size_t positions[listed];
    unsigned char numbers[listed];
    std::size_t found = 0;
    forEachPlaceholder(text_, [&](std::size_t pos, int number) {
        present.add(number);
        if (found < listed) {
            positions[found] = pos;
            numbers[found] = static_cast<unsigned char>(number);
        }
        ++found;
    });
    if (found == 0) return *this;
    if (found > listed) return zarn_string(Adopt{}, fillSearched(text_, values));

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
    for (std::size_t i = 0; i < found; ++i) {
        if (texts[numbers[i]] != nullptr) size = size - placeholderSize(numbers[i]) + lengths[numbers[i]];
    }
    if (size > stackText) return zarn_string(Adopt{}, fillSearched(text_, values));
    // The usual command text: written on the stack from the placeholders
    // found, and copied once into its string.
    char local[stackText];
    char* write = local;
    const char* const data = text_.data();
    std::size_t copied = 0;
    for (std::size_t i = 0; i < found; ++i) {
        const int number = numbers[i];
        if (texts[number] == nullptr) continue;
        copyPiece(write, data + copied, positions[i] - copied);
        write += positions[i] - copied;
        copyPiece(write, texts[number], lengths[number]);
        write += lengths[number];
        copied = positions[i] + placeholderSize(number);
    }
    copyPiece(write, data + copied, text_.size() - copied);
    return zarn_string(Adopt{}, local, size);
}
