#include "web/supervisor/proxy.h"

#include <httplib.h>

#include <chrono>
#include <memory>
#include <thread>

#include "web/http/event_stream.h"
#include "web/http/http_server.h"
#include "web/http/login.h"
#include "web/page_server/page_state.h"
#include "web/supervisor/relayed_answer.h"
#include "web/supervisor/worker_connection.h"

namespace zarn_host {
namespace {

using Clock = std::chrono::steady_clock;

// The most of a worker's refusal of a state passed on.
constexpr std::size_t maxRefusalBytes = 16 * 1024;

}  // namespace

bool SupervisorProxy::forward(const std::string& method, const std::string& path, const httplib::Request& req,
                              httplib::Response& res) {
    int port = 0;
    uint64_t generation = 0;
    {
        std::unique_lock<std::mutex> lock(state_.mutex);
        state_.changed.wait_for(lock, std::chrono::seconds(20),
                                [this] { return state_.ready || state_.stopping || state_.crashes.givingUp(); });
        if (!state_.ready) {
            sendError(res, 503, state_.unavailable);
            return false;
        }
        port = state_.worker.port();
        generation = state_.generation;
    }
    if (method == "GET" && path == "/api/state") return relayState(req, res, port, generation);
    WorkerConnection connection(state_, port, generation, workerToken_);
    httplib::Client& client = connection.client();
    client.set_read_timeout(stepTimeoutSeconds_ + 10, 0);
    // A GET's parameters pass on as given (the worker judges them).
    // How the sender logged in (the gate set it) goes with a step to the worker.
    httplib::Headers headers;
    if (req.has_header(loginHeader)) headers.emplace(loginHeader, req.get_header_value(loginHeader));
    httplib::Result answer = method == "GET"
                                 ? client.Get(httplib::append_query_params(path, req.params))
                                 : client.Post(path, headers, req.body, req.get_header_value("Content-Type"));
    if (!answer) return workerLost(res, generation);
    res.status = answer->status;
    std::string type = answer->get_header_value("Content-Type");
    res.set_header("Cache-Control", "no-store");
    res.set_content(answer->body, type.empty() ? "application/json" : type.c_str());
    return true;
}

bool SupervisorProxy::workerLost(httplib::Response& res, uint64_t generation) {
    // The worker died under this request: say why once the supervisor knows.
    std::unique_lock<std::mutex> lock(state_.mutex);
    state_.changed.wait_for(lock, std::chrono::seconds(5),
                            [&] { return state_.generation != generation && !state_.fault.is_null(); });
    std::string why = state_.fault.is_null() ? std::string("the panel worker did not answer")
                                             : state_.fault.value("message", std::string());
    sendError(res, 502, why);
    return false;
}

// The state is megabytes on a large facility: it is passed on as the worker
// writes it, through a bounded buffer, never held whole. A page that leaves
// ends the worker's answer; a worker that ends mid-answer cuts the page's
// off (no last chunk), so the page cannot take it for whole.
bool SupervisorProxy::relayState(const httplib::Request& req, httplib::Response& res, int port, uint64_t generation) {
    std::string target = httplib::append_query_params("/api/state", req.params);
    std::string token = workerToken_;
    int timeout = stepTimeoutSeconds_ + 10;
    SupervisorState* state = &state_;
    auto answer = std::make_shared<RelayedAnswer>([state, port, generation, token, target, timeout](RelayedAnswer& to) {
        WorkerConnection connection(*state, port, generation, token);
        connection.client().set_read_timeout(timeout, 0);
        return static_cast<bool>(connection.client().Get(
            target, httplib::Headers{},
            [&to](const httplib::Response& r) { return to.head(r.status, r.get_header_value("Content-Type")); },
            [&to](const char* data, std::size_t length) { return to.write(data, length); }));
    });
    int status = 0;
    std::string type;
    if (!answer->waitHead(status, type)) return workerLost(res, generation);
    if (status != 200) {
        // A refusal is a line: passed on whole, as the server's own error
        // answers take the place of an empty body.
        std::string body, piece;
        while (body.size() < maxRefusalBytes && answer->read(piece)) body += piece;
        answer->close();
        res.status = status;
        res.set_header("Cache-Control", "no-store");
        res.set_content(body.substr(0, maxRefusalBytes), type.empty() ? "application/json" : type.c_str());
        return true;
    }
    // A fault the supervisor knows of goes into the state, as its first key.
    std::string fault;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        if (!state_.fault.is_null()) fault = "\"fault\":" + jsonText(state_.fault);
    }
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        type.empty() ? "application/json" : type,
        [answer, fault, start = std::string(), piece = std::string()](std::size_t, httplib::DataSink& sink) mutable {
            if (!answer->read(piece)) {
                if (!answer->complete()) return false;
                if (!start.empty() && !sink.write(start.data(), start.size())) return false;
                sink.done();
                return true;
            }
            if (!fault.empty()) {
                // Two bytes tell an object and whether it is empty.
                start += piece;
                if (start.size() < 2) return true;
                piece = start[0] != '{' ? start : "{" + fault + (start[1] == '}' ? "" : ",") + start.substr(1);
                fault.clear();
                start = std::string();
            }
            return sink.write(piece.data(), piece.size());
        },
        [answer](bool) { answer->close(); });
    return true;
}

// One turn of a page's event stream: the notices it has not had, then the
// worker's own stream until it ends, or a wait for the next worker.
bool SupervisorProxy::streamStep(Stream& stream, httplib::DataSink& sink) {
    std::string out;
    int port = 0;
    uint64_t generation = 0;
    {
        std::unique_lock<std::mutex> lock(state_.mutex);
        auto news = [&] {
            return state_.stopping || (!state_.notices.empty() && state_.notices.back().seq > stream.noticeSeq) ||
                   state_.ready;
        };
        if (!news()) state_.changed.wait_for(lock, std::chrono::seconds(3), news);
        if (state_.stopping) return false;
        for (const auto& n : state_.notices) {
            if (n.seq > stream.noticeSeq) out += n.event;
        }
        if (!state_.notices.empty()) stream.noticeSeq = std::max(stream.noticeSeq, state_.notices.back().seq);
        if (state_.ready) {
            port = state_.worker.port();
            generation = state_.generation;
        }
    }
    if (out.empty() && port == 0) out = ": waiting for the panel\n\n";  // finds a page that left
    if (!out.empty() && !sink.write(out.data(), out.size())) return false;
    if (port == 0) return true;
    auto started = Clock::now();
    bool pageGone = false;
    RelayedEventStream relayed;
    WorkerConnection connection(state_, port, generation, workerToken_);
    connection.client().set_read_timeout(15, 0);  // the worker's stream writes at least every 5 s
    connection.client().Get("/api/events", [&](const char* data, std::size_t length) {
        if (stopRequested_ || !sink.write(data, length)) {
            pageGone = true;
            return false;
        }
        relayed.pass(data, length);
        return true;
    });
    if (pageGone || stopRequested_) return false;
    // A worker that died mid-event: the page drops the piece.
    std::string closing = relayed.closing();
    if (!closing.empty() && !sink.write(closing.data(), closing.size())) return false;
    if (Clock::now() - started < std::chrono::milliseconds(500)) std::this_thread::sleep_for(std::chrono::seconds(1));
    return true;
}

const std::vector<SupervisorProxy::Route>& SupervisorProxy::forwardedRoutes() {
    static const std::vector<Route> table = {
        {"GET", "/api/state"}, {"GET", "/api/rows"},   {"GET", "/api/sources"},  {"GET", "/api/history"},
        {"POST", "/api/step"}, {"POST", "/api/clock"}, {"POST", "/api/session"},
    };
    return table;
}

void SupervisorProxy::routes(httplib::Server& server) {
    for (const Route& route : forwardedRoutes()) {
        std::string method = route.method, p = route.path;
        auto handler = [this, method, p](const httplib::Request& req, httplib::Response& res) {
            forward(method, p, req, res);
        };
        if (method == "GET") {
            server.Get(route.path, handler);
        } else {
            server.Post(route.path, handler);
        }
    }
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        auto stream = std::make_shared<Stream>();
        bool opened = false;
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            if (state_.streams < maxEventStreams) {
                opened = true;
                ++state_.streams;
                // A page that opens after a fault sees it.
                stream->noticeSeq =
                    state_.notices.empty() ? 0 : state_.notices.back().seq - (state_.fault.is_null() ? 0 : 1);
            }
        }
        serveEventStream(
            res, opened, [this, stream](httplib::DataSink& sink) { return streamStep(*stream, sink); },
            [this] {
                std::lock_guard<std::mutex> lock(state_.mutex);
                --state_.streams;
            });
    });
}

}  // namespace zarn_host
