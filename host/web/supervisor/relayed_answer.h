// An answer read on a thread of its own and handed to another thread as it
// comes: first its status and type, then its body through a bounded buffer.
// The reading thread waits while the buffer is full, so a slow taker slows
// the source down (over TCP, the worker's writes) instead of the buffer
// growing, and a taker that leaves makes the reading thread's next write fail.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zarn_host {

class RelayedAnswer {
public:
    static constexpr std::size_t bufferBytes = 64 * 1024;

    // Starts fetch on the answer's own thread: it gives the head (head())
    // once, then the body (write()), and returns whether the body came whole.
    // limit: the body's bytes held at most (one write more when none are).
    explicit RelayedAnswer(std::function<bool(RelayedAnswer&)> fetch, std::size_t limit = bufferBytes);
    // Closes and waits for the thread.
    ~RelayedAnswer();
    RelayedAnswer(const RelayedAnswer&) = delete;
    RelayedAnswer& operator=(const RelayedAnswer&) = delete;

    // The fetching thread. False once the taker closed.
    bool head(int status, std::string type);
    // Waits for room; false once the taker closed.
    bool write(const char* data, std::size_t size);

    // The taker. Waits for the head; false when the fetch ended without one.
    bool waitHead(int& status, std::string& type);
    // Waits for body bytes and takes all that are held into out; false, with
    // out empty, once the body ended or the taker closed.
    bool read(std::string& out);
    // Once read() gave false: whether the body came whole.
    bool complete();
    // The taker leaves: what is held is dropped, and the fetch's writes fail from now on.
    void close();

private:
    const std::size_t limit_;
    std::function<bool(RelayedAnswer&)> fetch_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool headed_ = false;
    int status_ = 0;
    std::string type_;
    std::string held_;
    bool ended_ = false;     // the fetch returned
    bool complete_ = false;  // and said the body came whole
    bool closed_ = false;
    std::thread thread_;  // last: started once the rest is set up
};

}  // namespace zarn_host
