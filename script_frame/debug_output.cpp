#include "script_frame/debug_output.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zarn {

namespace {

DebugSink currentSink = nullptr;

void writePlatform(const char* text) {
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    // One write of the whole text; a partial write or an interrupted call only
    // continues with the rest, so a diagnostic is never split by us.
    std::size_t remaining = std::strlen(text);
    while (remaining > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, remaining);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere left to report to
        }
        text += written;
        remaining -= static_cast<std::size_t>(written);
    }
#endif
}

}  // namespace

void writeDebugOutput(const char* text) {
    if (!text) text = "";
    if (currentSink) {
        currentSink(text);
    } else {
        writePlatform(text);
    }
}

DebugSink setDebugSink(DebugSink sink) {
    DebugSink previous = currentSink;
    currentSink = sink;
    return previous;
}

}  // namespace zarn
