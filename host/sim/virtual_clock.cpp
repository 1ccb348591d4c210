#include "sim/virtual_clock.h"

namespace zarn_host {

void VirtualClock::start(int32_t id, int32_t interval) {
    timers_[id] = Timer{interval, now_ + interval, nextOrder_++};
}

bool VirtualClock::stop(int32_t id) {
    return timers_.erase(id) != 0;
}

std::optional<int32_t> VirtualClock::takeDueTick(int64_t until) {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due > until) continue;
        if (best == timers_.end() || it->second.due < best->second.due ||
            (it->second.due == best->second.due && it->second.order < best->second.order)) {
            best = it;
        }
    }
    if (best == timers_.end()) return std::nullopt;
    advanceTo(best->second.due);
    best->second.due += best->second.interval;
    best->second.order = nextOrder_++;
    return best->first;
}

std::optional<int64_t> VirtualClock::nextDue() const {
    std::optional<int64_t> due;
    for (const auto& entry : timers_) {
        if (!due || entry.second.due < *due) due = entry.second.due;
    }
    return due;
}

void VirtualClock::advanceTo(int64_t t) {
    if (t > now_) now_ = t;
}

}  // namespace zarn_host
