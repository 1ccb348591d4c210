#include "decode_zarn_string.h"

#include <zarn/param_command.h>

#include <cstring>

decodeZARNString::decodeZARNString(const char* text, char quote) : tokenCount(0), buffer(nullptr), quoteChar(quote) {
    for (const char*& token : tokens) token = zarn_empty_text;
    if (!text || !*text) return;

    const std::size_t length = std::strlen(text);
    buffer = new char[length + 1];
    std::memcpy(buffer, text, length + 1);

    // The first token always begins at the first byte, even when that byte is
    // a blank or a quote (the token is then empty). A later token begins at a
    // byte whose predecessor was cut; an empty quoted pair is one empty token.
    int current = 0;
    tokens[0] = buffer;
    bool quoted = false;
    for (std::size_t i = 0; i < length; ++i) {
        const char byte = buffer[i];
        if (byte == quoteChar) {
            buffer[i] = '\0';
            quoted = !quoted;
            // Only a closing quote can begin a token: the empty one of "''".
            if (quoted) continue;
        } else if (byte == ' ' && !quoted) {
            buffer[i] = '\0';
            continue;
        }
        if (i > 0 && buffer[i - 1] == '\0') {
            // The table is full: the rest of the text is left unread.
            if (current + 1 == maxTokens) break;
            tokens[++current] = buffer + i;
        }
    }
    tokenCount = current + 1;
}

decodeZARNString::~decodeZARNString() {
    delete[] buffer;
}
