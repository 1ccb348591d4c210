/// @file
/// zarn_stringlist: an ordered list of zarn_string entries, and its iterator.
#pragma once

#include <zarn/zarn_string.h>

#include <vector>

class zarn_stringlistIterator;

/// An ordered list of zarn_string entries.
class zarn_stringlist {
public:
    /// The empty list.
    zarn_stringlist();
    /// One entry per part of text between separators, in order; empty parts are
    /// kept ("a,,b" gives three entries). The empty text gives an empty list.
    zarn_stringlist(const zarn_string& text, char separator);
    zarn_stringlist(const zarn_stringlist& other);                 ///< A copy of other's entries.
    zarn_stringlist(zarn_stringlist&& other) noexcept;             ///< Takes other's entries; other is left empty.
    zarn_stringlist& operator=(const zarn_stringlist& other);      ///< Copies other's entries.
    zarn_stringlist& operator=(zarn_stringlist&& other) noexcept;  ///< Takes other's entries; other is left empty.
    virtual ~zarn_stringlist();                                    ///< Frees the entries.

    /// Appends a copy of entry; returns the list, so appends chain.
    zarn_stringlist& operator<<(const zarn_string& entry);

    /// The entries in order with separator between them (none after the last);
    /// separator 0 joins them with nothing between.
    zarn_string toString(char separator) const;

    int count() const;     ///< The number of entries.
    bool isEmpty() const;  ///< True for a list without entries.
    /// The entry at index; an index outside the list gives an empty text.
    const zarn_string& at(int index) const;

    zarn_stringlistIterator begin();  ///< The first entry (end() for an empty list).
    zarn_stringlistIterator end();    ///< Just past the last entry.

private:
    std::vector<zarn_string> entries_;
};

/// A position in a zarn_stringlist, as begin() and end() give it. A plain
/// value; valid while its list is alive and unchanged.
class zarn_stringlistIterator {
public:
    zarn_stringlistIterator() = default;  ///< A position in no list; only for assigning to.
    /// The position of the entry at position.
    explicit zarn_stringlistIterator(zarn_string* position) : position_(position) {}

    zarn_string& operator*() const { return *position_; }  ///< The entry at this position.
    zarn_string* operator->() const { return position_; }  ///< The entry at this position.
    /// Moves to the next entry; returns the new position.
    zarn_stringlistIterator operator++() {
        ++position_;
        return *this;
    }
    /// True for different positions.
    bool operator!=(const zarn_stringlistIterator& other) const { return position_ != other.position_; }
    /// True for the same position.
    bool operator==(const zarn_stringlistIterator& other) const { return position_ == other.position_; }

private:
    zarn_string* position_ = nullptr;
};
