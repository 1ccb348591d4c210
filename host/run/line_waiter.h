// Waits for the next line of an input stream and, meanwhile, for other work:
// an interactive run whose steps come from standard input still answers the
// bridges' peers while nobody types. The stream is read on a thread of its
// own, one line at a time and only while the caller waits for one, so the
// waiting thread stays the only one that runs the host.
#pragma once

#include <condition_variable>
#include <functional>
#include <istream>
#include <mutex>
#include <string>
#include <thread>

namespace zarn_host {

class LineWaiter {
public:
    explicit LineWaiter(std::istream& in) : in_(in), thread_([this] { readLoop(); }) {}
    ~LineWaiter() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        thread_.join();  // the reader is never mid-read here: next() returned
    }
    LineWaiter(const LineWaiter&) = delete;
    LineWaiter& operator=(const LineWaiter&) = delete;

    // The next line (true) or the end of the input (false). While waiting,
    // runs idle on this thread once after each poke().
    bool next(std::string& line, const std::function<void()>& idle) {
        std::unique_lock<std::mutex> lock(mutex_);
        wanted_ = true;
        cv_.notify_all();
        for (;;) {
            cv_.wait(lock, [&] { return have_ || ended_ || poked_; });
            if (poked_) {
                poked_ = false;
                lock.unlock();
                if (idle) idle();
                lock.lock();
                continue;
            }
            if (have_) {
                have_ = false;
                line = std::move(line_);
                return true;
            }
            return false;  // ended_
        }
    }

    // Any thread: the waiting thread runs its idle work soon.
    void poke() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            poked_ = true;
        }
        cv_.notify_all();
    }

private:
    void readLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [&] { return wanted_ || stopping_; });
            if (stopping_) return;
            wanted_ = false;
            lock.unlock();
            std::string line;
            bool got = static_cast<bool>(std::getline(in_, line));
            lock.lock();
            if (!got) {
                ended_ = true;
                cv_.notify_all();
                return;
            }
            line_ = std::move(line);
            have_ = true;
            cv_.notify_all();
        }
    }

    std::istream& in_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::string line_;
    bool wanted_ = false;    // the waiting thread asks for a line
    bool have_ = false;      // line_ holds it
    bool ended_ = false;     // the input ended (or failed)
    bool poked_ = false;     // idle work waits
    bool stopping_ = false;  // the destructor runs
    std::thread thread_;     // last: starts once the members above are made
};

}  // namespace zarn_host
