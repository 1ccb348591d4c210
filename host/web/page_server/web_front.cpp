// The page's HTTP API: each route beside the panel-thread job it queues, and
// the panel thread's loop. Over 400 lines because the routes read best as one
// table; what they share lives in page_state, page_events, panel_jobs,
// session_recorder, library_watch and http_guard.
#include "web/page_server/web_front.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "text/command_text.h"
#include "web/http/http_guard.h"
#include "web/http/web_assets.h"
#include "web/page_server/action_watch.h"
#include "web/page_server/library_watch.h"
#include "web/page_server/page_events.h"
#include "web/page_server/page_state.h"
#include "web/page_server/panel_jobs.h"
#include "web/page_server/session_recorder.h"
#include "web/page_server/session_sources.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t maxBodyBytes = 16 * 1024;
constexpr std::size_t maxStepChars = 1000;
constexpr std::size_t maxStreams = 32;
constexpr std::size_t maxPins = 1000;
constexpr int64_t realTimeLagMs = 1000;  // the real-time clock catches up at least this often

struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

Reply jsonReply(int status, const json& body) {
    return {status, "application/json", jsonText(body)};
}

Reply errorReply(int status, const std::string& message) {
    return jsonReply(status, json{{"error", message}});
}

// The runner's report as one line: without the "<browser>:N: " it starts
// with, its indented detail lines joined with "; ".
std::string oneLine(const std::string& report) {
    std::string text = report;
    std::size_t tag = text.find(": ");
    if (text.rfind("<browser>:", 0) == 0 && tag != std::string::npos) text = text.substr(tag + 2);
    if (text.rfind("error: ", 0) == 0) text = text.substr(7);
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n') {
            space = true;
            continue;
        }
        if (space) {
            while (i < text.size() && text[i] == ' ') ++i;
            if (i == text.size()) break;
            out += "; ";
            space = false;
            c = text[i];
        }
        out += c;
    }
    return printable(out, 400);
}

// The server, with the call that answers the requests on one connection
// open to tests and the fuzzer.
class Server : public httplib::Server {
public:
    using httplib::Server::process_request;
};

// A connection held in memory: reads the request bytes, keeps the answer.
// An event stream's writes fail after its headers, as when the page goes
// away, so its provider ends.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(const std::string& in) : in_(in) {}
    bool is_readable() const override { return position_ < in_.size(); }
    bool is_writable() const override { return !streamStarted_; }
    ssize_t read(char* ptr, std::size_t size) override {
        std::size_t n = std::min(size, in_.size() - position_);
        in_.copy(ptr, n, position_);
        position_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, std::size_t size) override {
        if (streamStarted_) return -1;
        out_.append(ptr, size);
        std::size_t end = out_.find("\r\n\r\n");
        if (end != std::string::npos && out_.rfind("HTTP/1.1 100", 0) != 0) {
            std::string head = out_.substr(0, end);
            std::transform(head.begin(), head.end(), head.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            streamStarted_ = head.find("transfer-encoding: chunked") != std::string::npos;
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    bool exhausted() const { return position_ >= in_.size(); }
    std::string takeOutput() {
        std::string out;
        out.swap(out_);
        streamStarted_ = false;
        return out;
    }

private:
    const std::string& in_;
    std::size_t position_ = 0;
    std::string out_;
    bool streamStarted_ = false;
};

}  // namespace

struct WebFront::Impl {
    Impl(SimHost& h, ScenarioRunner& r, WebFrontOptions o)
        : host(h),
          runner(r),
          options(std::move(o)),
          events(options.traceLines, maxStreams),
          libraryWatch(options.libraryPath) {}

    SimHost& host;
    ScenarioRunner& runner;
    WebFrontOptions options;
    Server server;
    HttpGuard guard;
    std::thread serverThread;
    int boundPort = 0;

    PanelJobs jobs;
    PageEvents events;

    // Panel-thread state.
    SessionRecorder recorder;
    int stepNumber = 0;
    bool dirty = true;
    bool realTime = false;
    SteadyClock::time_point realAnchor;
    int64_t virtualAnchor = 0;
    LibraryWatch libraryWatch;
    ActionWatch actions;

    // Queues f for the panel thread and waits for its reply.
    Reply onPanelThread(std::function<Reply()> f) {
        std::string why;
        std::optional<Reply> reply = jobs.call(std::move(f), why);
        return reply ? *reply : errorReply(503, why);
    }

    json stateJson() const {
        json state = pageState(host, runner, {options.libraryPath, realTime, recorder.size()});
        state["lastAction"] = actions.lastActionJson(host.facility());
        state["dependsOn"] = actions.dependenciesJson();
        state["bridges"] = json::array();
        state["umd"] = json::array();
        if (options.bridges) {
            json status = json::parse(options.bridges->statusJson(), nullptr, false);
            if (status.is_object()) {
                state["bridges"] = status["bridges"];
                state["umd"] = status["umd"];
            }
        }
        return state;
    }

    // Hands the state to the streams; with none watching it waits for one.
    void publish() {
        if (!dirty || !events.watched()) return;
        dirty = false;
        events.setState(jsonText(stateJson()));
    }

    int runStep(const std::string& rawLine, std::string& message, int64_t realTimeWait = -1) {
        if (rawLine.size() > maxStepChars) {
            message = "a step is at most " + std::to_string(maxStepChars) + " characters";
            return 400;
        }
        if (rawLine.find_first_of("\r\n") != std::string::npos) {
            message = "one step at a time: no line breaks";
            return 400;
        }
        ScenarioStep step;
        std::string why;
        if (!parseScenarioLine(rawLine, step, why)) {
            message = why;
            return 400;
        }
        if (step.keyword.empty()) {
            message = "no step given";
            return 400;
        }
        step.file = "<browser>";
        step.line = ++stepNumber;
        std::ostringstream report;
        runner.setErrorOut(report);
        if (options.stepWatch) options.stepWatch("run", rawLine);
        ScenarioRunner::Outcome outcome = runner.runStep(step);
        if (options.stepWatch) options.stepWatch("done", rawLine);
        if (options.err) runner.setErrorOut(*options.err);
        dirty = true;
        if (outcome == ScenarioRunner::Outcome::error) {
            message = oneLine(report.str());
            return 422;
        }
        if (outcome == ScenarioRunner::Outcome::expectationFailed) {
            message = oneLine(report.str());
            return 409;
        }
        std::size_t first = rawLine.find_first_not_of(" \t");
        std::size_t last = rawLine.find_last_not_of(" \t");
        recorder.record(rawLine.substr(first, last - first + 1), step.keyword, realTimeWait);
        if (options.stepWatch) options.stepWatch("kept", rawLine.substr(first, last - first + 1));
        return 200;
    }

    void realTimeTick() {
        if (!realTime || !host.loaded()) return;
        int64_t wall = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - realAnchor).count();
        int64_t target = virtualAnchor + wall;
        int64_t now = host.clock().now();
        if (target <= now) return;
        auto due = host.clock().nextDue();
        if ((!due || *due > target) && target - now < realTimeLagMs) return;
        std::string message;
        runStep("wait " + std::to_string(target - now), message, target - now);
    }

    void watchLibrary() {
        if (!options.reopenLibrary || !libraryWatch.changed(SteadyClock::now())) return;
        host.trace().line(TraceKind::step, "the panel library changed on disk: reloading it");
        bool wasLoaded = host.loaded();
        std::string message;
        if (wasLoaded) runStep("unload", message);
        std::string why;
        if (!options.reopenLibrary(why)) {
            host.trace().line(TraceKind::error, "reload failed: " + why);
            dirty = true;
            return;
        }
        if (wasLoaded) runStep("load", message);
        dirty = true;
    }

    std::string session(const std::vector<std::pair<std::string, std::string>>& pins) const {
        std::vector<std::string> prelude = {sessionSources(options.libraryPath, options.facilityPath)};
        prelude.back().pop_back();  // one line each, without the last line end
        prelude.insert(prelude.end(), options.prelude.begin(), options.prelude.end());
        return recorder.text(prelude, host, runner, pins);
    }

    void routes();
};

void WebFront::Impl::routes() {
    server.set_payload_max_length(maxBodyBytes);
    server.set_keep_alive_timeout(1);  // a browser's idle connection must not hold up the end
    server.new_task_queue = [] { return new httplib::ThreadPool(maxStreams + 16); };
    httplib::Server::HandlerWithResponse onError = [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string message = res.status == 404   ? "no such page"
                              : res.status == 413 ? "the body is larger than " + std::to_string(maxBodyBytes) + " bytes"
                              : res.status == 405 ? "method not allowed"
                              : res.status >= 500 ? "the host could not answer that"
                                                  : "bad request";
        res.set_content(jsonText(json{{"error", message}}), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(onError);
    guardServer(server, guard);
    auto send = [](httplib::Response& res, const Reply& reply) {
        res.status = reply.status;
        res.set_header("Cache-Control", "no-store");
        res.set_content(reply.body, reply.contentType.c_str());
    };
    // A body the browser's page sends: JSON only, so other sites' pages
    // cannot post here without the browser asking first.
    auto parseBody = [](const httplib::Request& req, json& body, Reply& bad) {
        std::string type = req.get_header_value("Content-Type");
        if (!mediaTypeIs(type, "application/json")) {
            bad = errorReply(415, "send JSON (Content-Type: application/json)");
            return false;
        }
        body = json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            bad = errorReply(400, "the body is not a JSON object");
            return false;
        }
        return true;
    };

    for (std::size_t i = 0; i < webAssetCount; ++i) {
        const WebAsset& asset = webAssets[i];
        auto handler = [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.mime);
        };
        server.Get(asset.path, handler);
        if (std::string(asset.path) == "/index.html") server.Get("/", handler);
        if (std::string(asset.path) == "/favicon.svg") server.Get("/favicon.ico", handler);
    }

    server.Get("/api/state", [this, send](const httplib::Request&, httplib::Response& res) {
        send(res, onPanelThread([this] { return jsonReply(200, stateJson()); }));
    });

    server.Post("/api/step", [this, send, parseBody](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        auto found = body.find("step");
        if (found == body.end() || !found->is_string()) return send(res, errorReply(400, "give the step as \"step\""));
        std::string line = found->get<std::string>();
        send(res, onPanelThread([this, line] {
                 std::string message;
                 int status = runStep(line, message);
                 json answer{{"ok", status == 200}};
                 if (status != 200) answer["error"] = message;
                 const auto& reply = runner.lastReply();
                 std::string keyword;
                 std::istringstream(line) >> keyword;
                 if (status == 200 && keyword == "parent") {
                     answer["reply"] = reply ? json(*reply) : json(nullptr);
                 }
                 publish();
                 return jsonReply(status, answer);
             }));
    });

    server.Post("/api/clock", [this, send, parseBody](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        auto found = body.find("realTime");
        if (found == body.end() || !found->is_boolean()) {
            return send(res, errorReply(400, "give \"realTime\": true or false"));
        }
        bool on = found->get<bool>();
        send(res, onPanelThread([this, on] {
                 realTime = on;
                 realAnchor = SteadyClock::now();
                 virtualAnchor = host.clock().now();
                 recorder.breakWaits();
                 host.trace().line(TraceKind::step,
                                   on ? "the clock follows the wall clock" : "the clock waits for wait steps");
                 dirty = true;
                 publish();
                 return jsonReply(200, json{{"ok", true}});
             }));
    });

    server.Post("/api/session", [this, send, parseBody](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        std::vector<std::pair<std::string, std::string>> pins;
        auto found = body.find("pins");
        if (found != body.end()) {
            if (!found->is_array() || found->size() > maxPins) {
                return send(res, errorReply(400, "\"pins\" is a list of {\"panel\", \"control\"}"));
            }
            for (const auto& pin : *found) {
                if (!pin.is_object() || !pin.contains("panel") || !pin.contains("control") ||
                    !pin["panel"].is_string() || !pin["control"].is_string()) {
                    return send(res, errorReply(400, "\"pins\" is a list of {\"panel\", \"control\"}"));
                }
                pins.emplace_back(pin["panel"].get<std::string>(), pin["control"].get<std::string>());
            }
        }
        send(res, onPanelThread([this, pins] {
                 for (const auto& pin : pins) {
                     const Panel* panel = host.panel(pin.first);
                     if (!panel || !panel->control(pin.second)) {
                         return errorReply(422, "no control \"" + printable(pin.second, 80) + "\" on panel \"" +
                                                    printable(pin.first, 80) + "\" to pin");
                     }
                 }
                 return Reply{200, "text/plain; charset=utf-8", session(pins)};
             }));
    });

    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        if (!events.openStream()) {
            res.status = 503;
            res.set_content(jsonText(json{{"error", "too many pages are watching"}}), "application/json");
            return;
        }
        auto cursor = std::make_shared<PageEvents::Cursor>();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor](std::size_t, httplib::DataSink& sink) {
                std::string out;
                if (!events.next(*cursor, out)) return false;
                return sink.write(out.data(), out.size());
            },
            [this](bool) { events.closeStream(); });
    });
}

WebFront::WebFront(SimHost& host, ScenarioRunner& runner, WebFrontOptions options)
    : impl_(std::make_unique<Impl>(host, runner, std::move(options))) {
    connectTrace(impl_->host.trace(), [impl = impl_.get()](TraceKind kind, const std::string& text, json entry) {
        impl->actions.line(kind, text);
        impl->events.addTrace(std::move(entry));
    });
    impl_->routes();
    if (Bridges* bridges = impl_->options.bridges) {
        // What a peer sent wakes the panel thread, which exchanges after each job.
        bridges->setWake([impl = impl_.get()] { impl->jobs.nudge(); });
    }
}

WebFront::~WebFront() {
    if (impl_->options.bridges) impl_->options.bridges->setWake(nullptr);
    stop();
    if (impl_->serverThread.joinable()) impl_->serverThread.join();
    connectTrace(impl_->host.trace(), nullptr);
}

bool WebFront::listen(const std::string& address, int port, std::string& error) {
    if (port == 0) {
        impl_->boundPort = impl_->server.bind_to_any_port(address);
        if (impl_->boundPort < 0) impl_->boundPort = 0;
    } else if (impl_->server.bind_to_port(address, port)) {
        impl_->boundPort = port;
    }
    if (impl_->boundPort == 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port);
        return false;
    }
    impl_->guard = HttpGuard(address, impl_->boundPort);
    impl_->serverThread = std::thread([this] { impl_->server.listen_after_bind(); });
    return true;
}

int WebFront::port() const {
    return impl_->boundPort;
}

void WebFront::setServedAddress(const std::string& address, int port) {
    impl_->guard = HttpGuard(address, port);
}

std::vector<std::string> WebFront::answer(const std::string& request, std::size_t maxRequests) {
    std::vector<std::string> answers;
    MemoryStream stream(request);
    for (std::size_t i = 0; i < maxRequests && !stream.exhausted(); ++i) {
        bool closed = false;
        bool ok = impl_->server.process_request(stream, i + 1 == maxRequests, closed, [](httplib::Request&) {});
        answers.push_back(stream.takeOutput());
        if (!ok || closed) break;
    }
    return answers;
}

void WebFront::run(const std::atomic<bool>& stopFlag) {
    Impl& d = *impl_;
    d.publish();
    while (!stopFlag) {
        if (!d.jobs.runQueued(std::chrono::milliseconds(100))) break;
        if (d.options.bridges && d.options.bridges->exchange(d.host)) d.dirty = true;
        d.realTimeTick();
        d.watchLibrary();
        d.publish();
    }
    stop();
    if (d.serverThread.joinable()) d.serverThread.join();
    d.jobs.drop();  // their waiters hear that the host is stopping
}

void WebFront::stop() {
    impl_->jobs.stop();
    impl_->events.stop();
    impl_->server.stop();
}

int WebFront::runStepLine(const std::string& line, std::string& message) {
    int status = impl_->runStep(line, message);
    impl_->publish();
    return status;
}

std::string WebFront::sessionText(const std::vector<std::pair<std::string, std::string>>& pins) const {
    return impl_->session(pins);
}

std::size_t WebFront::traceKept() const {
    return impl_->events.traceKept();
}

std::size_t WebFront::stepsRecorded() const {
    return impl_->recorder.size();
}

}  // namespace zarn_host
