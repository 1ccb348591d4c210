// zarn_host --serve in the page's server: the address from the command line,
// the front-end's panel thread, and Ctrl-C, SIGTERM or (in a worker) the end
// of standard input to end it. A worker tells its supervisor that it serves
// (worker_link.h) instead of telling a person.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "text/command_text.h"
#include "web/http/http_guard.h"
#include "web/http/http_server.h"
#include "web/page_server/web_front.h"
#include "web/page_server/worker_link.h"
#include "web/serve.h"

namespace zarn_host {

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
    options.bridges = context.bridges;
    options.stepTimeoutSeconds = context.options.stepTimeoutSeconds;
    if (context.options.worker) {
        // The supervisor follows the page's steps on standard output, ends
        // the worker by closing its standard input, and has a hung one
        // report and end with workerInterruptLine.
        std::ostream& out = context.out;
        options.loginToken = workerLoginToken();
        options.stepWatch = [&out](WorkerMessage::Kind what, const std::string& line) {
            out << workerLine({what, 0, line}) << std::endl;
        };
        std::thread([] {
            std::string line;
            while (std::getline(std::cin, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line == workerInterruptLine) std::abort();
            }
            stopRequested = true;
        }).detach();
    }
    WebFront front(context.host, context.runner, std::move(options));
    if (!front.listen(address, port, error)) return false;
    if (!context.runner.everLoaded()) {
        std::string message;
        if (front.runStepLine("load", message) != 200) context.err << "zarn_host: " << message << "\n";
    }
    if (context.options.worker) {
        context.out << workerLine({WorkerMessage::Kind::ready, front.port(), ""}) << std::endl;
    } else {
        announceServing(context.out, context.err, address, front.port());
    }
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
