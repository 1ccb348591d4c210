// What the page's event streams send: a bounded ring of trace lines and the
// latest state, each stream reading from its own cursor. Filled on the panel
// thread, read by the HTTP threads.
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
    // The state's JSON text, sent to every stream once.
    void setState(std::string text);

    // A stream opens, or false when maxStreams are open already.
    bool openStream();
    void closeStream();

    // Where a stream is: the last trace line and state it was sent.
    struct Cursor {
        uint64_t seq = 0;
        uint64_t stateVersion = 0;
        std::chrono::steady_clock::time_point lastWrite{};
    };
    // Waits up to idle for news past cursor and gives it as Server-Sent
    // Events ("trace", "state", "gap" when lines were dropped before it read
    // them, an idle comment otherwise). A stream gets at most one write per
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
    std::string state_ = "{}";
    uint64_t stateVersion_ = 0;
    std::size_t streams_ = 0;
    bool stopping_ = false;
};

}  // namespace zarn_host
