#include "debug_output.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zarn {

namespace {

DebugSink currentSink = nullptr;

#ifndef _WIN32
// Writes all of a buffer; a partial write or an interrupted call continues
// with the rest.
bool writeAll(const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;  // nowhere left to report to
        }
        text += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}
#endif

void writePlatform(const char* text) {
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    // Standard error is shared with the host and other diagnostics: each one
    // ends its own line, and text and line end go out in one write when they
    // can, so two diagnostics never run together.
    const std::size_t length = std::strlen(text);
    if (length == 0) return;
    const bool addLineEnd = text[length - 1] != '\n';
    iovec parts[2] = {{const_cast<char*>(text), length}, {const_cast<char*>("\n"), addLineEnd ? 1u : 0u}};
    const ssize_t written = ::writev(STDERR_FILENO, parts, 2);
    if (written < 0 && errno != EINTR) return;
    const std::size_t done = written < 0 ? 0 : static_cast<std::size_t>(written);
    if (done < length && !writeAll(text + done, length - done)) return;
    if (addLineEnd && done <= length) writeAll("\n", 1);
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
