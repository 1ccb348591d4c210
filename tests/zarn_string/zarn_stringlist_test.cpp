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
