// zarn_host's command line is defined once; the README's tables and the man
// page are made from it (the man page by the build, the tables by hand, held
// here to the definitions).
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// The rows of the README table under header, one a line.
std::string readmeTable(const std::string& header) {
    std::ifstream readme(ZARN_TEST_SOURCE_DIR "/host/README.md");
    std::string rows;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line == header) {
            inTable = true;
        } else if (inTable && line.rfind("|---", 0) != 0) {
            if (line.rfind("| ", 0) != 0) break;
            rows += line + "\n";
        }
    }
    return rows;
}

TEST(command_line, the_readmes_tables_are_the_programs_definitions) {
    EXPECT_EQ(readmeTable("| option | meaning |"), zarn_host::optionTableMarkdown())
        << "host/README.md's option table should read:\n"
        << zarn_host::optionTableMarkdown();
    EXPECT_EQ(readmeTable("| exit status | meaning |"), zarn_host::exitStatusTableMarkdown())
        << "host/README.md's exit status table should read:\n"
        << zarn_host::exitStatusTableMarkdown();
}

TEST(command_line, the_man_page_gets_every_option_command_and_status_in_roff) {
    std::ifstream in(ZARN_TEST_SOURCE_DIR "/docs/zarn_host.1.in");
    std::string manTemplate((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(manTemplate.empty());
    std::string page = zarn_host::manPage(manTemplate, "9.8.7");
    EXPECT_EQ(page.find('@'), std::string::npos) << "a placeholder was left";
    for (const char* expected :
         {"\"zarn_host 9.8.7\"", ".B \\-\\-allow\\-remote\n", ".B \\-\\-crash\\-dir \\fIDIR\\fR\n",
          ".B \\-\\-step\\-timeout \\fIS\\fR\n", "[\\fB\\-\\-serve\\fR \\fI[HOST:]PORT\\fR]\n",
          "\\fB\\-\\-panel\\fR \\fILIB\\fR\n", ".B zarn_host new\\-panel\nNAME [DIR]\n",
          ".B zarn_host validate\nLIB [options]\n", ".TP\n.B 3\nthe panel crashed"}) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    }
    // The hidden worker option is the supervisor's, not the user's.
    EXPECT_EQ(page.find("worker"), std::string::npos);
}

}  // namespace
