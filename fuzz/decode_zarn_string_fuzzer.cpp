// decodeZARNString on any text and quote character: at most 32 tokens, every
// slot readable and pointing into the copy or at the shared empty text, the
// tokens put together give the text less its quotes and unquoted blanks, and
// they match a straightforward model of the splitting rules.
#include <zarn/param_command.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decode_zarn_string.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

namespace {

// The rules on a scratch copy: a blank outside quotes and every quote are cut;
// a token begins at the first byte and after every cut, except where a quote
// opens; with 32 tokens the scan stops.
std::vector<std::string> modelTokens(const std::string& text, char quote) {
    std::vector<std::string> tokens;
    if (text.empty()) return tokens;
    std::string copy = text;
    std::vector<std::size_t> starts{0};
    bool quoted = false;
    for (std::size_t i = 0; i < copy.size(); ++i) {
        const bool afterCut = i > 0 && copy[i - 1] == '\0';
        const char byte = copy[i];
        bool begins = afterCut;
        if (!quoted && byte == quote) {
            copy[i] = '\0';
            quoted = true;
            begins = false;
        } else if (!quoted && byte == ' ') {
            copy[i] = '\0';
            begins = false;
        } else if (quoted && byte == quote) {
            copy[i] = '\0';
            quoted = false;
        }
        if (begins) {
            if (starts.size() == decodeZARNString::maxTokens) break;
            starts.push_back(i);
        }
    }
    for (std::size_t start : starts) tokens.emplace_back(copy.c_str() + start);
    return tokens;
}

// The text less every quote and every blank outside quotes.
std::string keptBytes(const std::string& text, char quote) {
    std::string kept;
    bool quoted = false;
    for (char byte : text) {
        if (byte == quote) {
            quoted = !quoted;
        } else if (byte != ' ' || quoted) {
            kept.push_back(byte);
        }
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    // First byte: the quote character ("'" for most inputs, as the only caller
    // uses); 0 there means a null text.
    const uint8_t selector = in.byte();
    const char quote = selector < 0x80 ? '\'' : static_cast<char>(in.byte());
    const std::string text = cText(in.rest());
    const bool nullText = selector == 0;
    const decodeZARNString parsed(nullText ? nullptr : text.c_str(), quote);
    const std::size_t length = nullText ? 0 : text.size();

    FUZZ_CHECK(parsed.quoteChar == quote);
    FUZZ_CHECK(parsed.tokenCount >= 0 && parsed.tokenCount <= decodeZARNString::maxTokens);
    FUZZ_CHECK((parsed.buffer == nullptr) == (length == 0));
    FUZZ_CHECK((parsed.tokenCount == 0) == (length == 0));
    const char* previous = nullptr;
    std::string joined;
    for (int k = 0; k < decodeZARNString::maxTokens; ++k) {
        const char* token = parsed.tokens[k];
        FUZZ_CHECK(token != nullptr);
        if (k >= parsed.tokenCount) {
            FUZZ_CHECK(token == zarn_empty_text);
            continue;
        }
        FUZZ_CHECK(token >= parsed.buffer && token <= parsed.buffer + length);
        FUZZ_CHECK(previous == nullptr || token > previous);
        FUZZ_CHECK(quote == '\0' || std::strchr(token, quote) == nullptr);
        previous = token;
        joined += token;
    }
    if (length == 0) return 0;
    FUZZ_CHECK(parsed.tokens[0] == parsed.buffer);

    const std::string kept = keptBytes(text, quote);
    if (parsed.tokenCount < decodeZARNString::maxTokens) {
        FUZZ_CHECK(joined == kept);
    } else {
        FUZZ_CHECK(kept.compare(0, joined.size(), joined) == 0);
    }

    const std::vector<std::string> model = modelTokens(text, quote);
    FUZZ_CHECK(static_cast<int>(model.size()) == parsed.tokenCount);
    for (int k = 0; k < parsed.tokenCount; ++k) FUZZ_CHECK(model[k] == parsed.tokens[k]);
    return 0;
}
