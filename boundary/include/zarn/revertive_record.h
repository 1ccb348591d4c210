/// \file
/// Builds the record of a type-1 notification for hosts, test hosts and fuzzers.
#pragma once

#include <zarn/zarn_client.h>

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

/// A RevertiveEvent whose text has any length: the fixed fields, then the text
/// and its NUL at offset 16, in one allocation that lives as long as this object.
class zarn_revertive_record {
public:
    /// Copies text into the record. text may hold NUL bytes; a script then
    /// reads only up to the first one.
    zarn_revertive_record(int32_t device, int32_t index, std::string_view text)
        : bytes_(new char[zarn_revertive_text_offset + text.size() + 1]) {
        new (bytes_.get()) RevertiveEvent{device, 0, index, 0};
        if (!text.empty()) std::memcpy(bytes_.get() + zarn_revertive_text_offset, text.data(), text.size());
        bytes_[zarn_revertive_text_offset + text.size()] = '\0';
    }

    /// The record to pass with type 1.
    RevertiveEvent* event() { return reinterpret_cast<RevertiveEvent*>(bytes_.get()); }
    /// The record to pass with type 1.
    const RevertiveEvent* event() const { return reinterpret_cast<const RevertiveEvent*>(bytes_.get()); }

private:
    std::unique_ptr<char[]> bytes_;
};
