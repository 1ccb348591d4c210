// The panel file loader: what it refuses, with which one-line diagnostic, and
// that every panel file this project ships loads and draws.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/panel_model.h"
#include "model/renderer.h"

using namespace zarn_host;

namespace {

// One control in an otherwise valid file.
std::string withControl(const std::string& control) {
    return "{\"controls\": [" + control + "]}";
}

TEST(panel_file, refusals_name_the_file_the_json_path_and_what_was_expected) {
    struct Case {
        std::string text;
        const char* error;  // the whole diagnostic
    } cases[] = {
        // Unknown keys, at every level.
        {R"({"controls": [], "colour": "red"})",
         "p.zarn_ui: /colour: unknown key (expected $schema, comment, title, hint, glyphs, controls or layout)"},
        {withControl(R"({"id": "a", "lable": "A"})"),
         "p.zarn_ui: /controls/0/lable: unknown key (expected id, kind, label, properties, entries, command, value, "
         "comment or defaultProperty)"},
        {withControl(R"({"id": "l", "kind": "list", "entries": [{"text": "x", "value": "1", "colour": "red"}]})"),
         "p.zarn_ui: /controls/0/entries/0/colour: unknown key (expected text or value)"},
        {R"({"controls": [{"id": "a"}], "layout": [[{"text": "x", "width": 3}]]})",
         "p.zarn_ui: /layout/0/0/width: unknown key (expected text)"},
        {withControl("{\"id\": \"a\", \"line\\nbreak\": 1}"),
         "p.zarn_ui: /controls/0/line\\nbreak: unknown key (expected id, kind, label, properties, entries, command, "
         "value, comment or defaultProperty)"},
        // Wrong types: texts may be strings or integers, nothing else.
        {R"({"title": true, "controls": []})", "p.zarn_ui: /title: expected a text"},
        {R"({"controls": {}})", "p.zarn_ui: /controls: expected an array"},
        {R"({"controls": ["a"]})", "p.zarn_ui: /controls/0: expected an object"},
        {withControl(R"({"id": "a", "label": 1.5})"), "p.zarn_ui: /controls/0/label: expected a text"},
        {withControl(R"({"id": "a", "properties": {"text": ["x"]}})"),
         "p.zarn_ui: /controls/0/properties/text: expected a text"},
        {withControl(R"({"id": "a", "properties": []})"), "p.zarn_ui: /controls/0/properties: expected an object"},
        {R"({"controls": [], "glyphs": {"red": null}})", "p.zarn_ui: /glyphs/red: expected a text"},
        {R"({"controls": [], "layout": {}})", "p.zarn_ui: /layout: expected an array"},
        {R"({"controls": [{"id": "a"}], "layout": [[true]]})",
         "p.zarn_ui: /layout/0/0: expected a control id or {\"text\": ...}"},
        {R"({"$schema": 7.5, "controls": []})", "p.zarn_ui: /$schema: expected a text"},
        // Bad entries.
        {withControl(R"({"id": "l", "kind": "list", "entries": {}})"),
         "p.zarn_ui: /controls/0/entries: expected an array"},
        {withControl(R"({"id": "l", "kind": "list", "entries": ["Cam 1"]})"),
         "p.zarn_ui: /controls/0/entries/0: expected an object"},
        {withControl(R"({"id": "l", "kind": "list", "entries": [{"text": "Cam 1"}]})"),
         "p.zarn_ui: /controls/0/entries/0: an entry needs \"text\" and \"value\""},
        {withControl(R"({"id": "l", "kind": "list", "entries": [{"text": "Cam 1", "value": false}]})"),
         "p.zarn_ui: /controls/0/entries/0/value: expected a text"},
        {withControl(R"({"id": "b", "entries": []})"),
         "p.zarn_ui: /controls/0/entries: entries on a button, not a list"},
    };
    for (const auto& c : cases) {
        Panel p;
        std::string error;
        EXPECT_FALSE(Panel::parse(c.text, "p.zarn_ui", p, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

// Files of the first format took any kind: they load, the kind read as text,
// with one warning a control; what cannot be read is still refused whole.
TEST(panel_file, an_unknown_kind_is_drawn_as_text_with_a_warning) {
    struct Case {
        const char* controls;
        std::vector<std::string> warnings;
    } cases[] = {
        {R"({"id": "Tally_1", "kind": "tally", "properties": {"text": "Cam 1"}})",
         {"p.zarn_ui: /controls/0/kind: unknown kind \"tally\", drawn as text (expected button, list, text, label, "
          "indicator or alarm)"}},
        {R"({"id": "a", "kind": "Button"}, {"id": "b"}, {"id": "c", "kind": "dial"})",
         {"p.zarn_ui: /controls/0/kind: unknown kind \"Button\", drawn as text (expected button, list, text, label, "
          "indicator or alarm)",
          "p.zarn_ui: /controls/2/kind: unknown kind \"dial\", drawn as text (expected button, list, text, label, "
          "indicator or alarm)"}},
        {R"({"id": "a", "kind": "button"})", {}},
    };
    for (const auto& c : cases) {
        Panel p;
        std::string error;
        ASSERT_TRUE(Panel::parse(std::string("{\"controls\": [") + c.controls + "]}", "p.zarn_ui", p, error)) << error;
        EXPECT_EQ(p.warnings, c.warnings) << c.controls;
        for (const auto& control : p.controls) {
            EXPECT_TRUE(control.kind == "text" || control.kind == "button") << control.kind;
        }
    }
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(withControl(R"({"id": "T", "kind": "tally", "properties": {"text": "Cam 1"}})"),
                             "p.zarn_ui", p, error));
    EXPECT_NE(renderPanel(p).find("T: Cam 1"), std::string::npos) << renderPanel(p);
    // Entries on what is read as a text are still refused.
    EXPECT_FALSE(Panel::parse(withControl(R"({"id": "T", "kind": "tally", "entries": []})"), "p.zarn_ui", p, error));
    EXPECT_EQ(error, "p.zarn_ui: /controls/0/entries: entries on a text, not a list");
}

TEST(panel_file, every_key_and_integers_as_texts_are_taken) {
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(
        R"({"$schema": "zarn_ui.schema.json", "comment": "c", "title": 7, "hint": "h", "glyphs": {"": "[ ]"},
        "controls": [{"id": "a", "kind": "button", "label": "", "properties": {"pixmap": ""}, "comment": "c",
                      "defaultProperty": "pixmap", "command": "c", "value": 2},
                     {"id": 5, "kind": "list", "label": 1, "entries": [{"text": "Cam 1", "value": 11}]}],
        "layout": [["a", {"text": ""}, 5]]})",
        "p.zarn_ui", p, error))
        << error;
    EXPECT_EQ(p.title, "7");
    EXPECT_EQ(p.hint, "h");
    ASSERT_EQ(p.controls.size(), 2u);
    EXPECT_EQ(p.controls[0].value, "2");
    EXPECT_EQ(p.controls[1].id, "5");
    EXPECT_EQ(p.controls[1].label, "1");
    EXPECT_EQ(p.controls[1].entries[0].value, "11");
    ASSERT_EQ(p.layout.size(), 1u);
    EXPECT_EQ(p.layout[0][2].control, "5");
}

TEST(panel_file, a_refused_file_leaves_the_panel_as_it_was) {
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(R"({"title": "Old", "controls": [{"id": "a"}]})", "p.zarn_ui", p, error)) << error;
    EXPECT_FALSE(Panel::parse(withControl(R"({"id": "b", "kind": 1.5})"), "p.zarn_ui", p, error));
    EXPECT_EQ(p.title, "Old");
    ASSERT_EQ(p.controls.size(), 1u);
    EXPECT_EQ(p.controls[0].id, "a");
}

TEST(panel_file, a_path_from_the_panel_is_shown_on_one_line) {
    Panel p;
    std::string error;
    EXPECT_FALSE(Panel::load("no/such\nfolder/p.zarn_ui", p, error));
    EXPECT_EQ(error, "no/such\\nfolder/p.zarn_ui: cannot open file");
}

TEST(panel_file, every_panel_file_shipped_loads) {
    const char* const files[] = {
        "/host/facilities/k7/k7_mon.zarn_ui",
        "/host/facilities/alarm/alarm_example.zarn_ui",
        "/templates/panel/my_panel.zarn_ui",
        "/tests/sdk/template_1_0/my_panel.zarn_ui",
    };
    for (const char* file : files) {
        Panel p;
        std::string error;
        EXPECT_TRUE(Panel::load(std::string(ZARN_TEST_SOURCE_DIR) + file, p, error)) << error;
        EXPECT_FALSE(p.controls.empty()) << file;
    }
}

// One control of every kind, laid out in a row and left out of it.
TEST(panel_file, the_picture_draws_every_kind) {
    const char* text = R"json({
      "title": "Kinds",
      "glyphs": {"RZ_Tally_Red": "(RED)", "tick.png": "[v]"},
      "controls": [
        {"id": "Take", "kind": "button", "label": "Take", "properties": {"statesheet": "RZ_Tally_Red",
         "pixmap": "tick.png"}},
        {"id": "Lamp", "kind": "indicator", "label": "On air", "properties": {"statesheet": "RZ_Tally_Red"}},
        {"id": "Dark", "kind": "indicator", "label": ""},
        {"id": "Tally", "kind": "text", "label": "Tally", "properties": {"text": "Cam 1"}},
        {"id": "Note", "kind": "label", "label": "", "properties": {"text": "Studio A"}},
        {"id": "alm_psu", "kind": "alarm", "label": "PSU", "properties": {"value": "1", "alarm": "ack"}},
        {"id": "Sources", "kind": "list", "label": "Sources", "properties": {"select": "1"},
         "entries": [{"text": "Cam 1", "value": "1"}, {"text": "Cam 2", "value": 2}]},
        {"id": "Empty", "kind": "list"}
      ],
      "layout": [["Lamp", "Take", {"text": "|"}, "Tally"], ["Note", "alm_psu"], ["Sources"]]
    })json";
    Panel p;
    std::string error;
    ASSERT_TRUE(Panel::parse(text, "p.zarn_ui", p, error)) << error;
    p.id = "1";
    EXPECT_EQ(renderPanel(p),
              "+-- panel 1: Kinds --------------------------------------------------------\n"
              "|  (RED) On air  (RED) [Take] [v]       |  Tally: Cam 1\n"
              "|  Studio A      PSU value=1 alarm=ack\n"
              "|  Sources:\n"
              "|      1 Cam 1  > 2 Cam 2\n"
              "|  ( )\n"
              "|  Empty: (empty)\n"
              "+--------------------------------------------------------------------------\n");
}

}  // namespace
