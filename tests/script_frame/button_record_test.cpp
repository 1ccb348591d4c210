// The button record builder: what the script reads through each form of the
// record, and that its pointers survive the texts it was built from.
#include <gtest/gtest.h>
#include <zarn/button_record.h>
#include <zarn/zarn_script_helper.h>

#include <string>

namespace {

// The record built by a function, the texts it came from gone.
zarn_button_record built(const std::string& panel, const std::string& control) {
    return zarn_button_record(panel + "", control + std::string(40, '!'), "select", {"a", "", "b"}, "12");
}

TEST(button_record, each_form_reads_back_through_the_script_frame) {
    const zarn_button_record bare("1", "Mon_3");
    EXPECT_STREQ(bare.event()->panelId, "1");
    EXPECT_STREQ(bare.event()->controlId, "Mon_3");
    EXPECT_EQ(bare.event()->details, nullptr);

    const zarn_button_record press("2", "Sources", "select", "12");
    const ButtonEventHandle handle(press.event());
    EXPECT_STREQ(handle.panelId(), "2");
    EXPECT_STREQ(handle.controlId(), "Sources");
    EXPECT_STREQ(handle.command(), "select");
    EXPECT_STREQ(handle.value(), "12");
    for (const char* field : press.event()->details->subFields) EXPECT_STREQ(field, "");

    const zarn_button_record record = built("1", "Long");
    const ButtonEventDetails& details = *record.event()->details;
    EXPECT_STREQ(record.event()->controlId, "Long!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!");
    EXPECT_STREQ(details.subFields[0], "a");
    EXPECT_STREQ(details.subFields[1], "");
    EXPECT_STREQ(details.subFields[2], "b");
    EXPECT_STREQ(details.subFields[3], "");
    EXPECT_STREQ(details.value, "12");
}

TEST(button_record, sub_fields_beyond_the_layout_are_dropped) {
    const zarn_button_record record(
        "1", "X", "c",
        {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15", "16",
         "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31", "32", "33"},
        "v");
    EXPECT_STREQ(record.details()->subFields[0], "0");
    EXPECT_STREQ(record.details()->subFields[31], "31");
    EXPECT_STREQ(record.details()->value, "v");
}

}  // namespace
