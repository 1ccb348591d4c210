#include "text/command_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "text/error_line.h"

using zarn_host::parseCommand;
using zarn_host::ParsedCommand;

namespace {

// Arguments rendered as <quoted> or [bare] for compact expectations.
std::string shape(const ParsedCommand& c) {
    std::string s = c.word;
    for (const auto& a : c.args) s += a.quoted ? " <" + a.text + ">" : " [" + a.text + "]";
    return s;
}

TEST(command_text, valid_commands_split_into_word_and_arguments) {
    struct Case {
        const char* text;
        std::size_t expected;
        const char* shape;
    } cases[] = {
        {"AS", 0, "AS"},
        {"SD 'K7 SDI Router'", 1, "SD <K7 SDI Router>"},
        {"RC 3 12 40 ',' 0", 5, "RC [3] [12] [40] <,> [0]"},
        {"RR 5 20 20 'ADD'", 0, "RR [5] [20] [20] <ADD>"},
        {"ET 1", 0, "ET [1]"},
        {"TP '=/images/SmallTick.png' '1' 'VidLevel'", 3, "TP <=/images/SmallTick.png> <1> <VidLevel>"},
        // A quote inside an argument is not escaped; only "' " or a final quote close it.
        {"TP 'text=it's' '1' 'X'", 3, "TP <text=it's> <1> <X>"},
        {"TP 'text='' '1' 'X'", 3, "TP <text='> <1> <X>"},
        {"XI '' ''", 2, "XI <> <>"},
        // With a known argument count the first text may even hold "' ".
        {"TP 'text=a' b' '1' 'X'", 3, "TP <text=a' b> <1> <X>"},
        {"TP 'text=a' 'b' '1' 'X'", 3, "TP <text=a' 'b> <1> <X>"},
    };
    for (const auto& c : cases) {
        ParsedCommand parsed;
        std::string error;
        EXPECT_TRUE(parseCommand(c.text, parsed, error, c.expected)) << c.text << ": " << error;
        EXPECT_EQ(shape(parsed), c.shape) << c.text;
    }
}

TEST(command_text, malformed_commands_are_refused_with_a_reason) {
    const char* cases[] = {
        "", "S", "sd 'x'", "SDX 'x'", "SD  'x'", "SD 'x' ", "SD 'x", "SD x'y", "RC 1 2' 3",
    };
    for (const char* text : cases) {
        ParsedCommand parsed;
        std::string error;
        EXPECT_FALSE(parseCommand(text, parsed, error)) << "\"" << text << "\" parsed as " << shape(parsed);
        EXPECT_FALSE(error.empty()) << text;
    }
    // A fixed count that no split can meet is refused too.
    ParsedCommand parsed;
    std::string error;
    EXPECT_FALSE(parseCommand("TP 'a=1' '1'", parsed, error, 3));
    EXPECT_NE(error.find("expected 3 arguments"), std::string::npos) << error;
}

TEST(command_text, int32_parsing_checks_range_and_form) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"-1", true, -1},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"99999999999", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"+1", false, 0},
        {"1a", false, 0},
        {" 1", false, 0},
        {"000000000001", false, 0},
        {"-0", true, 0},
        {"007", true, 7},
        {"00000000007", true, 7},
        {"-02147483648", true, INT32_MIN},
        {"-2147483649", false, 0},
        {"4294967296", false, 0},
        {"-99999999999", false, 0},
        {"123456789012", false, 0},
        {"--1", false, 0},
        {"-+1", false, 0},
        {"1 ", false, 0},
        {"\t1", false, 0},
        {"1 2", false, 0},
        {"1.0", false, 0},
        {"0x10", false, 0},
    };
    for (const auto& c : cases) {
        int32_t v = 55;
        EXPECT_EQ(zarn_host::parseInt32(c.text, v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 55) << c.text;  // a refused text leaves the value alone
    }
}

TEST(command_text, printable_keeps_one_line_and_bounds_length) {
    EXPECT_EQ(zarn_host::printable("a\nb\x01"), "a\\nb\\x01");
    EXPECT_EQ(zarn_host::printable(std::string(10, 'x'), 4), "xxxx...(10 bytes)");
}

// The one name a path is shown by, the same on every system.
TEST(command_text, a_shown_file_name_is_the_part_after_the_last_separator) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/op/k7/k7_mon.zarn_ui", "k7_mon.zarn_ui"},
        {"C:\\panels\\k7.dll", "k7.dll"},
        {"C:\\panels/mixed\\k7.dll", "k7.dll"},
        {"k7.so", "k7.so"},
        {"panels/", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(zarn_host::shownFileName(c.first), c.second) << c.first;
}

}  // namespace

// Lines two threads write to one stream come out whole, each once.
TEST(error_line, lines_from_two_threads_never_mix) {
    std::ostringstream out;
    auto writer = [&out](char mark) {
        for (int i = 0; i < 2000; ++i) zarn_host::errorLine(out, std::string(40 + i % 7, mark) + std::to_string(i));
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(out.str());
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        ASSERT_FALSE(line.empty());
        const char mark = line[0];
        const std::size_t digits = line.find_first_of("0123456789");
        ASSERT_NE(digits, std::string::npos) << line;
        EXPECT_EQ(line.find_first_not_of(mark), digits) << line;
        EXPECT_EQ(digits, 40u + static_cast<std::size_t>(std::stoi(line.substr(digits))) % 7) << line;
    }
    EXPECT_EQ(lines, 4000);
}
