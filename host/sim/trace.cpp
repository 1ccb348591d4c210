#include "sim/trace.h"

#include <cstdio>

namespace zarn_host {

const char* traceKindName(TraceKind kind) {
    switch (kind) {
        case TraceKind::step:
            return "step";
        case TraceKind::in:
            return "in";
        case TraceKind::out:
            return "out";
        case TraceKind::reply:
            return "reply";
        case TraceKind::refusal:
            return "refusal";
        case TraceKind::fault:
            return "fault";
        case TraceKind::error:
            return "error";
        case TraceKind::picture:
            return "picture";
        case TraceKind::bridge:
            return "bridge";
        case TraceKind::note:
            break;
    }
    return "note";
}

const char* traceMarker(TraceKind kind) {
    switch (kind) {
        case TraceKind::step:
            return "== ";
        case TraceKind::in:
            return "<- ";
        case TraceKind::out:
            return "-> ";
        case TraceKind::reply:
            return "   reply ";
        case TraceKind::refusal:
            return "   ! ";
        case TraceKind::fault:
            return "!! FAULT: ";
        case TraceKind::error:
            return "!! ";
        case TraceKind::bridge:
            return "<> ";
        case TraceKind::note:
        case TraceKind::picture:
            break;
    }
    return "";
}

void Trace::line(TraceKind kind, const std::string& text) {
    if (!enabled()) return;
    if (sink_) sink_(clock_.now(), kind, text);
    if (!echo_ && !file_) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%6lld ms] ", static_cast<long long>(clock_.now()));
    write(stamp + (traceMarker(kind) + text) + "\n");
}

void Trace::block(const std::string& text) {
    if (text.empty() || !enabled()) return;
    if (sink_) sink_(-1, TraceKind::picture, text);
    write(text.back() == '\n' ? text : text + "\n");
}

void Trace::write(const std::string& text) {
    if (!echo_ && !file_) return;
    if (echo_) *echo_ << text << std::flush;
    if (file_) *file_ << text;
}

}  // namespace zarn_host
