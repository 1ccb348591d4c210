// A type-1 record whose text has any length, for hosts, test hosts and
// fuzzers: the fixed fields, then the text and its NUL at offset 16, in one
// allocation that lives as long as this object.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "script_frame/zarn_client.h"

class zarn_revertive_record {
public:
    // text may hold NUL bytes; the panel then reads only up to the first one.
    zarn_revertive_record(int32_t device, int32_t index, std::string_view text)
        : bytes_(new char[zarn_revertive_text_offset + text.size() + 1]) {
        new (bytes_.get()) RevertiveEvent{device, 0, index, 0};
        if (!text.empty()) std::memcpy(bytes_.get() + zarn_revertive_text_offset, text.data(), text.size());
        bytes_[zarn_revertive_text_offset + text.size()] = '\0';
    }

    RevertiveEvent* event() { return reinterpret_cast<RevertiveEvent*>(bytes_.get()); }
    const RevertiveEvent* event() const { return reinterpret_cast<const RevertiveEvent*>(bytes_.get()); }

private:
    std::unique_ptr<char[]> bytes_;
};
