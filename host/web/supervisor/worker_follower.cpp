#include "web/supervisor/worker_follower.h"

#include "web/http/page_limits.h"

namespace zarn_host {

void WorkerFollower::restart() {
    port_ = 0;
    running_.clear();
    startup_.clear();
    replayedUnkept_ = 0;
}

void WorkerFollower::follow(const WorkerMessage& message, Clock::time_point now) {
    switch (message.kind) {
        case WorkerMessage::Kind::ready:
            port_ = message.port;
            break;
        case WorkerMessage::Kind::stepRun:
            running_ = message.step;
            runningSince_ = now;
            break;
        case WorkerMessage::Kind::stepDone:
            running_.clear();
            break;
        case WorkerMessage::Kind::stepKept:
            if (!serving()) {
                startup_.push_back(message.step);
            } else if (replayedUnkept_ > 0) {
                --replayedUnkept_;
            } else if (session_.size() < keptSessionSteps) {
                session_.push_back(message.step);
            }
            break;
        case WorkerMessage::Kind::output:
        case WorkerMessage::Kind::malformed:
            break;
    }
}

bool WorkerFollower::overdue(Clock::time_point now, std::chrono::seconds limit) const {
    return !running_.empty() && now - runningSince_ > limit;
}

void WorkerFollower::startReplay(std::vector<std::string> replay) {
    session_ = std::move(replay);
}

void WorkerFollower::replayRefused() {
    if (replayedUnkept_ > 0) --replayedUnkept_;
}

}  // namespace zarn_host
