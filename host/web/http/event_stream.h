// The trace part of the page's event stream, bounded per write: a page that
// fell behind (a slow tab, a stalled connection) gets a gap and the newest
// lines instead of everything it missed, so the server never buffers more
// than one bounded chunk for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace zarn_host {

struct TraceEvent {
    uint64_t seq;
    std::string json;
};

// A stream writes at most once in this interval: state changes in between
// are sent once, as the latest state, and trace lines together.
constexpr std::chrono::milliseconds minEventWriteInterval{50};

// At most this many trace lines go out in one write.
constexpr std::size_t maxTraceEventsPerWrite = 1000;

// Appends the "trace" events after seq (and a "gap" event when lines were
// dropped from the ring or skipped) to out; seq becomes the newest line's.
// seq 0: a new stream, which gets the newest lines without a gap.
void appendTraceEvents(std::string& out, const std::deque<TraceEvent>& ring, uint64_t& seq,
                       std::size_t limit = maxTraceEventsPerWrite);

}  // namespace zarn_host
