// WebFront's insides, shared by its parts: web_front.cpp (the server's life),
// page_routes.cpp (the HTTP API), panel_loop.cpp (the panel thread's work)
// and memory_connection.cpp (answers without a socket).
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "web/http/http_guard.h"
#include "web/http/http_server.h"
#include "web/http/listener.h"
#include "web/http/login.h"
#include "web/page_server/action_watch.h"
#include "web/page_server/library_watch.h"
#include "web/page_server/page_events.h"
#include "web/page_server/page_state.h"
#include "web/page_server/panel_jobs.h"
#include "web/page_server/session_recorder.h"
#include "web/page_server/state_changes.h"
#include "web/page_server/web_front.h"

namespace zarn_host {

// An answer made on the panel thread, sent by the HTTP thread that waits.
struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

Reply jsonReply(int status, const nlohmann::json& body);
Reply errorReply(int status, const std::string& message);

// A name for one server's numbering of states, different for each server
// made: a worker restarted after a crash counts from 1 again, and its pages
// tell its numbers from the last one's by this.
std::string newEpoch();

// The server, with the call that answers the requests on one connection
// open to tests and the fuzzer.
class PageHttpServer : public httplib::Server {
public:
    using httplib::Server::process_request;
};

// Threads: the HTTP threads run the routes, which only queue jobs (jobs) and
// read the event streams (events); the panel thread (WebFront::run) runs the
// jobs and owns everything under "panel thread" below. server, guard,
// listener and boundPort are set up before the HTTP threads start
// (listen) and torn down after they end.
struct WebFront::Impl {
    Impl(SimHost& h, ScenarioRunner& r, WebFrontOptions o)
        : host(h),
          runner(r),
          options(std::move(o)),
          login(LoginSettings{options.loginToken, "", false, !options.loginToken.empty()}),
          jobs(std::chrono::seconds(options.stepTimeoutSeconds)),
          events(options.traceLines, maxEventStreams),
          libraryWatch(options.libraryPath),
          epoch(newEpoch()) {}

    // Panel thread only (the trace's sink runs there too).
    SimHost& host;
    ScenarioRunner& runner;
    const WebFrontOptions options;

    PageHttpServer server;
    HttpGuard guard;
    LoginGate login;
    std::unique_ptr<Listener> listener;  // once listening
    int boundPort = 0;

    // Thread-safe: the HTTP threads' way in and out.
    PanelJobs jobs;
    PageEvents events;
    std::atomic<int> stateReads{0};  // whole states being written (page_routes.cpp)

    // Panel thread.
    SessionRecorder recorder;
    int stepNumber = 0;
    bool stepRefusedOutside = false;  // the last step's outside route was refused (runStep's 409)
    bool dirty = true;                // the state changed since it was last published
    bool realTime = false;
    std::chrono::steady_clock::time_point realAnchor;
    int64_t virtualAnchor = 0;
    LibraryWatch libraryWatch;
    ActionWatch actions;
    StateChanges changes;     // the page's view as last published
    uint64_t stateSeq = 0;    // the last published state's sequence number
    const std::string epoch;  // what stateSeq counts within (newEpoch)

    // HTTP threads: queues f for the panel thread and waits for its reply.
    Reply onPanelThread(std::function<Reply()> f);
    // The routes of the page's API (page_routes.cpp).
    void routes();

    // Panel thread (panel_loop.cpp).
    nlohmann::json stateJson(RouterDetail detail = RouterDetail::whole) const;
    // Publishes the state and its change to the streams when it changed and
    // some stream watches (or force): each numbered by stateSeq, with epoch.
    void publish(bool force = false);
    int runStep(const std::string& rawLine, std::string& message, int64_t realTimeWait = -1);
    void setRealTime(bool on);
    void realTimeTick();
    void watchLibrary();
    std::string session(const std::vector<std::pair<std::string, std::string>>& pins) const;
};

}  // namespace zarn_host
