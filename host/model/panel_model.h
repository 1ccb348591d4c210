// Panels as the host draws them, read from panel files (JSON, our own format):
// controls in panel order, each with a kind, a label, text properties and,
// for lists, entries. The optional layout and glyphs only serve the picture.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarn_host {

struct ListEntry {
    std::string text;
    std::string value;  // the details value of the event when the entry is picked
};

struct Control {
    std::string id;
    std::string kind;  // button, list, text, label, indicator or alarm (an unknown kind is read as text)
    std::string label;
    std::vector<std::pair<std::string, std::string>> properties;  // in the order first set
    std::vector<ListEntry> entries;
    // Property that a TP with an empty name sets; empty when there is none.
    std::string defaultProperty;
    // Details a press carries when the scenario gives none.
    std::string command;
    std::string value;

    const std::string* property(const std::string& name) const;
    void setProperty(const std::string& name, const std::string& value);
    // "name=value" lines joined by line feeds, in property order.
    std::string allProperties() const;
    // Index of the entry whose text, or else value, is key.
    std::optional<std::size_t> findEntry(const std::string& key) const;
};

// One cell of a picture row: a control, or a literal text when control is empty.
struct LayoutCell {
    std::string control;
    std::string text;
};

struct Panel {
    std::string id;
    std::string file;
    std::string parameter;
    std::string title;
    std::string hint;  // a line for the operator, shown above the panel in the browser
    std::vector<Control> controls;
    std::vector<std::vector<LayoutCell>> layout;
    std::vector<std::pair<std::string, std::string>> glyphs;  // property value -> drawn as
    // What the file says that this host reads otherwise than written, one line
    // each ("FILE: /controls/2/kind: unknown kind ..., drawn as text").
    std::vector<std::string> warnings;

    Control* control(const std::string& id);
    const Control* control(const std::string& id) const;
    // Control ids beginning with prefix, in panel order, joined by ",".
    std::string listIds(const std::string& prefix) const;
    const std::string& glyph(const std::string& value) const;

    static bool load(const std::string& path, Panel& panel, std::string& error);
    static bool parse(const std::string& text, const std::string& fileName, Panel& panel, std::string& error);
};

}  // namespace zarn_host
