#include "model/panel_model.h"

#include "model/json_input.h"
#include "text/command_text.h"

namespace zarn_host {
namespace {

// The panel file's vocabulary. A file naming anything else is refused, so a
// misspelt key or kind shows at load time instead of as a control that
// silently never draws.
const char* const panelKeys[] = {"$schema", "comment", "title", "hint", "glyphs", "controls", "layout"};
const char* const controlKeys[] = {"id",      "kind",  "label",   "properties",     "entries",
                                   "command", "value", "comment", "defaultProperty"};
const char* const entryKeys[] = {"text", "value"};
const char* const cellKeys[] = {"text"};
const char* const controlKinds[] = {"button", "list", "text", "label", "indicator", "alarm"};

template <std::size_t N>
bool oneOf(const std::string& word, const char* const (&words)[N]) {
    for (const char* w : words) {
        if (word == w) return true;
    }
    return false;
}

// "a, b or c"
template <std::size_t N>
std::string alternatives(const char* const (&words)[N]) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) out += i + 1 == N ? " or " : ", ";
        out += words[i];
    }
    return out;
}

// A JSON path step for a key as the file spells it, kept to one short line.
std::string step(const std::string& key) {
    return "/" + printable(key, 40);
}

template <std::size_t N>
void requireKnownKeys(const nlohmann::ordered_json& object, const std::string& path, const char* const (&keys)[N]) {
    for (const auto& item : object.items()) {
        if (!oneOf(item.key(), keys)) {
            throw JsonContentError(path + step(item.key()), "unknown key (expected " + alternatives(keys) + ")");
        }
    }
}

// Text values: strings, and integers read as their decimal text.
std::string textAt(const nlohmann::ordered_json& object, const char* key, const std::string& path) {
    return requireText(object[key], path + "/" + key);
}

}  // namespace

const std::string* Control::property(const std::string& name) const {
    for (const auto& p : properties) {
        if (p.first == name) return &p.second;
    }
    return nullptr;
}

void Control::setProperty(const std::string& name, const std::string& newValue) {
    for (auto& p : properties) {
        if (p.first == name) {
            p.second = newValue;
            return;
        }
    }
    properties.emplace_back(name, newValue);
}

std::string Control::allProperties() const {
    std::string all;
    for (const auto& p : properties) {
        if (!all.empty()) all += '\n';
        all += p.first + "=" + p.second;
    }
    return all;
}

std::optional<std::size_t> Control::findEntry(const std::string& key) const {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].text == key) return i;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].value == key) return i;
    }
    return std::nullopt;
}

Control* Panel::control(const std::string& controlId) {
    for (auto& c : controls) {
        if (c.id == controlId) return &c;
    }
    return nullptr;
}

const Control* Panel::control(const std::string& controlId) const {
    for (const auto& c : controls) {
        if (c.id == controlId) return &c;
    }
    return nullptr;
}

std::string Panel::listIds(const std::string& prefix) const {
    std::string ids;
    for (const auto& c : controls) {
        if (c.id.compare(0, prefix.size(), prefix) != 0) continue;
        if (!ids.empty()) ids += ',';
        ids += c.id;
    }
    return ids;
}

const std::string& Panel::glyph(const std::string& value) const {
    for (const auto& g : glyphs) {
        if (g.first == value) return g.second;
    }
    return value;
}

bool Panel::load(const std::string& path, Panel& panel, std::string& error) {
    // The path comes from the panel's PS command: shown escaped, on one line.
    const std::string shown = printable(path, 200);
    std::string text;
    if (!readTextFile(path, text, error)) {
        if (error.compare(0, path.size(), path) == 0) error = shown + error.substr(path.size());
        return false;
    }
    return parse(text, shown, panel, error);
}

bool Panel::parse(const std::string& text, const std::string& fileName, Panel& panel, std::string& error) {
    Panel p;
    bool read = readJsonDocument(
        text, fileName,
        [&](nlohmann::ordered_json& root) {
            requireObject(root, "/");
            requireKnownKeys(root, "", panelKeys);
            if (root.contains("$schema")) textAt(root, "$schema", "");
            if (root.contains("comment")) textAt(root, "comment", "");
            if (root.contains("title")) p.title = textAt(root, "title", "");
            if (root.contains("hint")) p.hint = textAt(root, "hint", "");
            if (!root.contains("controls")) throw JsonContentError("/", "missing \"controls\"");
            const auto& list = requireArray(root["controls"], "/controls");
            for (std::size_t i = 0; i < list.size(); ++i) {
                std::string path = "/controls/" + std::to_string(i);
                const auto& item = requireObject(list[i], path);
                requireKnownKeys(item, path, controlKeys);
                Control c;
                if (!item.contains("id")) throw JsonContentError(path, "missing \"id\"");
                c.id = textAt(item, "id", path);
                if (c.id.empty()) throw JsonContentError(path + "/id", "empty control id");
                // Control ids travel in comma-separated XI replies.
                if (c.id.find(',') != std::string::npos) throw JsonContentError(path + "/id", "comma in control id");
                if (p.control(c.id)) {
                    throw JsonContentError(path + "/id", "control \"" + printable(c.id, 40) + "\" listed twice");
                }
                c.kind = item.contains("kind") ? textAt(item, "kind", path) : "button";
                if (!oneOf(c.kind, controlKinds)) {
                    // Files of the first format took any kind and drew it as
                    // text; they keep loading, with a warning to change them.
                    p.warnings.push_back(fileName + ": " + path + "/kind: unknown kind \"" + printable(c.kind, 40) +
                                         "\", drawn as text (expected " + alternatives(controlKinds) + ")");
                    c.kind = "text";
                }
                c.label = item.contains("label") ? textAt(item, "label", path) : c.id;
                if (item.contains("comment")) textAt(item, "comment", path);
                if (item.contains("defaultProperty")) c.defaultProperty = textAt(item, "defaultProperty", path);
                if (item.contains("command")) c.command = textAt(item, "command", path);
                if (item.contains("value")) c.value = textAt(item, "value", path);
                if (item.contains("properties")) {
                    for (const auto& prop : requireObject(item["properties"], path + "/properties").items()) {
                        c.setProperty(prop.key(), requireText(prop.value(), path + "/properties" + step(prop.key())));
                    }
                }
                if (item.contains("entries")) {
                    const auto& entries = requireArray(item["entries"], path + "/entries");
                    for (std::size_t k = 0; k < entries.size(); ++k) {
                        std::string entryPath = path + "/entries/" + std::to_string(k);
                        const auto& e = requireObject(entries[k], entryPath);
                        requireKnownKeys(e, entryPath, entryKeys);
                        if (!e.contains("text") || !e.contains("value")) {
                            throw JsonContentError(entryPath, "an entry needs \"text\" and \"value\"");
                        }
                        c.entries.push_back({textAt(e, "text", entryPath), textAt(e, "value", entryPath)});
                    }
                    // Only a list offers entries to pick.
                    if (c.kind != "list") {
                        throw JsonContentError(path + "/entries", "entries on a " + c.kind + ", not a list");
                    }
                }
                p.controls.push_back(std::move(c));
            }
            if (root.contains("glyphs")) {
                for (const auto& g : requireObject(root["glyphs"], "/glyphs").items()) {
                    p.glyphs.emplace_back(g.key(), requireText(g.value(), "/glyphs" + step(g.key())));
                }
            }
            if (root.contains("layout")) {
                const auto& rows = requireArray(root["layout"], "/layout");
                for (std::size_t r = 0; r < rows.size(); ++r) {
                    std::string rowPath = "/layout/" + std::to_string(r);
                    std::vector<LayoutCell> row;
                    const auto& cells = requireArray(rows[r], rowPath);
                    for (std::size_t k = 0; k < cells.size(); ++k) {
                        std::string cellPath = rowPath + "/" + std::to_string(k);
                        LayoutCell cell;
                        if (cells[k].is_object()) {
                            requireKnownKeys(cells[k], cellPath, cellKeys);
                            if (!cells[k].contains("text")) throw JsonContentError(cellPath, "missing \"text\"");
                            cell.text = textAt(cells[k], "text", cellPath);
                        } else {
                            if (!cells[k].is_string() && !cells[k].is_number_integer()) {
                                throw JsonContentError(cellPath, "expected a control id or {\"text\": ...}");
                            }
                            cell.control = requireText(cells[k], cellPath);
                            if (!p.control(cell.control)) {
                                throw JsonContentError(cellPath, "no control \"" + printable(cell.control, 40) + "\"");
                            }
                        }
                        row.push_back(std::move(cell));
                    }
                    p.layout.push_back(std::move(row));
                }
            }
        },
        error);
    if (!read) return false;
    panel = std::move(p);
    return true;
}

}  // namespace zarn_host
