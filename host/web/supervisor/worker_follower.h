// What the supervisor knows of its worker from the worker's messages
// (worker_link.h): whether and where it serves, the step it is running since
// when, and the session the page built. Plain state, no lock and no clock of
// its own: SupervisorState holds it under its mutex, the caller says the time.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "web/page_server/worker_link.h"

namespace zarn_host {

class WorkerFollower {
public:
    using Clock = std::chrono::steady_clock;

    // A new worker starts: forgets what the last one said, but not the session.
    void restart();
    // Follows one of the worker's messages at now.
    void follow(const WorkerMessage& message, Clock::time_point now);

    bool serving() const { return port_ != 0; }
    int port() const { return port_; }
    // The step running now; empty between steps.
    const std::string& running() const { return running_; }
    // A step has been running for longer than limit at now.
    bool overdue(Clock::time_point now, std::chrono::seconds limit) const;

    // The page's steps kept since the first worker served, at most
    // keptSessionSteps; a new worker's first load and the steps it replays are
    // not news.
    const std::vector<std::string>& session() const { return session_; }
    // The steps this worker kept before it served (its first load).
    const std::vector<std::string>& startup() const { return startup_; }

    // A new worker serves and gets replay: the session is replay again.
    void startReplay(std::vector<std::string> replay);
    // One replayed step is sent; its "kept", if it comes, is not news.
    void replaying() { ++replayedUnkept_; }
    // The replayed step just sent was refused: no "kept" will come for it.
    void replayRefused();

private:
    int port_ = 0;
    std::string running_;
    Clock::time_point runningSince_{};
    std::vector<std::string> session_;
    std::vector<std::string> startup_;
    std::size_t replayedUnkept_ = 0;  // replayed steps whose "kept" is still to come
};

}  // namespace zarn_host
