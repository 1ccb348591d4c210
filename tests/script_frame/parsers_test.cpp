#include <gtest/gtest.h>
#include <zarn/param_command.h>
#include <zarn/zarn_script_helper.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "decode_zarn_string.h"
#include "frame_internal.h"

namespace {

using Texts = std::vector<std::string>;

// Every filled pointer lies inside the copy; every other slot is the shared
// empty text, never null.
template <std::size_t N>
void expectSlots(const char* const (&slots)[N], int used, const char* buffer, std::size_t size) {
    for (int i = 0; i < static_cast<int>(N); ++i) {
        if (i < used) {
            EXPECT_TRUE(slots[i] >= buffer && slots[i] <= buffer + size) << "slot " << i;
        } else {
            EXPECT_EQ(slots[i], zarn_empty_text) << "slot " << i;
        }
    }
}

struct ParamCase {
    const char* input;
    const char* command;
    Texts subFields;
    bool hasValue;
    const char* value;
};

TEST(param_command, splits_command_sub_fields_and_value) {
    const ParamCase cases[] = {
        {"abc", "abc", {}, false, ""},
        {"a.b.c=d.e", "a", {"b", "c"}, true, "d.e"},
        {"a=b=c", "a", {}, true, "b=c"},
        {"=x", "", {}, true, "x"},
        {".x", "", {"x"}, false, ""},
        {"a=", "a", {}, true, ""},
        {"a.", "a", {""}, false, ""},
        {"a..b", "a", {"", "b"}, false, ""},
        {"return=myParam", "return", {}, true, "myParam"},
        {"a b.'c d'=e f", "a b", {"'c d'"}, true, "e f"},
    };
    for (const ParamCase& c : cases) {
        SCOPED_TRACE(c.input);
        const ParamCommand parsed(c.input);
        ASSERT_NE(parsed.buffer, nullptr);
        EXPECT_NE(parsed.buffer, c.input);
        EXPECT_EQ(parsed.command, parsed.buffer);
        EXPECT_STREQ(parsed.command, c.command);
        ASSERT_EQ(parsed.subFieldCount, static_cast<int>(c.subFields.size()));
        for (std::size_t i = 0; i < c.subFields.size(); ++i) EXPECT_EQ(parsed.subFields[i], c.subFields[i]);
        expectSlots(parsed.subFields, parsed.subFieldCount, parsed.buffer, std::strlen(c.input));
        EXPECT_EQ(parsed.hasValue, c.hasValue);
        EXPECT_STREQ(parsed.value, c.value);
        if (!c.hasValue) {
            EXPECT_EQ(parsed.value, zarn_empty_text);
        }
    }
}

TEST(parsers, null_and_empty_texts_have_no_buffer) {
    for (const char* input : {static_cast<const char*>(nullptr), ""}) {
        const ParamCommand parsed(input);
        EXPECT_EQ(parsed.buffer, nullptr);
        EXPECT_EQ(parsed.command, zarn_empty_text);
        EXPECT_EQ(parsed.value, zarn_empty_text);
        EXPECT_EQ(parsed.subFieldCount, 0);
        EXPECT_FALSE(parsed.hasValue);
        expectSlots(parsed.subFields, 0, nullptr, 0);
        const decodeZARNString decoded(input, '\'');
        EXPECT_EQ(decoded.buffer, nullptr);
        EXPECT_EQ(decoded.tokenCount, 0);
        expectSlots(decoded.tokens, 0, nullptr, 0);
    }
}

std::string dottedFields(int count) {
    std::string text = "c";
    for (int i = 0; i < count; ++i) text += ".s" + std::to_string(i);
    return text + "=v";
}

TEST(param_command, keeps_at_most_32_sub_fields) {
    struct {
        int fields;
        int count;
        const char* last;
        bool hasValue;
    } const cases[] = {
        {31, 31, "s30", true},
        {32, 32, "s31=v", false},
        {33, 32, "s31.s32=v", false},
        {40, 32, "s31.s32.s33.s34.s35.s36.s37.s38.s39=v", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        const std::string text = dottedFields(c.fields);
        const ParamCommand parsed(text.c_str());
        EXPECT_STREQ(parsed.command, "c");
        ASSERT_EQ(parsed.subFieldCount, c.count);
        EXPECT_STREQ(parsed.subFields[0], "s0");
        EXPECT_STREQ(parsed.subFields[c.count - 1], c.last);
        EXPECT_EQ(parsed.hasValue, c.hasValue);
        EXPECT_STREQ(parsed.value, c.hasValue ? "v" : "");
    }
}

struct TokenCase {
    const char* input;
    Texts tokens;
};

TEST(decode_zarn_string, splits_blank_separated_quoted_tokens) {
    const TokenCase cases[] = {
        {"1234 0", {"1234", "0"}},
        {"abc", {"abc"}},
        {"a  b", {"a", "b"}},
        {"a ", {"a"}},
        {" abc", {"", "abc"}},
        {"'abc'", {"", "abc"}},
        {"x 'y z' w", {"x", "y z", "w"}},
        {"a '' b", {"a", "", "b"}},
        {"a''b", {"a", "", "b"}},
        {"ab'cd'", {"ab", "cd"}},
        {"'a'b", {"", "a", "b"}},
        {"'a''b'", {"", "a", "b"}},
        {"' x'", {"", " x"}},
        {"''", {"", ""}},
        {"'abc", {"", "abc"}},
        {"   ", {""}},
        {"x\ty", {"x\ty"}},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.input);
        const decodeZARNString decoded(c.input, '\'');
        EXPECT_EQ(decoded.quoteChar, '\'');
        ASSERT_NE(decoded.buffer, nullptr);
        EXPECT_EQ(decoded.tokens[0], decoded.buffer);
        ASSERT_EQ(decoded.tokenCount, static_cast<int>(c.tokens.size()));
        for (std::size_t i = 0; i < c.tokens.size(); ++i) EXPECT_EQ(decoded.tokens[i], c.tokens[i]) << i;
        expectSlots(decoded.tokens, decoded.tokenCount, decoded.buffer, std::strlen(c.input));
    }
}

TEST(decode_zarn_string, another_quote_character_groups_instead) {
    const decodeZARNString decoded("a \"b c\" 'd", '"');
    ASSERT_EQ(decoded.tokenCount, 3);
    EXPECT_STREQ(decoded.tokens[1], "b c");
    EXPECT_STREQ(decoded.tokens[2], "'d");
}

TEST(decode_zarn_string, stops_where_a_33rd_token_would_begin) {
    for (int words : {31, 32, 33, 50}) {
        SCOPED_TRACE(words);
        std::string text;
        for (int i = 0; i < words; ++i) text += (i ? " w" : "w") + std::to_string(i);
        const decodeZARNString decoded(text.c_str(), '\'');
        const int kept = words < 32 ? words : 32;
        ASSERT_EQ(decoded.tokenCount, kept);
        for (int i = 0; i < kept; ++i) EXPECT_EQ(decoded.tokens[i], "w" + std::to_string(i));
        expectSlots(decoded.tokens, kept, decoded.buffer, text.size());
    }
    // An empty quoted pair counts as a token too.
    std::string text;
    for (int i = 0; i < 32; ++i) text += "'' ";
    const decodeZARNString decoded(text.c_str(), '\'');
    EXPECT_EQ(decoded.tokenCount, 32);
}

TEST(read_leading_int, reads_like_atoi_without_overflow) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"1234", 1234},
        {"  -12abc", -12},
        {"\t\n+7", 7},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"99999999999999999999999", 0},
        {"", 0},
        {"-", 0},
        {"abc", 0},
        {"- 5", 0},
        {nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "<null>");
        EXPECT_EQ(zarn::readLeadingInt(c.text), c.value);
    }
}

TEST(record_handles, read_null_records_and_null_texts_as_empty) {
    const ButtonEventHandle noButton(nullptr);
    EXPECT_STREQ(noButton.panelId(), "");
    EXPECT_STREQ(noButton.controlId(), "");
    EXPECT_STREQ(noButton.command(), "");
    EXPECT_STREQ(noButton.value(), "");
    const RevertiveEventHandle noRevertive(nullptr);
    EXPECT_EQ(noRevertive.device(), 0);
    EXPECT_EQ(noRevertive.index(), 0);
    EXPECT_STREQ(noRevertive.text(), "");
    EXPECT_STREQ(ParamCommandHandle(nullptr).command(), "");
    EXPECT_STREQ(ParamCommandHandle(nullptr).value(), "");
}

}  // namespace
