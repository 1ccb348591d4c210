// FuzzInput: draws typed values from a fuzzer's byte string. Once the bytes
// run out every draw yields zero or empty, so a short input is a valid input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }
    std::size_t remaining() const { return size_; }

    uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    bool flag() { return (byte() & 1) != 0; }
    // Uniform enough for choosing among count alternatives (count > 0).
    std::size_t pick(std::size_t count) { return byte() % count; }

    int32_t int32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return static_cast<int32_t>(value);
    }

    // Mostly small numbers, sometimes the extremes or any 32-bit value.
    int32_t number() {
        switch (byte() % 8) {
            case 0:
                return INT32_MIN;
            case 1:
                return INT32_MAX;
            case 2:
            case 3:
                return int32();
            default:
                return static_cast<int32_t>(byte() % 16) - 2;
        }
    }

    // Bytes up to a terminating 0xFF byte (or the end), at most limit bytes.
    // A NUL byte is kept; callers that need a C text cut at it.
    std::string text(std::size_t limit = 256) {
        std::string out;
        while (size_ > 0 && out.size() < limit) {
            const uint8_t b = byte();
            if (b == 0xFF) break;
            out.push_back(static_cast<char>(b));
        }
        return out;
    }

    // Everything that is left.
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_), size_);
        data_ += size_;
        size_ = 0;
        return out;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
};

// The text a C caller would see: everything before the first NUL.
inline std::string cText(const std::string& bytes) {
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}
