#include <zarn/zarn_stringlist.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

zarn_stringlist::zarn_stringlist() = default;

zarn_stringlist::zarn_stringlist(const zarn_string& text, char separator) {
    const char* pos = text.c_str();
    const char* const end = pos + std::strlen(pos);
    if (pos == end) return;
    entries_.reserve(static_cast<std::size_t>(std::count(pos, end, separator)) + 1);
    for (;;) {
        const char* const next = std::find(pos, end, separator);
        entries_.emplace_back(pos, static_cast<std::size_t>(next - pos));
        if (next == end) break;
        pos = next + 1;
    }
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
