// The host's trace: one readable line per notification, command and
// diagnostic, stamped with virtual time, to standard output and/or a file.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "sim/virtual_clock.h"

namespace zarn_host {

// What a trace line is. The kind decides the line's marker, so the text and
// its kind cannot disagree; a live view filters and colours by kind.
enum class TraceKind {
    step,     // "== " a scenario step or a change from outside the panel
    in,       // "<- " a notification, host to panel
    out,      // "-> " a command or a hand-back, panel to host
    reply,    // "   reply " the panel's reply to a parent message
    refusal,  // "   ! " the host refused what a command asked
    fault,    // "!! FAULT: " a protocol fault of the panel
    error,    // "!! " an error of the run (a failed expectation, a bad step)
    note,     // no marker
    picture,  // a block without a time stamp, such as a panel picture
    bridge,   // "<> " traffic of a bridge to facility equipment (SW-P-08, Ember+, TSL UMD)
};

// The kind's name as the page knows it: "step", "in", "out", ...
const char* traceKindName(TraceKind kind);
// What begins a line of this kind.
const char* traceMarker(TraceKind kind);

class Trace {
public:
    // The clock's time stamps each line; it must outlive the trace.
    explicit Trace(const VirtualClock& clock) : clock_(clock) {}
    void setEcho(std::ostream* out) { echo_ = out; }
    void setFile(std::ostream* out) { file_ = out; }
    // Also hands every line, without its stamp and marker, to sink (a live
    // view keeps its own copy); blocks come with time -1.
    using Sink = std::function<void(int64_t time, TraceKind kind, const std::string& text)>;
    void setSink(Sink sink) { sink_ = std::move(sink); }
    // False when the trace goes nowhere; callers then skip building lines.
    bool enabled() const { return echo_ != nullptr || file_ != nullptr || sink_ != nullptr; }
    // "[   160 ms] <marker>text"
    void line(TraceKind kind, const std::string& text);
    // Lines without a time stamp, such as a panel picture (kind picture).
    void block(const std::string& text);

private:
    void write(const std::string& text);
    const VirtualClock& clock_;
    std::ostream* echo_ = nullptr;
    std::ostream* file_ = nullptr;
    Sink sink_;
};

}  // namespace zarn_host
