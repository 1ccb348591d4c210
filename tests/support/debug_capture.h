// Collects every diagnostic of the script library while alive.
#pragma once

#include <string>
#include <vector>

#include "debug_output.h"

class DebugCapture {
public:
    DebugCapture() : previous_(zarn::setDebugSink(&DebugCapture::collect)) { lines().clear(); }
    ~DebugCapture() { zarn::setDebugSink(previous_); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    const std::vector<std::string>& output() const { return lines(); }

private:
    static std::vector<std::string>& lines() {
        static std::vector<std::string> captured;
        return captured;
    }
    static void collect(const char* text) { lines().push_back(text); }
    zarn::DebugSink previous_;
};
