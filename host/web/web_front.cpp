#include "host/web/web_front.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <filesystem>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "host/command_text.h"
#include "host/web/action_watch.h"
#include "host/web/event_stream.h"
#include "host/web/http_guard.h"
#include "host/web/session_sources.h"
#include "host/web/web_assets.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t maxBodyBytes = 16 * 1024;
constexpr std::size_t maxStepChars = 1000;
constexpr std::size_t maxQueuedJobs = 256;
constexpr std::size_t maxStreams = 32;
constexpr std::size_t maxRecordedSteps = 100000;
constexpr std::size_t maxTraceLineChars = 2000;
constexpr std::size_t maxDestinationsShown = 512;
constexpr std::size_t maxPins = 1000;
constexpr int64_t realTimeLagMs = 1000;  // the real-time clock catches up at least this often
constexpr auto jobTimeout = std::chrono::seconds(30);
constexpr auto libraryPoll = std::chrono::milliseconds(500);

struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

// JSON text; bytes that are not UTF-8 (a panel's property, a cut-off text)
// become U+FFFD instead of failing.
std::string jsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

Reply jsonReply(int status, const json& body) {
    return {status, "application/json", jsonText(body)};
}

Reply errorReply(int status, const std::string& message) {
    return jsonReply(status, json{{"error", message}});
}

// What a trace line is, for the page's colours and filters.
const char* traceKind(int64_t time, const std::string& text) {
    if (time < 0) return "picture";
    if (text.rfind("== ", 0) == 0) return "step";
    if (text.rfind("<- ", 0) == 0) return "in";
    if (text.rfind("-> ", 0) == 0) return "out";
    if (text.rfind("   reply", 0) == 0) return "reply";
    if (text.rfind("   ! ", 0) == 0) return "refusal";
    if (text.rfind("!! FAULT", 0) == 0) return "fault";
    if (text.rfind("!! ", 0) == 0) return "error";
    return "note";
}

// One argument of a scenario line: bare when that reads back the same,
// quoted otherwise; nullopt when no scenario text can carry it.
std::optional<std::string> scenarioToken(const std::string& text) {
    bool bare = !text.empty() && text[0] != '"' && text[0] != '#';
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\n' && c != '\t') return std::nullopt;
        if (c == ' ' || c == '\t' || c == '\n' || c == '"' || c == '\\' || c == 0x7f) bare = false;
    }
    if (bare) return text;
    return scenarioQuoted(text);
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

struct FileStamp {
    bool exists = false;
    std::filesystem::file_time_type time{};
    std::uintmax_t size = 0;
    bool operator==(const FileStamp& o) const { return exists == o.exists && time == o.time && size == o.size; }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

FileStamp stampOf(const std::string& path) {
    FileStamp stamp;
    std::error_code ec;
    stamp.time = std::filesystem::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.size = std::filesystem::file_size(path, ec);
    stamp.exists = !ec;
    return stamp;
}

}  // namespace

struct WebFront::Impl {
    Impl(SimHost& h, ScenarioRunner& r, WebFrontOptions o) : host(h), runner(r), options(std::move(o)) {}

    SimHost& host;
    ScenarioRunner& runner;
    WebFrontOptions options;
    httplib::Server server;
    HttpGuard guard;
    ActionWatch actions;  // panel thread
    std::thread serverThread;
    int boundPort = 0;

    // Work for the panel thread.
    std::mutex jobsMutex;
    std::condition_variable jobsWake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;

    // What the streams send: the trace ring and the latest state.
    using TraceEntry = TraceEvent;
    mutable std::mutex eventsMutex;
    std::condition_variable eventsWake;
    std::deque<TraceEntry> trace;
    uint64_t nextSeq = 1;
    std::string state = "{}";
    uint64_t stateVersion = 0;
    std::size_t streams = 0;

    // Panel-thread state.
    std::vector<std::string> recorded;
    std::size_t dropped = 0;
    int64_t lastRealTimeWait = -1;  // the last recorded line is "wait N" from the real-time clock
    int stepNumber = 0;
    bool dirty = true;
    bool realTime = false;
    SteadyClock::time_point realAnchor;
    int64_t virtualAnchor = 0;
    FileStamp libraryStamp;
    FileStamp pendingStamp;
    SteadyClock::time_point nextPoll;

    // Queues f for the panel thread and waits for its reply.
    Reply onPanelThread(std::function<Reply()> f) {
        auto task = std::make_shared<std::packaged_task<Reply()>>(std::move(f));
        auto result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(jobsMutex);
            if (stopping) return errorReply(503, "the host is stopping");
            if (jobs.size() >= maxQueuedJobs) return errorReply(503, "the host is busy; try again");
            jobs.emplace_back([task] { (*task)(); });
        }
        jobsWake.notify_one();
        if (result.wait_for(jobTimeout) != std::future_status::ready) {
            return errorReply(503, "the panel thread did not answer in time");
        }
        try {
            return result.get();
        } catch (const std::future_error&) {
            return errorReply(503, "the host is stopping");
        }
    }

    void addTrace(int64_t time, const std::string& text) {
        actions.line(time, text);
        json entry{{"time", time}, {"kind", traceKind(time, text)}, {"text", printable(text, maxTraceLineChars)}};
        std::lock_guard<std::mutex> lock(eventsMutex);
        entry["seq"] = nextSeq;
        trace.push_back({nextSeq++, jsonText(entry)});
        while (trace.size() > options.traceLines) trace.pop_front();
        eventsWake.notify_all();
    }

    json stateJson() const {
        json panels = json::array();
        for (const auto& entry : host.panels()) {
            const Panel& panel = entry.second;
            json controls = json::array();
            for (const auto& c : panel.controls) {
                json properties = json::array();
                for (const auto& p : c.properties) properties.push_back({p.first, p.second});
                json entries = json::array();
                for (const auto& e : c.entries) entries.push_back({{"text", e.text}, {"value", e.value}});
                controls.push_back({{"id", c.id},
                                    {"kind", c.kind},
                                    {"label", c.label},
                                    {"properties", properties},
                                    {"entries", entries}});
            }
            json layout = json::array();
            for (const auto& row : panel.layout) {
                json cells = json::array();
                for (const auto& cell : row) cells.push_back({{"control", cell.control}, {"text", cell.text}});
                layout.push_back(cells);
            }
            json glyphs = json::object();
            for (const auto& g : panel.glyphs) glyphs[g.first] = g.second;
            panels.push_back({{"id", panel.id},
                              {"title", panel.title},
                              {"file", shownFileName(panel.file)},
                              {"controls", controls},
                              {"layout", layout},
                              {"glyphs", glyphs}});
        }
        const Facility& facility = host.facility();
        auto instanceName = [&](int32_t device) {
            for (const auto& i : facility.instances()) {
                if (i.device == device) return i.name;
            }
            return std::to_string(device);
        };
        json routers = json::array();
        for (const auto& entry : facility.routers()) {
            const Router& router = entry.second;
            json destinations = json::array();
            for (int32_t d = 1; d <= router.destinations && destinations.size() < maxDestinationsShown; ++d) {
                int32_t source = router.crosspoints[static_cast<std::size_t>(d)];
                auto name = router.destinationNames.find(d);
                destinations.push_back({{"number", d},
                                        {"name", name == router.destinationNames.end() ? "" : name->second},
                                        {"source", source},
                                        {"sourceName", source == 0 ? "" : router.sourceText(source)},
                                        {"locked", router.locked.count(d) != 0},
                                        {"registered", router.registered(d)}});
            }
            json sources = json::array();
            for (const auto& s : router.sourceNames) sources.push_back({{"number", s.first}, {"name", s.second}});
            routers.push_back({{"device", router.device},
                               {"name", instanceName(router.device)},
                               {"online", facility.online(router.device)},
                               {"sources", router.sources},
                               {"sourceNames", sources},
                               {"destinations", destinations}});
        }
        json devices = json::array();
        for (const auto& i : facility.instances()) {
            devices.push_back({{"name", i.name}, {"device", i.device}, {"online", facility.online(i.device)}});
        }
        json faults = json::array();
        for (const auto& f : host.faults()) faults.push_back(printable(f, 400));
        const auto& reply = runner.lastReply();
        return {
            {"loaded", host.loaded()},
            {"library", std::filesystem::path(options.libraryPath).filename().string()},
            {"panels", panels},
            {"routers", routers},
            {"devices", devices},
            {"lastAction", actions.lastActionJson(facility)},
            {"dependsOn", actions.dependenciesJson()},
            {"clock", {{"now", host.clock().now()}, {"realTime", realTime}, {"timers", host.clock().runningCount()}}},
            {"parent", {{"sent", runner.parentSent()}, {"reply", reply ? json(*reply) : json(nullptr)}}},
            {"summary",
             {{"commands", host.commandCount()},
              {"expectations", runner.expectationsMet()},
              {"faults", faults},
              {"steps", recorded.size()}}}};
    }

    // Hands the state to the streams; with none watching it waits for one.
    void publish() {
        if (!dirty) return;
        {
            std::lock_guard<std::mutex> lock(eventsMutex);
            if (streams == 0) return;
        }
        dirty = false;
        std::string text = jsonText(stateJson());
        std::lock_guard<std::mutex> lock(eventsMutex);
        state = std::move(text);
        ++stateVersion;
        eventsWake.notify_all();
    }

    void record(const std::string& line, const std::string& keyword, int64_t realTimeWait) {
        if (realTimeWait >= 0 && lastRealTimeWait >= 0 && !recorded.empty()) {
            lastRealTimeWait += realTimeWait;
            recorded.back() = "wait " + std::to_string(lastRealTimeWait);
            return;
        }
        lastRealTimeWait = realTimeWait;
        if (keyword == "show") return;  // draws only
        if (recorded.size() >= maxRecordedSteps) {
            ++dropped;
            return;
        }
        recorded.push_back(line);
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
        ScenarioRunner::Outcome outcome = runner.runStep(step);
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
        record(rawLine.substr(first, last - first + 1), step.keyword, realTimeWait);
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
        if (options.libraryPath.empty() || !options.reopenLibrary) return;
        auto now = SteadyClock::now();
        if (now < nextPoll) return;
        nextPoll = now + libraryPoll;
        FileStamp stamp = stampOf(options.libraryPath);
        if (stamp == libraryStamp || !stamp.exists) return;
        // A file still being written changes between two polls: wait for it to settle.
        if (stamp != pendingStamp) {
            pendingStamp = stamp;
            return;
        }
        libraryStamp = stamp;
        host.trace().line("== the panel library changed on disk: reloading it");
        bool wasLoaded = host.loaded();
        std::string message;
        if (wasLoaded) runStep("unload", message);
        std::string why;
        if (!options.reopenLibrary(why)) {
            host.trace().line("!! reload failed: " + why);
            dirty = true;
            return;
        }
        if (wasLoaded) runStep("load", message);
        dirty = true;
    }

    std::string session(const std::vector<std::pair<std::string, std::string>>& pins) const {
        std::string text =
            "# A session recorded in the browser. Replay it with\n"
            "#   zarn_host --panel LIBRARY --facility FACILITY --scenario THIS_FILE\n";
        text += sessionSources(options.libraryPath, options.facilityPath);
        for (const auto& line : options.prelude) text += line + "\n";
        for (const auto& line : recorded) text += line + "\n";
        if (dropped > 0) text += "# " + std::to_string(dropped) + " later steps were not kept\n";
        std::string panelId = runner.panelId();
        for (const auto& pin : pins) {
            const Panel* panel = host.panel(pin.first);
            const Control* control = panel ? panel->control(pin.second) : nullptr;
            if (!control) continue;
            if (pin.first != panelId) {
                auto id = scenarioToken(pin.first);
                if (!id) continue;
                text += "panel " + *id + "\n";
                panelId = pin.first;
            }
            for (const auto& p : control->properties) {
                auto id = scenarioToken(control->id);
                auto name = scenarioToken(p.first);
                auto value = scenarioToken(p.second);
                if (!id || !name || !value) {
                    text += "# " + printable(control->id) + " " + printable(p.first) + ": not expressible\n";
                    continue;
                }
                text += "expect property " + *id + " " + *name + " " + *value + "\n";
            }
        }
        return text;
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
                 lastRealTimeWait = -1;
                 host.trace().line(on ? "== the clock follows the wall clock" : "== the clock waits for wait steps");
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
        {
            std::lock_guard<std::mutex> lock(eventsMutex);
            if (streams >= maxStreams) {
                res.status = 503;
                res.set_content(jsonText(json{{"error", "too many pages are watching"}}), "application/json");
                return;
            }
            ++streams;
        }
        struct Cursor {
            uint64_t seq = 0;
            uint64_t stateVersion = 0;
            SteadyClock::time_point lastWrite{};
        };
        auto cursor = std::make_shared<Cursor>();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor](std::size_t, httplib::DataSink& sink) {
                std::string out;
                {
                    std::unique_lock<std::mutex> lock(eventsMutex);
                    // What comes within one interval goes out in one write.
                    eventsWake.wait_until(lock, cursor->lastWrite + minEventWriteInterval, [&] { return stopping; });
                    auto fresh = [&] {
                        return stopping || stateVersion != cursor->stateVersion ||
                               (!trace.empty() && trace.back().seq > cursor->seq);
                    };
                    if (!eventsWake.wait_for(lock, std::chrono::seconds(5), fresh)) {
                        out = ": idle\n\n";  // finds a page that went away
                    }
                    if (stopping) return false;
                    appendTraceEvents(out, trace, cursor->seq);
                    if (!trace.empty()) cursor->seq = trace.back().seq;
                    if (stateVersion != cursor->stateVersion) {
                        out += "event: state\ndata: " + state + "\n\n";
                        cursor->stateVersion = stateVersion;
                    }
                }
                cursor->lastWrite = SteadyClock::now();
                return sink.write(out.data(), out.size());
            },
            [this](bool) {
                std::lock_guard<std::mutex> lock(eventsMutex);
                --streams;
            });
    });
}

WebFront::WebFront(SimHost& host, ScenarioRunner& runner, WebFrontOptions options)
    : impl_(std::make_unique<Impl>(host, runner, std::move(options))) {
    impl_->host.trace().setSink(
        [impl = impl_.get()](int64_t time, const std::string& text) { impl->addTrace(time, text); });
    if (!impl_->options.libraryPath.empty()) impl_->libraryStamp = stampOf(impl_->options.libraryPath);
    impl_->pendingStamp = impl_->libraryStamp;
    impl_->routes();
}

WebFront::~WebFront() {
    stop();
    if (impl_->serverThread.joinable()) impl_->serverThread.join();
    impl_->host.trace().setSink(nullptr);
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

void WebFront::run(const std::atomic<bool>& stopFlag) {
    Impl& d = *impl_;
    d.publish();
    while (!stopFlag) {
        std::deque<std::function<void()>> batch;
        {
            std::unique_lock<std::mutex> lock(d.jobsMutex);
            d.jobsWake.wait_for(lock, std::chrono::milliseconds(100), [&] { return !d.jobs.empty() || d.stopping; });
            if (d.stopping) break;
            batch.swap(d.jobs);
        }
        for (auto& job : batch) job();
        d.realTimeTick();
        d.watchLibrary();
        d.publish();
    }
    stop();
    if (d.serverThread.joinable()) d.serverThread.join();
    std::lock_guard<std::mutex> lock(d.jobsMutex);
    d.jobs.clear();  // their waiters hear that the host is stopping
}

void WebFront::stop() {
    {
        std::lock_guard<std::mutex> lock(impl_->jobsMutex);
        impl_->stopping = true;
    }
    {
        std::lock_guard<std::mutex> lock(impl_->eventsMutex);
        impl_->stopping = true;
    }
    impl_->jobsWake.notify_all();
    impl_->eventsWake.notify_all();
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
    std::lock_guard<std::mutex> lock(impl_->eventsMutex);
    return impl_->trace.size();
}

std::size_t WebFront::stepsRecorded() const {
    return impl_->recorded.size();
}

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void onStopSignal(int) {
    stopRequested = true;
}

}  // namespace

bool serveWeb(ServeContext& context, std::string& error) {
    std::string address;
    int port = 0;
    if (!parseServeAddress(context.options.serve, address, port, error)) return false;
    std::string warning;
    if (!remoteServeAllowed(address, context.options.allowRemote, warning, error)) return false;
    if (!warning.empty()) context.err << warning << "\n";
    WebFrontOptions options;
    options.libraryPath = context.options.panelLibrary;
    options.reopenLibrary = context.reopenLibrary;
    options.prelude = context.prelude;
    options.facilityPath = context.options.facility;
    options.err = &context.err;
    WebFront front(context.host, context.runner, std::move(options));
    if (!front.listen(address, port, error)) return false;
    if (!context.runner.everLoaded()) {
        std::string message;
        if (front.runStepLine("load", message) != 200) context.err << "zarn_host: " << message << "\n";
    }
    std::string shown = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    context.out << "zarn_host: serving the panel at http://" << shown << ":" << front.port() << "/" << std::endl;
    context.err << "zarn_host: Ctrl-C ends the session\n";
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    front.run(stopRequested);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return true;
}

bool parseServeAddress(const std::string& text, std::string& host, int& port, std::string& error) {
    std::size_t colon = text.rfind(':');
    std::string portText = colon == std::string::npos ? text : text.substr(colon + 1);
    host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    int32_t value = -1;
    if (host.empty() || !parseInt32(portText, value) || value < 0 || value > 65535) {
        error = "--serve takes [HOST:]PORT with a port from 0 to 65535, not \"" + printable(text, 80) + "\"";
        return false;
    }
    port = value;
    return true;
}

}  // namespace zarn_host
