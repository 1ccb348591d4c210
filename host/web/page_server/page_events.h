// What the page's event streams send: a bounded ring of trace lines, the
// latest full state and a bounded ring of the changes since, each stream
// reading from its own cursor. Filled on the panel thread, read by the HTTP
// threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "web/http/event_stream.h"

namespace zarn_host {

// Threads: the panel thread adds trace lines and sets the state; each HTTP
// thread streaming to a page opens, reads (next, with its own Cursor, which
// only that thread touches) and closes; stop() from any thread. Every member
// below is under mutex_.
class PageEvents {
public:
    // Keeps the last traceLines trace lines; at most maxStreams streams at once.
    PageEvents(std::size_t traceLines, std::size_t maxStreams) : traceLines_(traceLines), maxStreams_(maxStreams) {}

    // A trace entry (page_state.h's traceEntry); it gets the next sequence number.
    void addTrace(nlohmann::json entry);
    // Some stream is open: the state is worth making.
    bool watched() const;
    // The full state's JSON text at sequence number seq (it carries it as
    // "seq"), and the change that led to it (its JSON text, carrying the same
    // "seq"; empty when there is none, the first state). A new stream is sent
    // the full state, then every change after it; a stream that fell behind
    // the changes kept is sent the full state again.
    void setState(std::string text, uint64_t seq, std::string change);
    // The last full state's text and its sequence number.
    std::string state(uint64_t& seq) const;

    // A stream opens, or false when maxStreams are open already.
    bool openStream();
    void closeStream();

    // Where a stream is: the last trace line and state it was sent.
    struct Cursor {
        uint64_t seq = 0;
        uint64_t stateSeq = 0;  // 0: never sent the state
        std::chrono::steady_clock::time_point lastWrite{};
    };
    // Waits up to idle for news past cursor and gives it as Server-Sent
    // Events ("trace", "gap" when lines were dropped before it read them,
    // "state" the first time and after falling behind, "changes" otherwise,
    // an idle comment when there is no news). A stream gets at most one write per
    // minEventWriteInterval, so a busy host sends batches, not a line a write.
    // False once stopped.
    bool next(Cursor& cursor, std::string& out, std::chrono::milliseconds idle = std::chrono::seconds(5));
    // Ends every stream.
    void stop();

    std::size_t traceKept() const;

private:
    const std::size_t traceLines_;
    const std::size_t maxStreams_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<TraceEvent> trace_;
    uint64_t nextSeq_ = 1;
    // Changes kept for streams that are behind; past it they get the state.
    static constexpr std::size_t keptChanges = 256;
    struct Change {
        uint64_t seq;
        std::string json;
    };
    std::string state_ = "{}";
    uint64_t stateSeq_ = 0;
    std::deque<Change> changes_;
    std::size_t streams_ = 0;
    bool stopping_ = false;
};

}  // namespace zarn_host
