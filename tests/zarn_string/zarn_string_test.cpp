#include <gtest/gtest.h>
#include <zarn/zarn_string.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

struct IntCase {
    const char* text;
    int value;
};

TEST(zarn_string, toInt_accepts_only_a_whole_decimal_number) {
    const IntCase cases[] = {
        {"", 0},
        {"42", 42},
        {"  -17\t", -17},
        {"+5", 5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"00000000000000000000012", 12},
        {"99999999999999999999999999", 0},
        {"12a", 0},
        {"a12", 0},
        {"1 2", 0},
        {"-", 0},
        {" ", 0},
        {"--1", 0},
        {"0x10", 0},
    };
    for (const IntCase& c : cases) EXPECT_EQ(zarn_string(c.text).toInt(), c.value) << '"' << c.text << '"';
}

TEST(zarn_string, firstInt_reads_the_first_digit_run) {
    const IntCase cases[] = {
        {"Mon_3", 3}, {"ID_12_7", 12}, {"-4", 4}, {"none", 0}, {"", 0}, {"x2147483647", INT_MAX}, {"x2147483648y1", 0},
    };
    for (const IntCase& c : cases) EXPECT_EQ(zarn_string(c.text).firstInt(), c.value) << '"' << c.text << '"';
}

TEST(zarn_string, number_text_pads_and_keeps_sign) {
    EXPECT_EQ(zarn_string(-42, 0, 0, 10), "-42");
    EXPECT_EQ(zarn_string(INT_MIN, 0, 0, 10), "-2147483648");
    EXPECT_EQ(zarn_string(7, 0, 3, 10), "  7");
    EXPECT_EQ(zarn_string(-7, '0', 4, 10), "-007");
    EXPECT_EQ(zarn_string(-7, '*', 4, 10), "**-7");
    EXPECT_EQ(zarn_string(255, 0, 0, 16), "ff");
    EXPECT_EQ(zarn_string(INT_MIN, 0, 0, 2), ("-1" + std::string(31, '0')).c_str());
    EXPECT_EQ(zarn_string(10, 0, 0, 99), "10");
    EXPECT_EQ(zarn_string(1, 'x', UINT_MAX, 10).length(), 1024);
}

TEST(zarn_string, arg_fills_lowest_placeholder_first) {
    struct Case {
        const char* format;
        const char* value;
        const char* result;
    };
    const Case cases[] = {
        {"SD '%1'", "K7 SDI Router", "SD 'K7 SDI Router'"},
        {"%2 %1 %1", "a", "%2 a a"},
        {"%10 %9", "x", "%10 x"},
        {"%123", "x", "x3"},
        {"%0 %%1 %", "x", "%0 %x %"},
        {"no placeholder", "x", "no placeholder"},
        {"%1", "%1", "%1"},
        {"%1%", "", "%"},
        // Formats of four to seven bytes are searched in one word whose
        // halves share bytes: a placeholder there counts once.
        {"%1%1", "ab", "abab"},
        {"%2x%1", "v", "%2xv"},
        {"%1%2%1", "", "%2"},
        {"%%1%%", "v", "%v%%"},
        {"x%1%", "%1", "x%1%"},
    };
    for (const Case& c : cases) EXPECT_EQ(zarn_string(c.format).arg(c.value), c.result) << c.format;
    EXPECT_EQ(zarn_string("RC %1 %2 %3").arg(3).arg(-12).arg(40), "RC 3 -12 40");
}

// Placeholders are searched word by word in short texts and with memchr in
// long ones: every position across those edges, filled in a copy and in place.
TEST(zarn_string, arg_finds_a_placeholder_at_every_position) {
    for (std::size_t size : {2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 48, 127, 128, 129, 200}) {
        for (std::size_t at = 0; at + 2 <= size; ++at) {
            std::string format(size, 'x');
            format.replace(at, 2, "%1");
            if (at >= 2) format.replace(0, 2, "%2");  // a higher number before it
            std::string expected = format;
            expected.replace(at, 2, "value");
            const zarn_string original(format.c_str());
            EXPECT_EQ(original.arg("value"), expected.c_str()) << format;
            EXPECT_EQ(zarn_string(format.c_str()).arg("value"), expected.c_str()) << format;
        }
    }
}

TEST(zarn_string, chains_on_temporaries_match_step_by_step_copies) {
    // Growing, same-size, shrinking and repeated placeholders, numbers and
    // texts; a value holding a placeholder is filled by the next step.
    const zarn_string format("RC %1 %2 %3 ',%4' %5 %1");
    const zarn_string a = format.arg(1001);
    const zarn_string b = a.arg(12);
    const zarn_string c = b.arg(7);
    const zarn_string d = c.arg("%6");
    const zarn_string e = d.arg(zarn_string("Studio A"));
    EXPECT_EQ(format.arg(1001).arg(12).arg(7).arg("%6").arg(zarn_string("Studio A")), e);
    EXPECT_EQ(e, "RC 1001 12 7 ',%6' Studio A 1001");
    EXPECT_EQ(zarn_string(e).arg(-5), "RC 1001 12 7 ',-5' Studio A 1001");
    EXPECT_EQ(zarn_string("%1").arg(INT_MIN).arg(1), "-2147483648");

    const zarn_string property("text");
    const zarn_string value("Studio A programme, clean feed");
    EXPECT_EQ("TP '" + property + "=" + value + "' '" + zarn_string("1") + "'",
              "TP 'text=Studio A programme, clean feed' '1'");
    EXPECT_EQ(zarn_string("a") + nullptr + "b", "ab");
}

// A chain fills its temporary in place: over the placeholder when the value
// is as long or shorter, by growing into the room its first step took
// otherwise, or in a new text when the lowest placeholder occurs more than
// once. Each must give what filling copies step by step gives.
TEST(zarn_string, fills_in_place_match_filled_copies) {
    struct Case {
        const char* format;
        std::vector<const char*> values;
        const char* expected;
    };
    const std::string past32 = std::string(30, '.') + "%1" + std::string(10, '.') + "%2";
    const std::string past32Filled = std::string(40, '.') + "tail";
    const Case cases[] = {
        {"RC %1 %2 %3 ',%4' %5", {"1001", "12", "40", "2", "Studio A"}, "RC 1001 12 40 ',2' Studio A"},
        {"%3%2%1", {"a", "bb", "ccc"}, "cccbba"},
        {"x%10y%9z%10", {"A", "B"}, "xByAzB"},
        {"%1%1 and %2", {"ab", "%1"}, "abab and %1"},
        {"%2 then %1, a text past 16 bytes",
         {"", "a value longer than the room the first step took"},
         "a value longer than the room the first step took then , a text past 16 bytes"},
        {past32.c_str(), {"", "tail"}, past32Filled.c_str()},
        {"%99 %5 %12", {"five", "twelve", "ninety-nine"}, "ninety-nine five twelve"},
    };
    for (const Case& c : cases) {
        zarn_string chain(c.format);
        zarn_string copy(c.format);
        for (const char* value : c.values) {
            chain = std::move(chain).arg(zarn_string(value));
            copy = copy.arg(zarn_string(value));
        }
        EXPECT_EQ(chain, c.expected) << c.format;
        EXPECT_EQ(copy, c.expected) << c.format;
    }
    // A value that is the temporary itself.
    zarn_string self("<%1>");
    self = std::move(self).arg(self);
    EXPECT_EQ(self, "<<%1>>");
}

// The later steps of a chain of + append to its temporary, which may be the
// very text appended, for short texts and for those past the inline buffer.
TEST(zarn_string, a_chain_may_append_its_own_text) {
    for (std::size_t size : {0, 3, 15, 16, 40}) {
        const zarn_string text(std::string(size, 'x').c_str());
        const std::string twice(2 * size, 'x');
        zarn_string a = text;
        EXPECT_EQ(std::move(a) + a.c_str(), twice.c_str()) << size;
        zarn_string b = text;
        EXPECT_EQ(std::move(b) + b, twice.c_str()) << size;
        EXPECT_EQ(text + text + "" + text, (twice + std::string(size, 'x')).c_str()) << size;
    }
}

TEST(zarn_string, args_fills_in_one_pass_without_rescanning) {
    EXPECT_EQ(zarn_string("%3-%1-%3").args({"a", "b"}), "b-a-b");
    EXPECT_EQ(zarn_string("%1 %2").args({"%2", "x"}), "%2 x");
    EXPECT_EQ(zarn_string("%1 %2 %3").args({"a", nullptr}), "a  %3");
    EXPECT_EQ(zarn_string("%1").args({"a", "b", "c"}), "a");
    // Numbers on both sides of 64 take their values in numeric order.
    EXPECT_EQ(zarn_string("%70 %5 %64 %99 %63 %65").args({"a", "b", "c", "d", "e", "f"}), "e a c f b d");
    EXPECT_EQ(zarn_string("%99%98").args({"x"}), "%99x");
}

// The one-pass fill remembers where the first 16 placeholders are and writes
// results up to 256 bytes on the stack: both edges, and the values that must
// arrive as they are.
TEST(zarn_string, args_across_its_limits) {
    const auto times = [](const std::string& text, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += text;
        return out;
    };
    const std::string x254(254, 'x');
    const struct {
        std::string format;
        const char* first;
        const char* second;
        std::string expected;
    } cases[] = {
        {"SD '%1'", "", "unused", "SD ''"},
        {"%1 %2", "%2", "%1", "%2 %1"},
        {"%2%1", nullptr, "b", "b"},
        {times("%1%2", 9), "a", "bb", times("abb", 9)},
        {times("%1%2%3", 6), "a", "b", times("ab%3", 6)},
        {"[%1]", x254.c_str(), "", "[" + x254 + "]"},
        {"[%1]!", x254.c_str(), "", "[" + x254 + "]!"},
        {"%1" + x254 + "%2", "<", ">", "<" + x254 + ">"},
        {"%1" + x254 + "%2", "<", ">>", "<" + x254 + ">>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(zarn_string(c.format.c_str()).args({c.first, c.second})), c.expected) << c.format;
    }
}

// A text taken with a length stops at a NUL, and reads nothing past it: the
// length may be only a bound, longer than the text's buffer.
TEST(zarn_string, a_length_stops_at_the_first_nul) {
    for (std::size_t bound : {4u, 8u, 16u, 100u}) {
        const std::unique_ptr<char[]> exact(new char[4]{'a', 'b', 'c', '\0'});
        EXPECT_EQ(zarn_string(exact.get(), bound), "abc") << bound;
    }
    for (std::size_t nul = 0; nul < 24; ++nul) {
        std::string buffer(24, 'x');
        buffer[nul] = '\0';
        for (std::size_t length = 0; length <= buffer.size(); ++length) {
            const zarn_string text(buffer.data(), length);
            EXPECT_EQ(text.size(), std::min(nul, length)) << "NUL at " << nul << ", length " << length;
        }
    }
}

TEST(zarn_string, split_at_first_separator) {
    zarn_string left("old"), right("old");
    EXPECT_EQ(zarn_string("value=2=3").split('=', left, right), 2);
    EXPECT_EQ(left, "value");
    EXPECT_EQ(right, "2=3");
    EXPECT_EQ(zarn_string("plain").split('=', left, right), 0);
    EXPECT_EQ(left, "plain");
    EXPECT_EQ(right, "");
    zarn_string self("a,b");
    self.split(',', self, right);
    EXPECT_EQ(self, "a");
    EXPECT_EQ(right, "b");
}

// Parts of a text never read past it: every position and count has a defined part.
TEST(zarn_string, mid_and_indexOf_cut_to_the_text) {
    const zarn_string text("Salvo_12");
    struct Case {
        int position;
        int count;
        const char* part;
    } cases[] = {
        {6, -1, "12"}, {0, 5, "Salvo"}, {0, -1, "Salvo_12"},    {-3, 2, "Sa"},       {7, 99, "2"},
        {8, -1, ""},   {9, 1, ""},      {INT_MAX, INT_MAX, ""}, {INT_MIN, 3, "Sal"}, {2, 0, ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(text.mid(c.position, c.count), c.part) << c.position << ", " << c.count;
    EXPECT_STREQ(zarn_string().mid(0), "");
    struct Find {
        char c;
        int from;
        int at;
    } finds[] = {{'_', 0, 5}, {'1', 0, 6}, {'S', 1, -1}, {'2', 7, 7}, {'2', 8, -1}, {'x', 0, -1}, {'S', -5, 0}};
    for (const auto& f : finds) EXPECT_EQ(text.indexOf(f.c, f.from), f.at) << f.c << " from " << f.from;
    // The engineer's case: the number after "Salvo_".
    EXPECT_EQ(text.mid(text.indexOf('_') + 1).toInt(), 12);
    EXPECT_STREQ(zarn_string::number(-12), "-12");
    EXPECT_STREQ(zarn_string::number(INT_MIN), "-2147483648");
    EXPECT_STREQ(zarn_string::number(0), "0");
}

TEST(zarn_string, null_and_self_references_are_safe) {
    const char* none = nullptr;
    zarn_string s(none);
    EXPECT_STREQ(s, "");
    EXPECT_TRUE(s == none);
    s = "abc";
    s += s;
    s += s.c_str() + 4;
    EXPECT_EQ(s, "abcabcbc");
    s = s.c_str() + 3;
    EXPECT_EQ(s, "abcbc");
    EXPECT_EQ(zarn_string("ab\0cd", 5), "ab");
    EXPECT_TRUE(s.startsWith(none));
    EXPECT_FALSE(s.startsWith("abcbcd"));
}

TEST(zarn_string, compares_with_texts_and_numbers) {
    EXPECT_TRUE(zarn_string("1") == 1);
    EXPECT_FALSE(zarn_string("01") == 1);
    EXPECT_TRUE(zarn_string("-2147483648") == INT_MIN);
    EXPECT_TRUE("ab" == zarn_string("ab"));
    EXPECT_TRUE("ab" != zarn_string("Ab"));
    EXPECT_EQ(std::string("x" + zarn_string("y") + "z"), "xyz");
}

}  // namespace
