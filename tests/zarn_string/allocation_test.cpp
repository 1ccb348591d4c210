// Counts heap allocations of the texts panels build: a chain of arg or of +
// allocates once, when its text outgrows the string's inline buffer, however
// many steps it has, and a text that fits that buffer not at all.
#include <gtest/gtest.h>
#include <zarn/zarn_string.h>
#include <zarn/zarn_stringlist.h>

#include <functional>
#include <string>

#include "support/counting_allocator.h"

namespace {

TEST(allocation, a_chain_allocates_once_at_most) {
    // Inputs built outside the count: every one fits the inline buffer but
    // the 16-byte instance name.
    const zarn_string crosspoint("RC %1 %2 %3 ',%4' %5");
    const zarn_string salvo("Studio A");
    const zarn_string instance("K7 Package Names");
    const zarn_string property("text"), value("Studio A PGM"), panel("1"), control("Vidtally_1");
    const struct {
        const char* what;
        std::function<zarn_string()> build;
        const char* text;
        int allocations;
    } cases[] = {
        {"arg chain", [&] { return crosspoint.arg(1001).arg(12).arg(40).arg(2).arg(salvo); },
         "RC 1001 12 40 ',2' Studio A", 1},
        {"concatenation", [&] { return "TP '" + property + "=" + value + "' '" + panel + "' '" + control + "'"; },
         "TP 'text=Studio A PGM' '1' 'Vidtally_1'", 1},
        {"one text", [&] { return zarn_string("SD '%1'").arg(instance); }, "SD 'K7 Package Names'", 1},
        {"short numbers", [&] { return zarn_string("RR %1 %2").arg(201).arg(-40); }, "RR 201 -40", 0},
        {"short concatenation", [&] { return "ID_" + panel + "_" + panel; }, "ID_1_1", 0},
        {"repeated placeholder", [&] { return zarn_string("%1 %1 %2 %1").arg(salvo).arg(panel); },
         "Studio A Studio A 1 Studio A", 1},
    };
    for (const auto& c : cases) {
        counting_allocator::Scope scope;
        const zarn_string text = c.build();
        EXPECT_EQ(scope.count(), c.allocations) << c.what;
        EXPECT_EQ(text, c.text) << c.what;
    }
}

// A list is cut with its entries counted first: one allocation for all of
// them, however many separators there are, plus one per entry too long for
// the inline buffer.
TEST(allocation, a_split_allocates_its_entries_once) {
    const struct {
        std::string text;
        int allocations;
    } cases[] = {
        {std::string(8200, ','), 1},
        {"alm_1,alm_2,alm_3", 1},
        {std::string(40, 'x') + "," + std::string(4000, ','), 2},
    };
    for (const auto& c : cases) {
        const zarn_string text(c.text.c_str());
        counting_allocator::Scope scope;
        const zarn_stringlist list(text, ',');
        EXPECT_EQ(scope.count(), c.allocations) << c.text.substr(0, 20);
    }
}

}  // namespace
