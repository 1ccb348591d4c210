#include "web/http/listener.h"

#include <httplib.h>

#include <chrono>
#include <ostream>

#include "web/http/http_server.h"

namespace zarn_host {
namespace {

// The wait before binding again when the port is taken or the system refuses.
constexpr auto rebindPause = std::chrono::milliseconds(500);

}  // namespace

Listener::Listener(httplib::Server& server, std::string address, int port, std::ostream& err)
    : server_(server), address_(std::move(address)), port_(port), err_(err) {}

Listener::~Listener() {
    stop();
}

void Listener::start() {
    thread_ = std::thread([this] { run(); });
}

void Listener::run() {
    for (;;) {
        server_.listen_after_bind();
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_) break;
        err_ << "zarn_host: the listening socket on " << address_ << ":" << port_
             << " failed to accept a connection: listening again" << std::endl;
        while (!stopping_ && !rebind()) changed_.wait_for(lock, rebindPause);
        if (stopping_) break;
        ++reopened_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

bool Listener::rebind() {
    return bindServer(server_, address_, port_) == port_;
}

void Listener::stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
    if (thread_.joinable()) {
        // The library's stop() does nothing until its loop has begun: asked
        // again until the loop has ended.
        while (!ended_) {
            server_.stop();
            changed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        lock.unlock();
        thread_.join();
    }
}

int Listener::reopened() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reopened_;
}

}  // namespace zarn_host
