// The supervisor's worker loop: starts the worker, follows its output,
// brings a new worker back to the session, and on its end hands what it saw
// to the crash analysis, tells the pages, and starts the next one.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "platform/crash_report.h"
#include "platform/executable_path.h"
#include "sim/audit_log.h"
#include "text/address.h"
#include "text/command_text.h"
#include "text/error_line.h"
#include "web/http/http_guard.h"
#include "web/http/http_server.h"
#include "web/http/listener.h"
#include "web/http/login.h"
#include "web/http/login_crypto.h"
#include "web/page_server/library_watch.h"
#include "web/page_server/page_state.h"
#include "web/page_server/web_front.h"
#include "web/page_server/worker_link.h"
#include "web/serve.h"
#include "web/supervisor/proxy.h"
#include "web/supervisor/supervisor.h"
#include "web/supervisor/worker_connection.h"
#include "web/supervisor/worker_process.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};
// Starts of a worker tried, a second apart, before the supervisor gives up.
constexpr int workerStartAttempts = 3;

extern "C" void onSupervisorStop(int) {
    stopRequested = true;
}

// Threads: run() is the worker loop; readOutput and readErrors run on a
// thread each per worker; the server's threads are the proxy's. The members
// other than state_ are the worker loop's, set before the server starts.
class Supervisor {
public:
    Supervisor(const HostOptions& options, std::vector<std::string> arguments)
        : options_(options),
          arguments_(std::move(arguments)),
          watch_(options.panelLibrary),
          proxy_(state_, options.stepTimeoutSeconds, stopRequested) {}

    int run();

private:
    // One worker from start to end; false when the loop ends with status.
    bool runWorker(const std::string& program, int& status);
    void readOutput(WorkerProcess& worker);
    void readErrors(WorkerProcess& worker);
    bool restore(const std::vector<std::string>& steps, std::size_t& reached);
    bool makeServer(std::string& error);
    void printAddress();
    void stopServer();

    const HostOptions& options_;
    std::vector<std::string> arguments_;
    LibraryWatch watch_;
    SupervisorState state_;
    SupervisorProxy proxy_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<Listener> listener_;
    HttpGuard guard_;
    std::unique_ptr<LoginGate> login_;
    bool tls_ = false;
    std::string workerToken_;  // what the worker's API asks of this supervisor
    std::string address_;
    int port_ = 0;
    bool addressPrinted_ = false;
    std::vector<std::string> replay_;  // the session a new worker is brought back to
    bool everServed_ = false;
};

void Supervisor::printAddress() {
    if (addressPrinted_) return;
    addressPrinted_ = true;
    announceServing(std::cout, std::cerr, address_, port_, tls_, login_->token());
}

void Supervisor::readOutput(WorkerProcess& worker) {
    std::string line;
    while (worker.readLine(false, line)) {
        WorkerMessage message = readWorkerLine(line);
        if (message.kind == WorkerMessage::Kind::output) {
            std::cout << line << std::endl;
            continue;
        }
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.worker.follow(message, Clock::now());
        if (message.kind == WorkerMessage::Kind::ready) state_.changed.notify_all();
    }
}

void Supervisor::readErrors(WorkerProcess& worker) {
    std::string line;
    while (worker.readLine(true, line)) {
        errorLine(line);
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.errorTail.push_back(printable(line, 400));
        if (state_.errorTail.size() > SupervisorState::stderrTailLines) state_.errorTail.pop_front();
    }
}

// Replays steps into the worker that just started; reached: how many ran.
bool Supervisor::restore(const std::vector<std::string>& steps, std::size_t& reached) {
    int port;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        port = state_.worker.port();
    }
    httplib::Client client("127.0.0.1", port);
    client.set_bearer_token_auth(workerToken_.c_str());
    client.set_read_timeout(options_.stepTimeoutSeconds + 5, 0);
    for (reached = 0; reached < steps.size(); ++reached) {
        {
            std::lock_guard<std::mutex> lock(state_.mutex);
            state_.worker.replaying();
        }
        auto res = client.Post("/api/step", jsonText(json{{"step", steps[reached]}}), "application/json");
        if (!res) return false;
        if (res->status != 200) {
            std::lock_guard<std::mutex> lock(state_.mutex);
            state_.worker.replayRefused();
        }
    }
    return true;
}

bool Supervisor::runWorker(const std::string& program, int& status) {
    std::string error;
    // A start can fail for a moment (the system short of processes or
    // memory): tried again before the session ends for it.
    std::unique_ptr<WorkerProcess> worker;
    for (int attempt = 1;; ++attempt) {
        worker = WorkerProcess::start(program, workerArguments(arguments_), error);
        if (worker) break;
        if (attempt == workerStartAttempts || stopRequested) {
            errorLine("zarn_host: " + error);
            status = 2;
            return false;
        }
        errorLine("zarn_host: " + error + ": trying again");
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.worker.restart();
        state_.errorTail.clear();
    }
    std::thread outReader([this, &worker] { readOutput(*worker); });
    std::thread errReader([this, &worker] { readErrors(*worker); });
    WorkerEnd end;
    bool restored = false;
    Clock::time_point hangKill{};
    for (;;) {
        if (worker->wait(std::chrono::milliseconds(50), end.exitStatus, end.signal)) break;
        if (stopRequested && !end.stopped) {
            end.stopped = true;
            worker->closeInput();
            hangKill = Clock::now() + std::chrono::seconds(10);
        }
        std::unique_lock<std::mutex> lock(state_.mutex);
        if (state_.worker.serving() && !restored && !end.stopped) {
            restored = true;
            state_.worker.startReplay(replay_);
            lock.unlock();
            bool all = restore(replay_, end.replayed);
            lock.lock();
            if (all) {
                state_.ready = true;
                ++state_.generation;
                everServed_ = true;
                bool wasFault = !state_.fault.is_null();
                if (wasFault) state_.fault["phase"] = "restored";
                state_.changed.notify_all();
                lock.unlock();
                printAddress();
                if (wasFault) {
                    state_.notice(json{{"phase", "restored"},
                                       {"message", "a new panel worker runs the session again: " +
                                                       std::to_string(replay_.size()) + " steps replayed"}});
                }
                lock.lock();
            }
        }
        auto now = Clock::now();
        if (!end.hung && state_.worker.overdue(now, std::chrono::seconds(options_.stepTimeoutSeconds))) {
            end.hung = true;
            hangKill = now + std::chrono::seconds(2);
            worker->interrupt();  // its crash report names the step and the commands
        }
        if ((end.hung || end.stopped) && hangKill != Clock::time_point{} && now > hangKill) worker->kill();
    }
    outReader.join();
    errReader.join();
    std::unique_lock<std::mutex> lock(state_.mutex);
    state_.ready = false;
    ++state_.generation;
    stopWorkerConnections(state_);
    end.served = state_.worker.serving();
    if (!workerCrashed(end, stopRequested, everServed_)) {
        status = end.exitStatus;
        return false;
    }
    end.running = state_.worker.running();
    end.session = state_.worker.session();
    end.replaying = restored;
    end.replay = replay_;
    end.errorTail = state_.errorTail;
    std::vector<std::string> startup = state_.worker.startup();
    Crash crash = analyseCrash(end, options_.stepTimeoutSeconds);
    int crashes = state_.crashes.count(crash);
    lock.unlock();
    std::string scenario = writeCrashScenario(options_, startup, crash);
    json fault = faultReport(crash, crashes, scenario);
    std::string message = fault["message"].get<std::string>();
    errorLine("zarn_host: " + message);
    if (!scenario.empty()) errorLine("zarn_host: the session up to that step: " + scenario);
    {
        std::lock_guard<std::mutex> relock(state_.mutex);
        state_.fault = fault;
        state_.unavailable = message;
    }
    state_.notice(fault);
    printAddress();
    replay_ = crash.replay;
    if (crashes < maxCrashesAtOneStep) return true;
    while (!stopRequested && !watch_.changed(Clock::now())) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (stopRequested) return false;
    {
        std::lock_guard<std::mutex> relock(state_.mutex);
        state_.crashes.reset();
        state_.unavailable = "the panel library changed: starting it";
        state_.fault["phase"] = "reloading";
    }
    state_.notice(json{{"phase", "reloading"}, {"message", "the panel library changed on disk: loading it"}});
    return true;
}

void Supervisor::stopServer() {
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.stopping = true;
        state_.changed.notify_all();
    }
    listener_->stop();
}

// The server the browser talks to: HTTPS with --tls-cert, and a login when it
// listens beyond loopback or a password file is given.
bool Supervisor::makeServer(std::string& error) {
    std::string warning;
    tls_ = !options_.tlsCert.empty() || !options_.tlsKey.empty();
    if (tls_ && (options_.tlsCert.empty() || options_.tlsKey.empty())) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    bool remote = !isLoopbackHost(address_);
    if (remote && !remoteServeProtected(address_, tls_, options_.insecure, warning, error)) return false;
    if (!warning.empty()) std::cerr << warning << "\n";
    LoginSettings settings;
    settings.secureCookie = tls_;
    if (!options_.passwordFile.empty()) {
        if (!passwordHashingAvailable()) {
            error = "--password-file: password files are not available in this build (it has no OpenSSL)";
            return false;
        }
        std::ifstream file(options_.passwordFile);
        std::getline(file, settings.passwordHash);
        if (!settings.passwordHash.empty() && settings.passwordHash.back() == '\r') settings.passwordHash.pop_back();
        if (!file && !file.eof()) settings.passwordHash.clear();
        if (!passwordLineValid(settings.passwordHash)) {
            error = "--password-file " + printable(options_.passwordFile, 200) +
                    ": not a file that zarn_host password wrote";
            return false;
        }
    }
    if (remote || !settings.passwordHash.empty()) {
        settings.token = randomHex(32);
        if (settings.token.empty()) {
            error = "the system's random source failed: cannot make the login's token";
            return false;
        }
    }
    login_ = std::make_unique<LoginGate>(settings);
    // The worker listens on loopback, where other users of the machine reach
    // it too: it asks the same login of the supervisor, by a token of its own
    // handed over in the environment its workers inherit.
    workerToken_ = randomHex(32);
    if (workerToken_.empty() || !WorkerProcess::setInheritedVariable(workerTokenVariable, workerToken_)) {
        error = "cannot hand the panel's worker its token";
        return false;
    }
    proxy_.setWorkerToken(workerToken_);
    if (!tls_) {
        server_ = std::make_unique<httplib::Server>();
        return true;
    }
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    auto server = std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
    if (!server->is_valid()) {
        error = "--tls-cert " + printable(options_.tlsCert, 200) + " and --tls-key " + printable(options_.tlsKey, 200) +
                ": cannot read a PEM certificate and its private key";
        return false;
    }
    server_ = std::move(server);
    return true;
#else
    error = "--tls-cert: TLS is not available in this build (it has no OpenSSL)";
    return false;
#endif
}

int Supervisor::run() {
    std::string error, warning;
    if (!parseServeAddress(options_.serve, address_, port_, error) ||
        !remoteServeAllowed(address_, options_.allowRemote, warning, error)) {
        std::cerr << "zarn_host: " << error << "\n";
        return 2;
    }
    if (!warning.empty()) std::cerr << warning << "\n";
    if (!makeServer(error)) {
        std::cerr << "zarn_host: " << error << "\n";
        return 2;
    }
    // The worker writes the audit trail (the changes are made there); an
    // unwritable file stops the start here rather than each worker's.
    if (!options_.auditFile.empty()) {
        AuditLog probe;
        if (!probe.open(options_.auditFile, std::cerr, error)) {
            std::cerr << "zarn_host: " << error << "\n";
            return 2;
        }
    }
    std::string program = currentExecutable();
    if (program.empty()) {
        std::cerr << "zarn_host: --serve: cannot find the program's own file to start the panel's worker\n";
        return 2;
    }
    setUpServer(*server_, guard_, login_.get());
    proxy_.routes(*server_);
    const int asked = port_;
    port_ = bindServer(*server_, address_, port_);
    if (port_ == 0) {
        std::cerr << "zarn_host: cannot listen on " << address_ << ":" << asked << "\n";
        return 2;
    }
    guard_ = HttpGuard(address_, port_, tls_);
    listener_ = std::make_unique<Listener>(*server_, address_, port_, std::cerr);
    listener_->start();
    std::signal(SIGINT, onSupervisorStop);
    std::signal(SIGTERM, onSupervisorStop);
    WorkerProcess::ignoreBrokenPipes();

    int status = crashExitStatus;
    while (!stopRequested && runWorker(program, status)) {
    }
    stopServer();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}

}  // namespace

int superviseServe(const std::vector<std::string>& arguments, const HostOptions& options) {
    Supervisor supervisor(options, arguments);
    return supervisor.run();
}

}  // namespace zarn_host
