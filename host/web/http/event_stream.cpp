#include "web/http/event_stream.h"

namespace zarn_host {

void appendTraceEvents(std::string& out, const std::deque<TraceEvent>& ring, uint64_t& seq, std::size_t limit) {
    if (ring.empty() || ring.back().seq <= seq) return;
    // The first line after seq in the ring, and how many follow it.
    std::size_t first = 0;
    if (seq >= ring.front().seq) first = static_cast<std::size_t>(seq - ring.front().seq + 1);
    std::size_t count = ring.size() - first;
    bool missed = seq != 0 && ring.front().seq > seq + 1;
    if (count > limit) {
        first = ring.size() - limit;
        missed = missed || seq != 0;
    }
    if (missed) out += "event: gap\ndata: {}\n\n";
    for (std::size_t i = first; i < ring.size(); ++i) {
        out += "event: trace\ndata: ";
        out += ring[i].json;
        out += "\n\n";
    }
    seq = ring.back().seq;
}

void RelayedEventStream::pass(const char* data, std::size_t size) {
    // Only the newlines at the end matter: one ends a line, two an event.
    std::size_t newlines = 0;
    while (newlines < size && data[size - 1 - newlines] == '\n') ++newlines;
    if (newlines < size) at_ = At::inLine;
    for (std::size_t i = 0; i < newlines; ++i) at_ = at_ == At::inLine ? At::lineStart : At::eventStart;
}

std::string RelayedEventStream::closing() const {
    switch (at_) {
        case At::eventStart:
            return std::string();
        case At::lineStart:
            return "event: cut\n\n";
        case At::inLine:
            break;
    }
    return "\nevent: cut\n\n";
}

}  // namespace zarn_host
