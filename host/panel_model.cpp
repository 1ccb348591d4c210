#include "panel_model.h"

#include "json_input.h"

namespace zarn_host {

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
    std::string text;
    if (!readTextFile(path, text, error)) return false;
    return parse(text, path, panel, error);
}

bool Panel::parse(const std::string& text, const std::string& fileName, Panel& panel, std::string& error) {
    nlohmann::ordered_json root;
    if (!parseJson(text, fileName, root, error)) return false;
    Panel p;
    try {
        requireObject(root, "/");
        if (root.contains("title")) p.title = requireText(root["title"], "/title");
        if (!root.contains("controls")) throw JsonContentError("/", "missing \"controls\"");
        const auto& list = requireArray(root["controls"], "/controls");
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string path = "/controls/" + std::to_string(i);
            const auto& item = requireObject(list[i], path);
            Control c;
            if (!item.contains("id")) throw JsonContentError(path, "missing \"id\"");
            c.id = requireText(item["id"], path + "/id");
            if (c.id.empty()) throw JsonContentError(path + "/id", "empty control id");
            // Control ids travel in comma-separated XI replies.
            if (c.id.find(',') != std::string::npos) throw JsonContentError(path + "/id", "comma in control id");
            if (p.control(c.id)) throw JsonContentError(path + "/id", "control \"" + c.id + "\" listed twice");
            c.kind = item.contains("kind") ? requireText(item["kind"], path + "/kind") : "button";
            c.label = item.contains("label") ? requireText(item["label"], path + "/label") : c.id;
            if (item.contains("defaultProperty")) {
                c.defaultProperty = requireText(item["defaultProperty"], path + "/defaultProperty");
            }
            if (item.contains("command")) c.command = requireText(item["command"], path + "/command");
            if (item.contains("value")) c.value = requireText(item["value"], path + "/value");
            if (item.contains("properties")) {
                for (const auto& prop : requireObject(item["properties"], path + "/properties").items()) {
                    c.setProperty(prop.key(), requireText(prop.value(), path + "/properties/" + prop.key()));
                }
            }
            if (item.contains("entries")) {
                const auto& entries = requireArray(item["entries"], path + "/entries");
                for (std::size_t k = 0; k < entries.size(); ++k) {
                    std::string entryPath = path + "/entries/" + std::to_string(k);
                    const auto& e = requireObject(entries[k], entryPath);
                    if (!e.contains("text") || !e.contains("value")) {
                        throw JsonContentError(entryPath, "an entry needs \"text\" and \"value\"");
                    }
                    c.entries.push_back(
                        {requireText(e["text"], entryPath + "/text"), requireText(e["value"], entryPath + "/value")});
                }
            }
            p.controls.push_back(std::move(c));
        }
        if (root.contains("glyphs")) {
            for (const auto& g : requireObject(root["glyphs"], "/glyphs").items()) {
                p.glyphs.emplace_back(g.key(), requireText(g.value(), "/glyphs/" + g.key()));
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
                        if (!cells[k].contains("text")) throw JsonContentError(cellPath, "missing \"text\"");
                        cell.text = requireText(cells[k]["text"], cellPath + "/text");
                    } else {
                        cell.control = requireText(cells[k], cellPath);
                        if (!p.control(cell.control)) {
                            throw JsonContentError(cellPath, "no control \"" + cell.control + "\"");
                        }
                    }
                    row.push_back(std::move(cell));
                }
                p.layout.push_back(std::move(row));
            }
        }
        for (const auto& item : root.items()) {
            const std::string& k = item.key();
            if (k != "title" && k != "controls" && k != "glyphs" && k != "layout" && k != "comment") {
                throw JsonContentError("/" + k, "unknown key");
            }
        }
    } catch (const JsonContentError& e) {
        error = fileName + ": " + e.what();
        return false;
    } catch (const nlohmann::ordered_json::exception& e) {
        error = fileName + ": " + e.what();
        return false;
    }
    panel = std::move(p);
    return true;
}

}  // namespace zarn_host
