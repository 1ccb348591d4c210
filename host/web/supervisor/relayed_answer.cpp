#include "web/supervisor/relayed_answer.h"

namespace zarn_host {

RelayedAnswer::RelayedAnswer(std::function<bool(RelayedAnswer&)> fetch, std::size_t limit)
    : limit_(limit), fetch_(std::move(fetch)) {
    thread_ = std::thread([this] {
        bool whole = fetch_(*this);
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        complete_ = whole;
        changed_.notify_all();
    });
}

RelayedAnswer::~RelayedAnswer() {
    close();
    thread_.join();
}

bool RelayedAnswer::head(int status, std::string type) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    headed_ = true;
    status_ = status;
    type_ = std::move(type);
    changed_.notify_all();
    return true;
}

bool RelayedAnswer::write(const char* data, std::size_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || held_.empty() || held_.size() + size <= limit_; });
    if (closed_) return false;
    held_.append(data, size);
    changed_.notify_all();
    return true;
}

bool RelayedAnswer::waitHead(int& status, std::string& type) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return headed_ || ended_; });
    if (!headed_) return false;
    status = status_;
    type = type_;
    return true;
}

bool RelayedAnswer::read(std::string& out) {
    out.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !held_.empty() || ended_ || closed_; });
    if (closed_ || held_.empty()) return false;  // a taker that left takes nothing more
    out.swap(held_);  // the two buffers take turns: no new one for each read
    changed_.notify_all();
    return true;
}

bool RelayedAnswer::complete() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_ && complete_ && held_.empty();
}

void RelayedAnswer::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    held_.clear();
    changed_.notify_all();
}

}  // namespace zarn_host
