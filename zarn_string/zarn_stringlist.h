// zarn_stringlist: an ordered list of zarn_string entries, and its iterator.
#pragma once

#include <vector>

#include "zarn_string/zarn_string.h"

class zarn_stringlistIterator;

class zarn_stringlist {
public:
    zarn_stringlist();
    // One entry per part of text between separators, in order; empty parts are
    // kept ("a,,b" gives three entries). The empty text gives an empty list.
    zarn_stringlist(const zarn_string& text, char separator);
    zarn_stringlist(const zarn_stringlist& other);
    zarn_stringlist(zarn_stringlist&& other) noexcept;
    zarn_stringlist& operator=(const zarn_stringlist& other);
    zarn_stringlist& operator=(zarn_stringlist&& other) noexcept;
    virtual ~zarn_stringlist();

    zarn_stringlist& operator<<(const zarn_string& entry);

    // The entries in order with separator between them (none after the last);
    // separator 0 joins them with nothing between.
    zarn_string toString(char separator) const;

    int count() const;
    bool isEmpty() const;
    // The entry at index; an index outside the list gives an empty text.
    const zarn_string& at(int index) const;

    zarn_stringlistIterator begin();
    zarn_stringlistIterator end();

private:
    std::vector<zarn_string> entries_;
};

// Plain value; valid while its list is alive and unchanged.
class zarn_stringlistIterator {
public:
    zarn_stringlistIterator() = default;
    explicit zarn_stringlistIterator(zarn_string* position) : position_(position) {}

    zarn_string& operator*() const { return *position_; }
    zarn_string* operator->() const { return position_; }
    zarn_stringlistIterator operator++() {
        ++position_;
        return *this;
    }
    bool operator!=(const zarn_stringlistIterator& other) const { return position_ != other.position_; }
    bool operator==(const zarn_stringlistIterator& other) const { return position_ == other.position_; }

private:
    zarn_string* position_ = nullptr;
};
