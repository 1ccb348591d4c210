#include "web/page_server/page_events.h"

#include <nlohmann/json.hpp>
#include <utility>

#include "web/page_server/page_state.h"

namespace zarn_host {

void PageEvents::addTrace(nlohmann::json entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entry["seq"] = nextSeq_;
    trace_.push_back({nextSeq_++, jsonText(entry)});
    while (trace_.size() > traceLines_) trace_.pop_front();
    wake_.notify_all();
}

bool PageEvents::watched() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_ != 0;
}

void PageEvents::setState(std::string text, uint64_t seq, std::string change) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = std::move(text);
    stateSeq_ = seq;
    if (change.empty()) {
        changes_.clear();  // a stream behind it needs the whole state
    } else {
        changes_.push_back({seq, std::move(change)});
        while (changes_.size() > keptChanges) changes_.pop_front();
    }
    wake_.notify_all();
}

std::string PageEvents::state(uint64_t& seq) const {
    std::lock_guard<std::mutex> lock(mutex_);
    seq = stateSeq_;
    return state_;
}

bool PageEvents::openStream() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (streams_ >= maxStreams_) return false;
    ++streams_;
    return true;
}

void PageEvents::closeStream() {
    std::lock_guard<std::mutex> lock(mutex_);
    --streams_;
}

bool PageEvents::next(Cursor& cursor, std::string& out, std::chrono::milliseconds idle) {
    out.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    // What comes within one interval goes out in one write.
    wake_.wait_until(lock, cursor.lastWrite + minEventWriteInterval, [&] { return stopping_; });
    auto fresh = [&] {
        return stopping_ || stateSeq_ != cursor.stateSeq || (!trace_.empty() && trace_.back().seq > cursor.seq);
    };
    if (!wake_.wait_for(lock, idle, fresh)) {
        out = ": idle\n\n";  // finds a page that went away
    }
    if (stopping_) return false;
    appendTraceEvents(out, trace_, cursor.seq);
    if (stateSeq_ != cursor.stateSeq) {
        // The changes after the cursor, when every one of them is kept.
        bool kept = cursor.stateSeq != 0 && !changes_.empty() && changes_.front().seq <= cursor.stateSeq + 1 &&
                    changes_.back().seq == stateSeq_ && cursor.stateSeq < stateSeq_;
        if (kept) {
            for (const auto& c : changes_) {
                if (c.seq > cursor.stateSeq) out += "event: changes\ndata: " + c.json + "\n\n";
            }
        } else {
            out += "event: state\ndata: " + state_ + "\n\n";
        }
        cursor.stateSeq = stateSeq_;
    }
    cursor.lastWrite = std::chrono::steady_clock::now();
    return true;
}

void PageEvents::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

std::size_t PageEvents::traceKept() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return trace_.size();
}

}  // namespace zarn_host
