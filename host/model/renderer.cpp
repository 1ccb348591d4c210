#include "model/renderer.h"

#include <algorithm>
#include <set>
#include <vector>

#include "text/command_text.h"

namespace zarn_host {
namespace {

constexpr std::size_t listColumns = 4;

std::string propertyOr(const Control& c, const std::string& name, const std::string& fallback) {
    const std::string* v = c.property(name);
    return v ? *v : fallback;
}

// One control as a single cell. Indicators and buttons show their state sheet
// and image through the panel's glyphs; texts show their text.
std::string renderCell(const Panel& panel, const Control& c) {
    std::string out;
    const std::string* sheet = c.property("statesheet");
    const std::string* pixmap = c.property("pixmap");
    if (c.kind == "indicator") {
        out = sheet ? panel.glyph(*sheet) : "( )";
        if (!c.label.empty()) out += " " + c.label;
    } else if (c.kind == "button") {
        if (sheet) out = panel.glyph(*sheet) + " ";
        out += "[" + c.label + "]";
        if (pixmap) out += " " + panel.glyph(*pixmap);
    } else if (c.kind == "text" || c.kind == "label") {
        std::string text = printable(propertyOr(c, "text", ""), 60);
        out = c.label.empty() ? text : c.label + ": " + text;
    } else {
        out = c.label;
        for (const auto& p : c.properties) out += " " + p.first + "=" + printable(panel.glyph(p.second), 60);
    }
    return out;
}

std::string renderList(const Control& c) {
    std::string selected = propertyOr(c, "select", "-1");
    std::string out = c.label + ":";
    if (c.entries.empty()) return out + " (empty)\n";
    out += "\n";
    std::vector<std::string> cells;
    std::size_t width = 0;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        std::string mark = std::to_string(i) == selected ? ">" : " ";
        cells.push_back(mark + " " + printable(c.entries[i].value, 12) + " " + printable(c.entries[i].text, 40));
        width = std::max(width, cells.back().size());
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        bool lineEnd = (i + 1) % listColumns == 0 || i + 1 == cells.size();
        out += "  " + (lineEnd ? cells[i] : cells[i] + std::string(width - cells[i].size(), ' '));
        if (lineEnd) out += "\n";
    }
    return out;
}

}  // namespace

std::string renderPanel(const Panel& panel) {
    std::string title = "panel " + panel.id + (panel.title.empty() ? "" : ": " + panel.title);
    if (!panel.parameter.empty()) title += " (" + printable(panel.parameter, 60) + ")";
    std::string out = "+-- " + title + " " + std::string(title.size() < 70 ? 70 - title.size() : 2, '-') + "\n";

    std::set<std::string> drawn;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> width;
    std::string body;
    auto flushRows = [&]() {
        for (const auto& row : rows) {
            std::string line = "|";
            for (std::size_t k = 0; k < row.size(); ++k) {
                line += "  " + row[k];
                if (k + 1 < row.size()) line += std::string(width[k] - row[k].size(), ' ');
            }
            while (line.back() == ' ') line.pop_back();
            body += line + "\n";
        }
        rows.clear();
        width.clear();  // a list between row groups starts a new alignment
    };
    auto addRow = [&](std::vector<std::string> row) {
        for (std::size_t k = 0; k < row.size(); ++k) {
            if (width.size() <= k) width.push_back(0);
            width[k] = std::max(width[k], row[k].size());
        }
        rows.push_back(std::move(row));
    };
    auto addList = [&](const Control& c) {
        flushRows();
        std::string block = renderList(c);
        std::size_t start = 0;
        while (start < block.size()) {
            std::size_t end = block.find('\n', start);
            body += "|  " + block.substr(start, end - start) + "\n";
            start = end + 1;
        }
    };

    for (const auto& layoutRow : panel.layout) {
        std::vector<std::string> row;
        for (const auto& cell : layoutRow) {
            if (cell.control.empty()) {
                row.push_back(cell.text);
                continue;
            }
            const Control* c = panel.control(cell.control);
            drawn.insert(cell.control);
            if (c->kind == "list") {
                if (!row.empty()) addRow(std::move(row));
                row.clear();
                addList(*c);
            } else {
                row.push_back(renderCell(panel, *c));
            }
        }
        if (!row.empty()) addRow(std::move(row));
    }
    for (const auto& c : panel.controls) {
        if (drawn.count(c.id)) continue;
        if (c.kind == "list") {
            addList(c);
        } else {
            addRow({renderCell(panel, c)});
        }
    }
    flushRows();
    return out + body + "+" + std::string(74, '-') + "\n";
}

}  // namespace zarn_host
