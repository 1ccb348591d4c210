#include "app/new_panel.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/executable_path.h"

namespace zarn_host {
namespace {

namespace fs = std::filesystem;

constexpr char templateName[] = "my_panel";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The template's README.md, rewritten for the panel made from it: the title
// is the panel's name, "<!-- new panel: TEXT -->" lines become TEXT, and the
// lines between "<!-- template only -->" and "<!-- end template only -->"
// (which speak of the template) go.
std::string newPanelReadme(const std::string& text, const std::string& name) {
    const std::string newPanelMark = "<!-- new panel: ", closing = " -->";
    std::istringstream in(text);
    std::string out;
    bool templateOnly = false;
    bool first = true;
    for (std::string line; std::getline(in, line); first = false) {
        if (first && line.rfind("# ", 0) == 0) {
            out += "# " + name + "\n";
        } else if (line == "<!-- template only -->") {
            templateOnly = true;
        } else if (line == "<!-- end template only -->") {
            templateOnly = false;
        } else if (templateOnly) {
            continue;
        } else if (line.rfind(newPanelMark, 0) == 0 && line.size() >= newPanelMark.size() + closing.size() &&
                   line.compare(line.size() - closing.size(), closing.size(), closing) == 0) {
            out += line.substr(newPanelMark.size(), line.size() - newPanelMark.size() - closing.size()) + "\n";
        } else {
            out += line + "\n";
        }
    }
    return out;
}

}  // namespace

std::string installedTemplateFolder() {
    const std::string self = currentExecutable();
    if (self.empty()) return {};
    const fs::path exe = fs::u8path(self);
    return (exe.parent_path().parent_path() / "share" / "zarn_script_frame" / "panel_template").u8string();
}

bool validPanelName(const std::string& name) {
    if (name.empty() || name.size() > 64 || (name[0] >= '0' && name[0] <= '9')) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool makePanel(const std::string& templateDir, const std::string& name, const std::string& dir, std::string& error) {
    if (!validPanelName(name)) {
        error = "\"" + name + "\" is not a panel name (letters, digits and _, not starting with a digit, at most 64)";
        return false;
    }
    const fs::path from = fs::u8path(templateDir);
    const fs::path to = fs::u8path(dir);
    std::error_code ec;
    if (!fs::is_regular_file(from / (std::string(templateName) + ".cpp"), ec)) {
        error = "no panel template in " + templateDir;
        return false;
    }
    if (fs::exists(to, ec) && !(fs::is_directory(to, ec) && fs::is_empty(to, ec))) {
        error = dir + " exists and is not an empty folder";
        return false;
    }
    // Everything is read first: a template that cannot be read leaves nothing behind.
    std::vector<std::pair<fs::path, std::string>> files;
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            error = "cannot read " + it->path().u8string();
            return false;
        }
        fs::path relative = fs::u8path(replaceAll(fs::relative(it->path(), from, ec).u8string(), templateName, name));
        std::string content = replaceAll(text.str(), templateName, name);
        if (relative == "README.md") content = newPanelReadme(content, name);
        files.emplace_back(to / relative, content);
    }
    if (ec) {
        error = "cannot read " + templateDir + ": " + ec.message();
        return false;
    }
    for (const auto& file : files) {
        fs::create_directories(file.first.parent_path(), ec);
        std::ofstream out(file.first, std::ios::binary | std::ios::trunc);
        out << file.second;
        out.close();
        if (ec || !out) {
            error = "cannot write " + file.first.u8string();
            return false;
        }
    }
    return true;
}

int newPanelMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    const char* usage = "usage: zarn_host new-panel NAME [DIR] [--template DIR]";
    std::vector<std::string> positional;
    std::string templateDir;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            out << usage << "\n"
                << "Makes DIR (default: NAME) a new panel from the installed template, with my_panel renamed to\n"
                << "NAME in file names and contents. --template: the template's folder (default: "
                << installedTemplateFolder() << ")\n";
            return 0;
        }
        if (argument == "--template" && i + 1 < argc) {
            templateDir = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            err << "zarn_host new-panel: unknown option " << argument << "\n" << usage << "\n";
            return 2;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        err << usage << "\n";
        return 2;
    }
    if (templateDir.empty()) templateDir = installedTemplateFolder();
    const std::string& name = positional[0];
    const std::string dir = positional.size() == 2 ? positional[1] : name;
    std::string error;
    if (!makePanel(templateDir, name, dir, error)) {
        err << "zarn_host new-panel: " << error << "\n";
        return 2;
    }
    out << "zarn_host new-panel: the panel " << name << " is in " << dir << "\n";
    return 0;
}

}  // namespace zarn_host
