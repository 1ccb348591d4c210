#include "trace.h"

#include <cstdio>

namespace zarn_host {

void Trace::line(const std::string& text) {
    if (!enabled()) return;
    if (sink_) sink_(clock_.now(), text);
    if (!echo_ && !file_) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%6lld ms] ", static_cast<long long>(clock_.now()));
    write(stamp + text + "\n");
}

void Trace::block(const std::string& text) {
    if (text.empty() || !enabled()) return;
    if (sink_) sink_(-1, text);
    write(text.back() == '\n' ? text : text + "\n");
}

void Trace::write(const std::string& text) {
    if (!echo_ && !file_) return;
    if (echo_) *echo_ << text << std::flush;
    if (file_) *file_ << text;
}

}  // namespace zarn_host
