// Over 400 lines: the supervisor's worker loop, its HTTP forwarding and its
// crash handling share one state and one lock.
#include "web/supervisor/supervisor.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "model/json_input.h"
#include "platform/crash_report.h"
#include "run/host_app.h"
#include "scenario/scenario.h"
#include "text/command_text.h"
#include "web/http/http_guard.h"
#include "web/http/web_assets.h"
#include "web/page_server/library_watch.h"
#include "web/page_server/page_state.h"
#include "web/page_server/session_sources.h"
#include "web/page_server/web_front.h"
#include "web/supervisor/worker_process.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::size_t maxBodyBytes = 16 * 1024;
constexpr std::size_t maxStreams = 32;
constexpr std::size_t stderrTailLines = 30;
constexpr std::size_t noticesKept = 64;
constexpr std::size_t maxSessionSteps = 100000;  // as many as the worker's session keeps
constexpr const char* servingLine = "zarn_host: serving the panel at http://";

std::atomic<bool> stopRequested{false};

extern "C" void onSupervisorStop(int) {
    stopRequested = true;
}

std::string afterPrefix(const std::string& line, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    return line.compare(0, n, prefix) == 0 ? line.substr(n) : std::string();
}

class Supervisor {
public:
    Supervisor(const HostOptions& options, std::vector<std::string> arguments)
        : options_(options), arguments_(std::move(arguments)), watch_(options.panelLibrary) {}

    int run();

private:
    struct Notice {
        uint64_t seq;
        std::string event;  // the Server-Sent Events text
    };
    struct Stream {
        uint64_t noticeSeq = 0;
    };

    void routes();
    bool forward(const std::string& method, const std::string& path, const httplib::Request& req,
                 httplib::Response& res);
    bool streamStep(Stream& stream, httplib::DataSink& sink);
    void notice(json body);
    void readOutput(WorkerProcess& worker);
    void readErrors(WorkerProcess& worker);
    bool restore(const std::vector<std::string>& steps, std::size_t& reached);
    std::string writeScenario(const std::vector<std::string>& session, const std::string& fatal,
                              const std::string& what);
    void printAddress();

    const HostOptions& options_;
    std::vector<std::string> arguments_;
    LibraryWatch watch_;
    httplib::Server server_;
    HttpGuard guard_;
    std::string address_;
    int port_ = 0;
    bool addressPrinted_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    // The worker, as the HTTP threads see it.
    bool ready_ = false;
    int workerPort_ = 0;
    uint64_t generation_ = 0;
    bool stopping_ = false;
    json fault_;  // the last fault, null when none
    std::string unavailable_ = "the panel is starting";
    std::deque<Notice> notices_;
    uint64_t nextNotice_ = 1;
    std::size_t streams_ = 0;
    // Followed from the worker's output.
    bool serving_ = false;
    std::string running_;
    Clock::time_point runningSince_{};
    std::vector<std::string> session_;  // the page's steps kept, since the first worker served
    std::vector<std::string> startup_;  // steps this worker kept before it served (its first load)
    std::size_t ignoreKept_ = 0;        // replayed steps whose "kept" is not news
    std::deque<std::string> errorTail_;
    int crashes_ = 0;
};

void Supervisor::notice(json body) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = "event: fault\ndata: " + jsonText(body) + "\n\n";
    // The trace keeps it too.
    std::string line = body.value("message", std::string());
    text += "event: trace\ndata: " + jsonText(json{{"time", -1}, {"kind", "error"}, {"text", "!! " + line}}) + "\n\n";
    notices_.push_back({nextNotice_++, std::move(text)});
    if (notices_.size() > noticesKept) notices_.pop_front();
    changed_.notify_all();
}

void Supervisor::printAddress() {
    if (addressPrinted_) return;
    addressPrinted_ = true;
    std::string shown = address_.find(':') != std::string::npos ? "[" + address_ + "]" : address_;
    std::cout << "zarn_host: serving the panel at http://" << shown << ":" << port_ << "/" << std::endl;
    std::cerr << "zarn_host: Ctrl-C ends the session\n";
}

void Supervisor::readOutput(WorkerProcess& worker) {
    std::string line;
    while (worker.readLine(false, line)) {
        std::string rest = afterPrefix(line, workerLinePrefix);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!rest.empty()) {
            std::size_t space = rest.find(' ');
            std::string what = rest.substr(0, space);
            std::string step = space == std::string::npos ? "" : rest.substr(space + 1);
            if (what == "run") {
                running_ = step;
                runningSince_ = Clock::now();
            } else if (what == "done") {
                running_.clear();
            } else if (what == "kept") {
                if (!serving_) {
                    startup_.push_back(step);
                } else if (ignoreKept_ > 0) {
                    --ignoreKept_;
                } else if (session_.size() < maxSessionSteps) {
                    session_.push_back(step);
                }
            }
            continue;
        }
        std::string address = afterPrefix(line, servingLine);
        if (!address.empty()) {
            std::size_t colon = address.rfind(':');
            int32_t port = 0;
            if (colon != std::string::npos && parseInt32(address.substr(colon + 1, address.size() - colon - 2), port)) {
                workerPort_ = port;
                serving_ = true;
                changed_.notify_all();
            }
            continue;
        }
        std::cout << line << std::endl;
    }
}

void Supervisor::readErrors(WorkerProcess& worker) {
    std::string line;
    while (worker.readLine(true, line)) {
        if (line == "zarn_host: Ctrl-C ends the session") continue;
        std::cerr << line << "\n";
        std::lock_guard<std::mutex> lock(mutex_);
        errorTail_.push_back(printable(line, 400));
        if (errorTail_.size() > stderrTailLines) errorTail_.pop_front();
    }
}

// Replays steps into the worker that just started; reached: how many ran.
bool Supervisor::restore(const std::vector<std::string>& steps, std::size_t& reached) {
    int port;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port = workerPort_;
    }
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(options_.stepTimeoutSeconds + 5, 0);
    for (reached = 0; reached < steps.size(); ++reached) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++ignoreKept_;
        }
        auto res = client.Post("/api/step", jsonText(json{{"step", steps[reached]}}), "application/json");
        if (!res) return false;
        if (res->status != 200) {
            std::lock_guard<std::mutex> lock(mutex_);
            --ignoreKept_;
        }
    }
    return true;
}

std::string Supervisor::writeScenario(const std::vector<std::string>& session, const std::string& fatal,
                                      const std::string& what) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir = options_.crashDir.empty() ? fs::temp_directory_path(ec) : fs::u8path(options_.crashDir);
    static int written = 0;
    fs::path path = dir / ("zarn_host-crash-" +
                           std::to_string(static_cast<long long>(
                               std::chrono::system_clock::now().time_since_epoch().count() % 1000000000)) +
                           "-" + std::to_string(++written) + ".scenario");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return "";
    file << "# A session of zarn_host --serve up to the step that crashed the panel (" << what << ").\n"
         << "# zarn_host --panel LIBRARY [--facility FILE] --scenario <this file> replays it.\n"
         << sessionSources(options_.panelLibrary, options_.facility);
    for (const auto& name : options_.offline) file << "offline " << scenarioQuoted(name) << "\n";
    if (!options_.scenario.empty()) {
        std::string text, why;
        std::vector<ScenarioStep> steps;
        if (readTextFile(options_.scenario, text, why) && parseScenario(text, options_.scenario, steps, why)) {
            for (const auto& step : steps) file << step.source << "\n";
        }
    }
    for (const auto& line : startup_) file << line << "\n";
    for (const auto& line : session) file << line << "\n";
    if (!fatal.empty()) file << fatal << "\n";
    return file ? path.u8string() : "";
}

bool Supervisor::forward(const std::string& method, const std::string& path, const httplib::Request& req,
                         httplib::Response& res) {
    int port = 0;
    uint64_t generation = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20),
                          [this] { return ready_ || stopping_ || crashes_ >= maxCrashesAtOneStep; });
        if (!ready_) {
            res.status = 503;
            res.set_content(jsonText(json{{"error", unavailable_}}), "application/json");
            return false;
        }
        port = workerPort_;
        generation = generation_;
    }
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(options_.stepTimeoutSeconds + 10, 0);
    httplib::Result answer =
        method == "GET" ? client.Get(path) : client.Post(path, req.body, req.get_header_value("Content-Type"));
    if (!answer) {
        // The worker died under this request: say why once the supervisor knows.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5),
                          [&] { return generation_ != generation && !fault_.is_null(); });
        std::string why =
            fault_.is_null() ? std::string("the panel worker did not answer") : fault_.value("message", std::string());
        res.status = 502;
        res.set_content(jsonText(json{{"error", why}}), "application/json");
        return false;
    }
    res.status = answer->status;
    std::string type = answer->get_header_value("Content-Type");
    std::string body = answer->body;
    if (path == "/api/state" && answer->status == 200) {
        json state = json::parse(body, nullptr, false);
        std::lock_guard<std::mutex> lock(mutex_);
        if (state.is_object() && !fault_.is_null()) {
            state["fault"] = fault_;
            body = jsonText(state);
        }
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, type.empty() ? "application/json" : type.c_str());
    return true;
}

// One turn of a page's event stream: the notices it has not had, then the
// worker's own stream until it ends, or a wait for the next worker.
bool Supervisor::streamStep(Stream& stream, httplib::DataSink& sink) {
    std::string out;
    int port = 0;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        auto news = [&] {
            return stopping_ || (!notices_.empty() && notices_.back().seq > stream.noticeSeq) || ready_;
        };
        if (!news()) changed_.wait_for(lock, std::chrono::seconds(3), news);
        if (stopping_) return false;
        for (const auto& n : notices_) {
            if (n.seq > stream.noticeSeq) out += n.event;
        }
        if (!notices_.empty()) stream.noticeSeq = std::max(stream.noticeSeq, notices_.back().seq);
        if (ready_) port = workerPort_;
    }
    if (out.empty() && port == 0) out = ": waiting for the panel\n\n";  // finds a page that left
    if (!out.empty() && !sink.write(out.data(), out.size())) return false;
    if (port == 0) return true;
    auto started = Clock::now();
    bool pageGone = false;
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(15, 0);  // the worker's stream writes at least every 5 s
    client.Get("/api/events", [&](const char* data, std::size_t length) {
        if (stopRequested || !sink.write(data, length)) {
            pageGone = true;
            return false;
        }
        return true;
    });
    if (pageGone || stopRequested) return false;
    if (Clock::now() - started < std::chrono::milliseconds(500)) std::this_thread::sleep_for(std::chrono::seconds(1));
    return true;
}

void Supervisor::routes() {
    server_.set_payload_max_length(maxBodyBytes);
    server_.set_keep_alive_timeout(1);
    server_.new_task_queue = [] { return new httplib::ThreadPool(maxStreams + 16); };
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
    server_.set_error_handler(onError);
    guardServer(server_, guard_);
    for (std::size_t i = 0; i < webAssetCount; ++i) {
        const WebAsset& asset = webAssets[i];
        auto handler = [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.mime);
        };
        server_.Get(asset.path, handler);
        if (std::string(asset.path) == "/index.html") server_.Get("/", handler);
        if (std::string(asset.path) == "/favicon.svg") server_.Get("/favicon.ico", handler);
    }
    server_.Get("/api/state", [this](const httplib::Request& req, httplib::Response& res) {
        forward("GET", "/api/state", req, res);
    });
    for (const char* path : {"/api/step", "/api/clock", "/api/session"}) {
        std::string p = path;
        server_.Post(path,
                     [this, p](const httplib::Request& req, httplib::Response& res) { forward("POST", p, req, res); });
    }
    server_.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        auto stream = std::make_shared<Stream>();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (streams_ >= maxStreams) {
                res.status = 503;
                res.set_content(jsonText(json{{"error", "too many pages are watching"}}), "application/json");
                return;
            }
            ++streams_;
            // A page that opens after a fault sees it.
            stream->noticeSeq = notices_.empty() ? 0 : notices_.back().seq - (fault_.is_null() ? 0 : 1);
        }
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, stream](std::size_t, httplib::DataSink& sink) { return streamStep(*stream, sink); },
            [this](bool) {
                std::lock_guard<std::mutex> lock(mutex_);
                --streams_;
            });
    });
}

int Supervisor::run() {
    std::string error, warning;
    if (!parseServeAddress(options_.serve, address_, port_, error) ||
        !remoteServeAllowed(address_, options_.allowRemote, warning, error)) {
        std::cerr << "zarn_host: " << error << "\n";
        return 2;
    }
    if (!warning.empty()) std::cerr << warning << "\n";
    std::string program = WorkerProcess::currentProgram();
    if (program.empty()) {
        std::cerr << "zarn_host: --serve: cannot find the program's own file to start the panel's worker\n";
        return 2;
    }
    routes();
    if (port_ == 0) {
        port_ = server_.bind_to_any_port(address_);
    } else if (!server_.bind_to_port(address_, port_)) {
        port_ = -1;
    }
    if (port_ <= 0) {
        std::cerr << "zarn_host: cannot listen on " << address_ << ":" << options_.serve << "\n";
        return 2;
    }
    guard_ = HttpGuard(address_, port_);
    std::thread serverThread([this] { server_.listen_after_bind(); });
    std::signal(SIGINT, onSupervisorStop);
    std::signal(SIGTERM, onSupervisorStop);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> replay;  // the session a new worker is brought back to
    std::string lastKey;
    int status = crashExitStatus;
    bool everServed = false;
    while (!stopRequested) {
        auto worker = WorkerProcess::start(program, workerArguments(arguments_), error);
        if (!worker) {
            std::cerr << "zarn_host: " << error << "\n";
            status = 2;
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            serving_ = false;
            workerPort_ = 0;
            running_.clear();
            startup_.clear();
            errorTail_.clear();
            ignoreKept_ = 0;
        }
        std::thread outReader([this, &worker] { readOutput(*worker); });
        std::thread errReader([this, &worker] { readErrors(*worker); });
        bool restored = false, hung = false, stopped = false;
        std::size_t reached = 0;
        int exitStatus = 0, signal = 0;
        Clock::time_point hangKill{};
        for (;;) {
            if (worker->wait(std::chrono::milliseconds(50), exitStatus, signal)) break;
            if (stopRequested && !stopped) {
                stopped = true;
                worker->closeInput();
                hangKill = Clock::now() + std::chrono::seconds(10);
            }
            std::unique_lock<std::mutex> lock(mutex_);
            if (serving_ && !restored && !stopped) {
                restored = true;
                session_ = replay;
                lock.unlock();
                bool all = restore(replay, reached);
                lock.lock();
                if (all) {
                    ready_ = true;
                    ++generation_;
                    everServed = true;
                    bool wasFault = !fault_.is_null();
                    if (wasFault) fault_["phase"] = "restored";
                    changed_.notify_all();
                    lock.unlock();
                    printAddress();
                    if (wasFault) {
                        notice(json{{"phase", "restored"},
                                    {"message", "a new panel worker runs the session again: " +
                                                    std::to_string(replay.size()) + " steps replayed"}});
                    }
                    lock.lock();
                }
            }
            auto now = Clock::now();
            if (!running_.empty() && !hung && now - runningSince_ > std::chrono::seconds(options_.stepTimeoutSeconds)) {
                hung = true;
                hangKill = now + std::chrono::seconds(2);
                worker->interrupt();  // its crash report names the step and the commands
            }
            if ((hung || stopped) && hangKill != Clock::time_point{} && now > hangKill) worker->kill();
        }
        outReader.join();
        errReader.join();
        std::unique_lock<std::mutex> lock(mutex_);
        ready_ = false;
        ++generation_;
        if (stopped || (stopRequested && exitStatus != crashExitStatus && signal == 0)) {
            status = exitStatus;
            break;
        }
        // A run that never served and ended by itself (a bad option, a
        // failed scenario): its status, as without the supervisor.
        if (!everServed && !serving_ && signal == 0 && (exitStatus == 1 || exitStatus == 2)) {
            stopping_ = true;
            changed_.notify_all();
            status = exitStatus;
            lock.unlock();
            server_.stop();
            serverThread.join();
            return status;
        }
        // The fault: the step, what ended the worker, the last commands.
        std::string fatal = running_;
        std::vector<std::string> session = session_;
        if (restored && reached < replay.size()) {  // it died bringing the session back
            fatal = replay[reached];
            session.assign(replay.begin(), replay.begin() + static_cast<std::ptrdiff_t>(reached));
        }
        std::string what, where;
        std::vector<std::string> commands;
        for (const auto& line : errorTail_) {
            std::string s = afterPrefix(line, crashStepPrefix);
            if (!s.empty()) where = s;
            s = afterPrefix(line, crashCommandPrefix);
            if (!s.empty()) commands.push_back(s);
            s = afterPrefix(line, crashLinePrefix);
            if (!s.empty() && what.empty()) what = s;
        }
        if (hung) {
            what = "the step ran for more than " + std::to_string(options_.stepTimeoutSeconds) + " s";
        } else if (what.empty()) {
            what = signal != 0 ? "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")"
                               : "exit status " + std::to_string(exitStatus);
        }
        std::string tail;
        for (const auto& line : errorTail_) tail += line + "\n";
        std::string key = std::to_string(session.size()) + "\n" + fatal;
        crashes_ = key == lastKey ? crashes_ + 1 : 1;
        lastKey = key;
        lock.unlock();
        std::string scenario = writeScenario(session, fatal, what);
        std::string stepShown = fatal.empty() ? (where.empty() ? std::string("(between steps)") : where) : fatal;
        std::string message = "the panel crashed at step \"" + printable(stepShown, 200) + "\": " + what;
        bool givingUp = crashes_ >= maxCrashesAtOneStep;
        message += givingUp ? "; " + std::to_string(crashes_) + " times in a row: waiting for a rebuilt library"
                            : "; restoring the session";
        json fault{{"phase", givingUp ? "waiting" : "crashed"},
                   {"step", stepShown},
                   {"where", where},
                   {"signal", what},
                   {"commands", commands},
                   {"stderr", tail},
                   {"scenario", scenario},
                   {"crashes", crashes_},
                   {"message", message}};
        std::cerr << "zarn_host: " << message << "\n";
        if (!scenario.empty()) std::cerr << "zarn_host: the session up to that step: " << scenario << "\n";
        {
            std::lock_guard<std::mutex> relock(mutex_);
            fault_ = fault;
            unavailable_ = message;
        }
        notice(fault);
        printAddress();
        replay = session;
        if (givingUp) {
            while (!stopRequested && !watch_.changed(Clock::now())) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (stopRequested) break;
            {
                std::lock_guard<std::mutex> relock(mutex_);
                crashes_ = 0;
                unavailable_ = "the panel library changed: starting it";
            }
            lastKey.clear();
            {
                std::lock_guard<std::mutex> relock(mutex_);
                fault_["phase"] = "reloading";
            }
            notice(json{{"phase", "reloading"}, {"message", "the panel library changed on disk: loading it"}});
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    server_.stop();
    serverThread.join();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}

}  // namespace

std::vector<std::string> workerArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--serve") {
            ++i;
            continue;
        }
        if (a.rfind("--serve=", 0) == 0 || a == "--allow-remote") continue;
        out.push_back(a);
    }
    out.insert(out.end(), {"--serve", "127.0.0.1:0", "--worker"});
    return out;
}

int superviseServe(const std::vector<std::string>& arguments, const HostOptions& options) {
    Supervisor supervisor(options, arguments);
    return supervisor.run();
}

}  // namespace zarn_host
