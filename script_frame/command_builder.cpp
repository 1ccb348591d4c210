#include "command_builder.h"

#include <cstring>

namespace zarn {

CommandBuilder& CommandBuilder::operator<<(int32_t value) {
    char digits[12];
    char* first = digits + sizeof digits;
    // Unsigned negation keeps INT32_MIN defined.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--first = '-';
    append(first, static_cast<std::size_t>(digits + sizeof digits - first));
    return *this;
}

void CommandBuilder::appendSlow(const char* text, std::size_t length) {
    if (!spilled_) {
        heap_.reserve(size_ + length);
        heap_.assign(local_, size_);
        spilled_ = true;
    }
    heap_.append(text, length);
}

}  // namespace zarn
