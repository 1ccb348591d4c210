#include <zarn/zarn_string.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "number_text.h"

namespace {

// Bytes of text before its first NUL, at most limit.
std::size_t textLength(const char* text, std::size_t limit) {
    const void* nul = std::memchr(text, '\0', limit);
    return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : limit;
}

}  // namespace

zarn_string::zarn_string(const char* text, std::size_t length)
    : text_(text != nullptr ? text : "", text != nullptr ? textLength(text, length) : 0) {}

zarn_string& zarn_string::operator=(const zarn_string& other) = default;

zarn_string& zarn_string::operator=(zarn_string&& other) noexcept {
    if (this != &other) {
        text_ = std::move(other.text_);
        other.text_.clear();
    }
    return *this;
}

zarn_string& zarn_string::operator=(const char* text) {
    // std::string::assign copes with text pointing into this string.
    if (text == nullptr) {
        text_.clear();
    } else {
        text_.assign(text);
    }
    return *this;
}

zarn_string& zarn_string::operator+=(const zarn_string& other) {
    text_.append(other.text_);
    return *this;
}

zarn_string& zarn_string::operator+=(const char* text) {
    if (text != nullptr) text_.append(text);
    return *this;
}

bool zarn_string::startsWith(const char* prefix) const {
    if (prefix == nullptr) return true;
    const std::size_t size = std::strlen(prefix);
    return size <= text_.size() && text_.compare(0, size, prefix, size) == 0;
}

int zarn_string::split(char separator, zarn_string& left, zarn_string& right) const {
    const std::size_t at = text_.find(separator);
    const std::ptrdiff_t more =
        at == std::string::npos ? 0 : std::count(text_.begin() + at + 1, text_.end(), separator);
    const int separators = static_cast<int>(std::min<std::ptrdiff_t>(at == std::string::npos ? 0 : more + 1, INT_MAX));
    if (&left != this && &right != this) {
        left.text_.assign(text_, 0, at);
        if (at == std::string::npos) {
            right.text_.clear();
        } else {
            right.text_.assign(text_, at + 1, std::string::npos);
        }
        return separators;
    }
    // left or right is this string: both parts are built before either is assigned.
    std::string before = text_.substr(0, at);
    std::string after = at == std::string::npos ? std::string() : text_.substr(at + 1);
    left.text_ = std::move(before);
    right.text_ = std::move(after);
    return separators;
}

bool operator==(const zarn_string& a, const char* b) {
    return std::strcmp(a.c_str(), b != nullptr ? b : "") == 0;
}

bool operator==(const zarn_string& a, const zarn_string& b) {
    return std::strcmp(a.c_str(), b.c_str()) == 0;
}

bool operator!=(const zarn_string& a, const zarn_string& b) {
    return !(a == b);
}

bool operator!=(const zarn_string& a, const char* b) {
    return !(a == b);
}

bool operator==(const char* a, const zarn_string& b) {
    return b == a;
}

bool operator!=(const char* a, const zarn_string& b) {
    return !(b == a);
}
