// Helpers for the simulated host's tests: a script whose behaviour a test
// writes as lambdas, loaded in-process, and temporary files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/sim_host.h"

namespace zarn_host_test {

// Records revertives and buttons as lines ("revertive 7/1 Cam 3", "button 1/X cmd=value") and runs the test's lambdas
// inside notifications.
class ScriptedPanel : public zarn_client_callback {
public:
    zarn_client_callback* host = nullptr;
    std::function<void(ScriptedPanel&)> onStart;
    std::function<void(ScriptedPanel&)> onParent;
    std::function<void(ScriptedPanel&, const std::string&)> onButton;
    std::vector<std::string>* events = nullptr;  // owned by the test; outlives the panel

    // A panel's last word, as the host expects it.
    ~ScriptedPanel() override {
        if (host) send("AS");
    }

    char* callback(void* data, int32_t type) override {
        if (type == zarn_type_revertive) {
            auto* e = static_cast<RevertiveEvent*>(data);
            record("revertive " + std::to_string(e->device) + "/" + std::to_string(e->index) + " " + e->text());
        } else if (type == zarn_type_button) {
            auto* e = static_cast<ButtonEvent*>(data);
            std::string control = e->controlId;
            record("button " + std::string(e->panelId) + "/" + control + " " + e->details->command + "=" +
                   e->details->value);
            if (onButton) onButton(*this, control);
        } else if (type == zarn_type_parent_message && onParent) {
            onParent(*this);
        }
        return nullptr;
    }

    char* send(const std::string& text) { return host->callback(const_cast<char*>(text.c_str()), 0); }
    // Sends and hands the reply back, as the script does for SD, XI, RN, TG.
    std::string sendRead(const std::string& text) {
        char* reply = send(text);
        std::string result = reply ? reply : "<null>";
        if (reply) release(reply);
        return result;
    }
    void release(char* reply) { host->callback(reply, zarn_type_release); }

private:
    void record(const std::string& line) {
        if (events) events->push_back(line);
    }
};

// For a failed test: what the host did last, on standard error. Its
// messages' last 30 lines (err), the panel's last commands and its faults.
inline void tellHostState(const std::string& err, const zarn_host::SimHost& host) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < err.size()) {
        std::size_t end = err.find('\n', at);
        if (end == std::string::npos) end = err.size();
        lines.push_back(err.substr(at, end - at));
        at = end + 1;
    }
    std::string text = "--- the host's last lines on err (of " + std::to_string(lines.size()) + "):\n";
    for (std::size_t i = lines.size() > 30 ? lines.size() - 30 : 0; i < lines.size(); ++i)
        text += "    " + lines[i] + "\n";
    text += "--- the panel's last commands (of " + std::to_string(host.commandCount()) + "):\n";
    for (const auto& command : host.recentCommands()) text += "    " + command + "\n";
    for (const auto& fault : host.faults()) text += "--- protocol fault: " + fault.text + "\n";
    std::fputs(text.c_str(), stderr);
}

inline ScriptedPanel*& nextPanel() {
    static ScriptedPanel* panel = nullptr;
    return panel;
}

inline zarn_client_callback* loadScriptedPanel(zarn_client_callback* host, const char*) {
    ScriptedPanel* panel = nextPanel();
    panel->host = host;
    if (panel->onStart) panel->onStart(*panel);
    return panel;
}

// A file in a folder of its own in the temporary folder, both removed when
// the object goes. The folder keeps tests that run at the same time (ctest -j,
// several build trees) from sharing one file.
class TempFile {
public:
    TempFile(const std::string& name, const std::string& text)
        : folder_(std::filesystem::temp_directory_path() /
                  ("zarn_host_test_" + std::to_string(std::random_device{}()) + std::to_string(++count()))),
          path_((folder_ / ("zarn_host_test_" + name)).string()) {
        std::error_code ec;
        std::filesystem::create_directories(folder_, ec);
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const std::string& path() const { return path_; }

private:
    static unsigned& count() {
        static unsigned n = 0;
        return n;
    }
    std::filesystem::path folder_;
    std::string path_;
};

}  // namespace zarn_host_test
