// The browser front-end of zarn_host: an HTTP server with a JSON API, a
// Server-Sent Events stream and the embedded page, over the same step
// interpreter as scenario files and standard input.
//
// Threads: the thread that calls run() is the panel thread, the only one that
// touches the host, the runner, the panel and the bridges; the server's
// threads answer HTTP and queue work to it, waiting for the answer. Build,
// listen() and destroy on one thread (the panel thread or the one before it);
// stop() may be called from any thread. The trace the page sees is kept in a
// bounded ring, so a long session stays flat.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "bridges/bridges.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "web/http/page_limits.h"
#include "web/page_server/worker_link.h"

namespace zarn_host {

struct WebFrontOptions {
    // Watched for changes; empty: no reload.
    std::string libraryPath;
    // Closes and opens the panel library again; called on the panel thread
    // with no panel loaded.
    std::function<bool(std::string& error)> reopenLibrary;
    // Named at the top of the recorded session.
    std::string facilityPath;
    // Lines the recorded session starts with (the command line's offline
    // devices and scenario).
    std::vector<std::string> prelude;
    // Where the runner reports when no page step runs.
    std::ostream* err = nullptr;
    // Trace lines kept for the page.
    std::size_t traceLines = keptTraceLines;
    // How long a step may run (--step-timeout): a page's job waits for the
    // panel thread as long, and a little more.
    int stepTimeoutSeconds = 10;
    // The facility's bridges, exchanged with on the panel thread; null for none.
    Bridges* bridges = nullptr;
    // Told of each step the page runs, on the panel thread: stepRun before it
    // runs, stepDone after, stepKept when the session keeps it (the --serve
    // supervisor follows them).
    std::function<void(WorkerMessage::Kind what, const std::string& line)> stepWatch;
    // Non-empty: every request needs "Authorization: Bearer loginToken" (the
    // worker answers only its supervisor, by the login the supervisor's own
    // server uses); the supervisor then says how each request's sender
    // logged in (loginHeader), which the steps' origins carry.
    std::string loginToken;
};

class WebFront {
public:
    WebFront(SimHost& host, ScenarioRunner& runner, WebFrontOptions options);
    ~WebFront();
    WebFront(const WebFront&) = delete;
    WebFront& operator=(const WebFront&) = delete;

    // Binds address:port (port 0 picks a free one) and starts serving; false
    // with a one-line error when the address cannot be bound.
    // Only requests whose Host names that address (or a loopback name) with
    // the bound port are answered.
    bool listen(const std::string& address, int port, std::string& error);
    int port() const;
    // The address and port the guard expects in Host when listen() was not
    // called (answer() in tests and the HTTP API fuzzer).
    void setServedAddress(const std::string& address, int port);

    // Answers the requests in `request`, the bytes a client would send, as
    // the server would (guard, routes, error answers, security headers) but
    // without a socket; at most `maxRequests` of them on the one connection.
    // Returns the bytes of each answer. The panel thread (run()) must be
    // running. An event stream is answered with its headers and ends at its
    // first event; the state, streamed by a listening server, comes whole.
    std::vector<std::string> answer(const std::string& request, std::size_t maxRequests = 1);

    // The panel thread: runs queued work, the real-time clock and the library
    // watch until stop() or stopFlag. Returns with the server stopped.
    void run(const std::atomic<bool>& stopFlag);
    void stop();

    // Runs one step as the page would; on the panel thread only. Returns the
    // HTTP status and a one-line message (empty when all went well).
    int runStepLine(const std::string& line, std::string& message);
    // The session as a scenario; on the panel thread only. pins: panel id and
    // control id pairs whose properties it expects at the end.
    std::string sessionText(const std::vector<std::pair<std::string, std::string>>& pins) const;
    // Trace lines held for the page and steps recorded; for tests.
    std::size_t traceKept() const;
    std::size_t stepsRecorded() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "[HOST:]PORT" into its parts; false with a one-line error.
bool parseServeAddress(const std::string& text, std::string& host, int& port, std::string& error);

}  // namespace zarn_host
