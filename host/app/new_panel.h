// zarn_host new-panel NAME [DIR]: a new panel from the installed template,
// with "my_panel" renamed to NAME in file names and contents.
#pragma once

#include <ostream>
#include <string>

namespace zarn_host {

// The template's folder as installed beside zarn_host:
// <prefix>/share/zarn_script_frame/panel_template for <prefix>/bin/zarn_host.
std::string installedTemplateFolder();

// True when name can name a panel: a C++ identifier (the class) and a CMake
// target, letters, digits and "_", not starting with a digit, at most 64.
bool validPanelName(const std::string& name);

// Copies templateDir into dir (which must not exist, or be empty), renaming
// my_panel to name in file names and in every file's text. False with a
// one-line reason in error.
bool makePanel(const std::string& templateDir, const std::string& name, const std::string& dir, std::string& error);

// The command line: argv[0] is "new-panel". Exit status 0, or 2 with a
// diagnostic on err.
int newPanelMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace zarn_host
