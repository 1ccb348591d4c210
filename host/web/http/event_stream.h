// The page's event stream. Its trace part is bounded per write: a page that
// fell behind (a slow tab, a stalled connection) gets a gap and the newest
// lines instead of everything it missed, so the server never buffers more
// than one bounded chunk for it. A stream passed on ends on an event's end.
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

// Follows an event stream passed on from another server, to end a piece of
// an event cut off with it (the server died mid-write) so that the page drops
// it: a page would otherwise join the piece to the next event it is sent and
// lose both. The source ends its lines with "\n" alone.
class RelayedEventStream {
public:
    void pass(const char* data, std::size_t size);
    // What ends the bytes passed so far on an event's end: empty there, else
    // the rest of an event of a type no page listens to.
    std::string closing() const;

private:
    enum class At { eventStart, lineStart, inLine };
    At at_ = At::eventStart;
};

}  // namespace zarn_host
