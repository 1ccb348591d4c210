// The platform debug output: one write per diagnostic, no line end added.
// OutputDebugStringA on Windows; one write(2) to standard error elsewhere.
#pragma once

namespace zarn {

void writeDebugOutput(const char* text);

// Tests capture diagnostics by installing a sink; null restores the platform
// output. Returns the previous sink.
using DebugSink = void (*)(const char* text);
DebugSink setDebugSink(DebugSink sink);

}  // namespace zarn
