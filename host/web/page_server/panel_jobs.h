// Work for the host's panel thread: HTTP handlers queue a job and wait for its
// result, the panel thread runs the jobs one at a time. Only the panel thread
// touches the host, the runner and the panel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zarn_host {

// Threads: HTTP threads call(); the panel thread runQueued() and drop();
// nudge() and stop() from any thread (a bridge's I/O thread nudges). Every
// member below but the constant timeout_ is under mutex_; a job runs outside
// it, on the panel thread.
class PanelJobs {
public:
    static constexpr std::size_t maxQueued = 256;
    // A job waits for the panel thread at most the step timeout and this
    // much more: a step may take the whole step timeout.
    static constexpr std::chrono::seconds timeoutMargin{5};

    // stepTimeout: how long a step may run (--step-timeout).
    explicit PanelJobs(std::chrono::seconds stepTimeout = std::chrono::seconds(10))
        : timeout_(stepTimeout + timeoutMargin) {}

    // Runs f on the panel thread and waits for its result; nullopt with a
    // one-line why when the host is stopping, the queue is full or the panel
    // thread does not answer within the timeout.
    template <typename Result>
    std::optional<Result> call(std::function<Result()> f, std::string& why) {
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(f));
        auto result = task->get_future();
        if (!post([task] { (*task)(); }, why)) return std::nullopt;
        if (result.wait_for(timeout_) != std::future_status::ready) {
            why = "the panel thread did not answer in time";
            return std::nullopt;
        }
        try {
            return result.get();
        } catch (const std::future_error&) {
            why = "the host is stopping";  // the job was dropped unrun
            return std::nullopt;
        }
    }

    // The panel thread: waits up to wait for work and runs what is queued.
    // False, running nothing, once stop() was called.
    bool runQueued(std::chrono::milliseconds wait);
    // Wakes the panel thread without work (it then looks at what else waits);
    // never blocks.
    void nudge();
    // Refuses further jobs and wakes the panel thread.
    void stop();
    // Drops the jobs never run; their callers hear that the host is stopping.
    void drop();

private:
    bool post(std::function<void()> job, std::string& why);

    const std::chrono::seconds timeout_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    bool nudged_ = false;
};

}  // namespace zarn_host
