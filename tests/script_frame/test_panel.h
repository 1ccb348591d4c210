// A panel that records which hook got what.
#pragma once

#include <zarn/zarn_script_helper.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/debug_capture.h"
#include "support/empty_panel.h"

class TestPanel : public EmptyPanel {
public:
    explicit TestPanel(zarn_client_callback* host, const char* path = "") : EmptyPanel(host, path) {}

    // One line per hook call, e.g. "button 1|Sources|select|12".
    std::vector<std::string> calls;
    zarn_string parentReply;
    zarn_string readBack;  // somewhere for a test to read a reply into
    const void* lastRecord = nullptr;
    bool throwOnTimer = false;
    bool throwOnRevertive = false;  // throws an int, not a std::exception

    void onButton(ButtonEventHandle event) override {
        calls.push_back("button " + text(event.panelId()) + "|" + text(event.controlId()) + "|" +
                        text(event.command()) + "|" + text(event.value()));
    }
    int32_t onRevertive(RevertiveEventHandle event) override {
        if (throwOnRevertive) throw 42;
        calls.push_back("revertive " + std::to_string(event.device()) + "|" + std::to_string(event.index()) + "|" +
                        text(event.text()));
        return 99;
    }
    zarn_string onParentMessage(ParamCommandHandle message) override {
        calls.push_back("parent " + text(message.command()) + "|" + text(message.value()));
        return parentReply;
    }
    void onValueEvent(int32_t& value) override { calls.push_back("value " + std::to_string(value)); }
    void onTimer(int32_t id) override {
        calls.push_back("timer " + std::to_string(id));
        if (throwOnTimer) throw std::runtime_error("boom");
    }
    void onRecordEvent(RecordHandle record) override {
        calls.push_back("record");
        lastRecord = record.data;
    }

private:
    static std::string text(const zarn_string& value) { return std::string(value.c_str()); }
};
