// What the supervisor's threads share, under one mutex.
//
// Threads: the worker loop (superviseServe's own thread, worker_loop.cpp)
// starts each worker, brings it back to the session and handles its end; two
// reader threads per worker follow its standard output (worker) and standard
// error (errorTail); the HTTP server's threads forward the API and stream
// events (proxy.cpp). Each member says who writes it; every access, read or
// write, holds mutex, and changed is notified on every change the HTTP
// threads wait for.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "web/supervisor/crash_analysis.h"
#include "web/supervisor/worker_follower.h"

namespace httplib {
class Client;
}

namespace zarn_host {

struct SupervisorState {
    struct Notice {
        uint64_t seq;
        std::string event;  // the Server-Sent Events text
    };
    static constexpr std::size_t noticesKept = 64;
    static constexpr std::size_t stderrTailLines = 30;

    std::mutex mutex;
    std::condition_variable changed;

    // Worker loop writes; HTTP threads read.
    bool ready = false;                                 // the worker serves the session: forward to worker.port()
    uint64_t generation = 0;                            // a new worker, or the last one's end
    bool stopping = false;                              // the supervisor ends: streams end, requests are refused
    nlohmann::json fault;                               // the last fault report, null when none
    std::string unavailable = "the panel is starting";  // why requests are refused meanwhile
    CrashCount crashes;
    std::deque<Notice> notices;  // fault events for the pages, newest last (notice())
    uint64_t nextNotice = 1;

    // HTTP threads: event streams open.
    std::size_t streams = 0;
    // HTTP threads list their connections to the serving worker
    // (WorkerConnection); the worker loop stops them when it ends.
    std::set<httplib::Client*> workerClients;

    // The worker's standard output reader writes; the worker loop reads, and
    // resets it for each new worker.
    WorkerFollower worker;
    // The worker's standard error reader writes; the worker loop reads it
    // once the worker ended, and clears it for each new worker.
    std::deque<std::string> errorTail;

    // Queues a fault event (and its trace line) for every page; takes mutex.
    void notice(const nlohmann::json& body);
};

}  // namespace zarn_host
