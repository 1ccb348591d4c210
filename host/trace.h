// The host's trace: one readable line per notification, command and
// diagnostic, stamped with virtual time, to standard output and/or a file.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "virtual_clock.h"

namespace zarn_host {

class Trace {
public:
    // The clock's time stamps each line; it must outlive the trace.
    explicit Trace(const VirtualClock& clock) : clock_(clock) {}
    void setEcho(std::ostream* out) { echo_ = out; }
    void setFile(std::ostream* out) { file_ = out; }
    // Also hands every line, without its stamp, to sink (a live view keeps
    // its own copy); blocks come with time -1.
    using Sink = std::function<void(int64_t time, const std::string& text)>;
    void setSink(Sink sink) { sink_ = std::move(sink); }
    // False when the trace goes nowhere; callers then skip building lines.
    bool enabled() const { return echo_ != nullptr || file_ != nullptr || sink_ != nullptr; }
    // "[   160 ms] text"
    void line(const std::string& text);
    // Lines without a time stamp, such as a panel picture.
    void block(const std::string& text);

private:
    void write(const std::string& text);
    const VirtualClock& clock_;
    std::ostream* echo_ = nullptr;
    std::ostream* file_ = nullptr;
    Sink sink_;
};

}  // namespace zarn_host
