// WebFront's life: built with its routes and trace hook, listening, stopped.
// The routes are in page_routes.cpp, the panel thread's work in
// panel_loop.cpp, answers without a socket in memory_connection.cpp.
#include "web/page_server/web_front.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>

#include "web/http/http_server.h"
#include "web/http/listener.h"
#include "web/page_server/page_state.h"
#include "web/page_server/web_front_impl.h"

namespace zarn_host {

std::string newEpoch() {
    // The clock as well: a random device may repeat itself from process to process.
    std::random_device random;
    uint64_t bits = (uint64_t{random()} << 32) ^ random() ^
                    static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

WebFront::WebFront(SimHost& host, ScenarioRunner& runner, WebFrontOptions options)
    : impl_(std::make_unique<Impl>(host, runner, std::move(options))) {
    connectTrace(impl_->host.trace(),
                 [impl = impl_.get()](TraceKind kind, const std::string& text, nlohmann::json entry) {
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
    connectTrace(impl_->host.trace(), nullptr);
}

bool WebFront::listen(const std::string& address, int port, std::string& error) {
    impl_->boundPort = bindServer(impl_->server, address, port);
    if (impl_->boundPort == 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port);
        return false;
    }
    impl_->guard = HttpGuard(address, impl_->boundPort);
    impl_->listener = std::make_unique<Listener>(impl_->server, address, impl_->boundPort, std::cerr);
    impl_->listener->start();
    return true;
}

int WebFront::port() const {
    return impl_->boundPort;
}

void WebFront::setServedAddress(const std::string& address, int port) {
    impl_->guard = HttpGuard(address, port);
}

void WebFront::stop() {
    impl_->jobs.stop();
    // A job queued just before the stop is never run: its caller, an HTTP
    // thread, hears that the host is stopping now rather than at its timeout,
    // which the server's end below waits for.
    impl_->jobs.drop();
    impl_->events.stop();
    if (impl_->listener) impl_->listener->stop();
}

std::size_t WebFront::traceKept() const {
    return impl_->events.traceKept();
}

std::size_t WebFront::stepsRecorded() const {
    return impl_->recorder.size();
}

}  // namespace zarn_host
