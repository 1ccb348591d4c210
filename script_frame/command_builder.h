// CommandBuilder: a command text assembled piece by piece, in one pass.
//
// Texts of up to 255 bytes are built in a buffer inside the builder (on the
// stack), so an ordinary command costs no allocation; a longer text moves to
// the heap once and then grows there. Pieces are appended exactly as given:
// nothing is trimmed, escaped or scanned again.
#pragma once

#include <zarn/zarn_string.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace zarn {

class CommandBuilder {
public:
    CommandBuilder() { local_[0] = '\0'; }
    CommandBuilder(const CommandBuilder&) = delete;
    CommandBuilder& operator=(const CommandBuilder&) = delete;

    // A null text appends nothing. Inline, so that the length of a literal
    // is known when compiling.
    CommandBuilder& operator<<(const char* text) {
        if (text != nullptr) append(text, std::strlen(text));
        return *this;
    }
    CommandBuilder& operator<<(const zarn_string& text) {
        append(text.c_str(), text.size());
        return *this;
    }
    // Plain decimal, "-2147483648" to "2147483647".
    CommandBuilder& operator<<(int32_t value);

    // The NUL-terminated text, in writable memory (a host may cut a command
    // text in place); valid until the next append.
    char* text() {
        if (spilled_) return &heap_[0];
        local_[size_] = '\0';
        return local_;
    }

private:
    // The common case, a piece that still fits the local buffer, inline.
    void append(const char* text, std::size_t length) {
        if (!spilled_ && length < localCapacity - size_) {
            std::memcpy(local_ + size_, text, length);
            size_ += length;
            return;
        }
        appendSlow(text, length);
    }
    void appendSlow(const char* text, std::size_t length);

    static constexpr std::size_t localCapacity = 256;  // NUL included
    char local_[localCapacity];
    std::size_t size_ = 0;
    std::string heap_;
    bool spilled_ = false;
};

}  // namespace zarn
