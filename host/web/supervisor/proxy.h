// The supervisor's HTTP server's routes: the page's files, the API forwarded
// to the worker, and event streams that pass on the worker's stream, the
// supervisor's fault notices, and outlive the worker.
//
// Threads: routes() is called once before the server starts; the rest runs on
// the HTTP server's threads, reading state under its mutex.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "web/supervisor/supervisor_state.h"

namespace httplib {
class Server;
class DataSink;
struct Request;
struct Response;
}  // namespace httplib

namespace zarn_host {

class SupervisorProxy {
public:
    // stepTimeoutSeconds: how long a forwarded step may take; stopRequested:
    // the supervisor was told to end (streams end at once).
    SupervisorProxy(SupervisorState& state, int stepTimeoutSeconds, const std::atomic<bool>& stopRequested)
        : state_(state), stepTimeoutSeconds_(stepTimeoutSeconds), stopRequested_(stopRequested) {}

    void routes(httplib::Server& server);

    // The token the worker's API asks of the supervisor (set before the
    // server starts).
    void setWorkerToken(std::string token) { workerToken_ = std::move(token); }

    // The routes forwarded to the worker, besides the event stream.
    struct Route {
        const char* method;
        const char* path;
    };
    static const std::vector<Route>& forwardedRoutes();

private:
    struct Stream {
        uint64_t noticeSeq = 0;  // the last notice this stream was sent
    };
    bool forward(const std::string& method, const std::string& path, const httplib::Request& req,
                 httplib::Response& res);
    bool relayState(const httplib::Request& req, httplib::Response& res, int port, uint64_t generation);
    // Answers 502 for a request the worker did not answer.
    bool workerLost(httplib::Response& res, uint64_t generation);
    bool streamStep(Stream& stream, httplib::DataSink& sink);

    SupervisorState& state_;
    const int stepTimeoutSeconds_;
    const std::atomic<bool>& stopRequested_;
    std::string workerToken_;
};

}  // namespace zarn_host
