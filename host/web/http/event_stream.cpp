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

}  // namespace zarn_host
