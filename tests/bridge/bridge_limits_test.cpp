// The bridges' limits are one table (runtime/limits.h): docs/BRIDGES.md's
// table is that table, host/README.md sends the reader there, and neither
// quotes an old value of its own.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "bridges/runtime/limits.h"

namespace zarn_host::bridges {
namespace {

std::string fileText(const char* path) {
    std::ifstream in(std::string(ZARN_TEST_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The rows of the table under header, one a line.
std::string table(const std::string& text, const std::string& header) {
    std::istringstream in(text);
    std::string rows;
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line == header) {
            inTable = true;
        } else if (inTable && line.rfind("|---", 0) != 0) {
            if (line.rfind("| ", 0) != 0) break;
            rows += line + "\n";
        }
    }
    return rows;
}

TEST(bridge_limits, the_documents_give_the_tables_values) {
    const std::string bridges = fileText("docs/BRIDGES.md");
    EXPECT_EQ(table(bridges, "| limit | value | meaning |"), limits::tableMarkdown())
        << "docs/BRIDGES.md's limits table should read:\n"
        << limits::tableMarkdown();
    const std::string readme = fileText("host/README.md");
    EXPECT_NE(readme.find("limits.bridges"), std::string::npos) << "host/README.md should name the state's limits";
    // Values the documents once wrote out themselves.
    for (const char* stale : {"At most 64 controllers", "At most 64 consumers", "reconnects every 2 s",
                              "250 ms\n  doubling to 5 s", "doubling to 5 s"}) {
        EXPECT_EQ(bridges.find(stale), std::string::npos) << stale;
        EXPECT_EQ(readme.find(stale), std::string::npos) << stale;
    }
}

TEST(bridge_limits, keys_are_unique_and_values_positive) {
    std::set<std::string> keys;
    for (const limits::Row& row : limits::table()) {
        EXPECT_TRUE(keys.insert(row.key).second) << row.key;
        EXPECT_GT(row.value, 0) << row.key;
        EXPECT_NE(std::string(row.meaning), "") << row.key;
    }
}

}  // namespace
}  // namespace zarn_host::bridges
