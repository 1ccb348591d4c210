// The platform debug output, one call per diagnostic: OutputDebugStringA on
// Windows, as given; standard error elsewhere, where a line end is added to a
// text that has none, so each diagnostic stands on its own line (an empty
// text writes nothing).
#pragma once

namespace zarn {

void writeDebugOutput(const char* text);

// Tests capture diagnostics by installing a sink; null restores the platform
// output. Returns the previous sink.
using DebugSink = void (*)(const char* text);
DebugSink setDebugSink(DebugSink sink);

}  // namespace zarn
