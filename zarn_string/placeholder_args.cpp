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

}  // namespace

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
