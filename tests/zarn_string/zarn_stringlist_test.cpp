#include <gtest/gtest.h>
#include <zarn/zarn_stringlist.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> entries(zarn_stringlist& list) {
    std::vector<std::string> out;
    for (zarn_stringlistIterator it = list.begin(); it != list.end(); ++it) out.emplace_back(*it);
    return out;
}

TEST(zarn_stringlist, split_keeps_empty_entries) {
    struct Case {
        const char* text;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {"", {}},
        {"alm_1", {"alm_1"}},
        {"alm_1,alm_2,alm_3", {"alm_1", "alm_2", "alm_3"}},
        {"a,,b", {"a", "", "b"}},
        {",", {"", ""}},
        {"a,", {"a", ""}},
    };
    for (const Case& c : cases) {
        zarn_stringlist list(c.text, ',');
        EXPECT_EQ(entries(list), c.parts) << c.text;
        EXPECT_EQ(list.toString(','), c.text);
    }
}

// Separators are found 16 bytes at a time and counted in runs of up to 255
// blocks: a separator at every place around those edges, against a plain
// search.
TEST(zarn_stringlist, split_finds_separators_across_blocks) {
    const auto model = [](const std::string& text) {
        std::vector<std::string> parts;
        std::size_t from = 0;
        for (std::size_t at; (at = text.find(',', from)) != std::string::npos; from = at + 1) {
            parts.push_back(text.substr(from, at - from));
        }
        parts.push_back(text.substr(from));
        return parts;
    };
    for (std::size_t size : {1, 15, 16, 17, 31, 32, 33, 47, 4079, 4080, 4081, 4096, 8200}) {
        for (std::size_t step : {1, 2, 7, 16, 17, 4080}) {
            std::string text(size, 'x');
            for (std::size_t at = step - 1; at < size; at += step) text[at] = ',';
            zarn_stringlist list(text.c_str(), ',');
            const std::vector<std::string> expected = model(text);
            ASSERT_EQ(list.count(), static_cast<int>(expected.size())) << size << " bytes, every " << step;
            EXPECT_EQ(entries(list), expected) << size << " bytes, every " << step;
        }
    }
}

TEST(zarn_stringlist, toString_joins_without_trailing_separator) {
    zarn_stringlist list;
    EXPECT_EQ(list.toString('\n'), "");
    list << "a"
         << ""
         << "c";
    EXPECT_EQ(list.toString('\n'), "a\n\nc");
    EXPECT_EQ(list.toString('\0'), "ac");
    EXPECT_EQ(list.count(), 3);
}

TEST(zarn_stringlist, at_outside_the_list_gives_empty_text) {
    zarn_stringlist list("x,y", ',');
    EXPECT_EQ(list.at(1), "y");
    EXPECT_EQ(list.at(2), "");
    EXPECT_EQ(list.at(-1), "");
}

TEST(zarn_stringlist, copies_and_moves_are_independent) {
    zarn_stringlist list("x,y", ',');
    zarn_stringlist copy(list);
    copy << "z";
    zarn_stringlist moved(std::move(list));
    EXPECT_EQ(moved.count(), 2);
    EXPECT_EQ(copy.count(), 3);
    EXPECT_TRUE(list.isEmpty());  // NOLINT(bugprone-use-after-move): moved-from list is left empty
}

}  // namespace
