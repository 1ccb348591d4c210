// Host timers on a virtual clock in milliseconds. Time moves only when the
// host is told to wait, so runs are repeatable.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace zarn_host {

class VirtualClock {
public:
    int64_t now() const { return now_; }
    // Starts or restarts timer id; its first tick comes interval ms from now.
    void start(int32_t id, int32_t interval);
    // False when the timer was not running.
    bool stop(int32_t id);
    bool running(int32_t id) const { return timers_.count(id) != 0; }
    std::size_t runningCount() const { return timers_.size(); }
    // When the next tick is due; nullopt when no timer runs.
    std::optional<int64_t> nextDue() const;

    // Takes the next tick due no later than until: moves the clock to its due
    // time, schedules the timer's following tick and returns its id. Ticks due
    // at the same time come in the order their timers were scheduled.
    std::optional<int32_t> takeDueTick(int64_t until);
    // Moves the clock forward to t (never back).
    void advanceTo(int64_t t);

private:
    struct Timer {
        int32_t interval;
        int64_t due;
        uint64_t order;
    };
    int64_t now_ = 0;
    uint64_t nextOrder_ = 0;
    std::map<int32_t, Timer> timers_;
};

}  // namespace zarn_host
