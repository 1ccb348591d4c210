// decodeZARNString: blank-separated, quote-grouped tokens, split in place.
//
// Tokens are separated by runs of blanks (0x20 only); the quote character
// groups blanks into one token and is removed. At most 32 tokens are kept: the
// scan stops where a 33rd token would begin. Slots without a token point at the
// shared empty text.
#pragma once

#include <cstdint>

class decodeZARNString {
public:
    static constexpr int maxTokens = 32;

    // text may be null. Parses at once.
    decodeZARNString(const char* text, char quote);
    virtual ~decodeZARNString();
    decodeZARNString(const decodeZARNString&) = delete;
    decodeZARNString& operator=(const decodeZARNString&) = delete;

    const char* tokens[maxTokens];
    int32_t tokenCount;  // 0 to 32
    char* buffer;        // owned copy; null for a null or empty input
    char quoteChar;
};
