// Parts of a text and the plain decimal text of a number.
#include <zarn/zarn_string.h>

#include <algorithm>

zarn_string zarn_string::number(int value) {
    return zarn_string(value, 0, 0, 10);
}

zarn_string zarn_string::mid(int position, int count) const {
    std::size_t from = position < 0 ? 0 : static_cast<std::size_t>(position);
    if (from >= text_.size()) return zarn_string();
    std::size_t available = text_.size() - from;
    std::size_t taken = count < 0 ? available : std::min(available, static_cast<std::size_t>(count));
    return zarn_string(text_.data() + from, taken);
}

int zarn_string::indexOf(char c, int from) const {
    std::size_t start = from < 0 ? 0 : static_cast<std::size_t>(from);
    if (start >= text_.size()) return -1;
    std::size_t at = text_.find(c, start);
    return at == std::string::npos || at > maxLength ? -1 : static_cast<int>(at);
}
