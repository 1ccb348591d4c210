// The bridges' I/O runtime, shared by every protocol: the Asio I/O thread,
// the queue of what peers sent for the panel thread (and the wake that tells
// the front-end), the tracking of what changed in the facility's routers, the
// wait for the first connects at start, and the status for the page. The
// protocols are Modules (runtime/module.h) that it owns.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridges/bridges.h"
#include "bridges/runtime/module.h"

namespace zarn_host {
struct Router;
struct Origin;
}

namespace zarn_host::bridges {

// Threads: the panel thread makes it, calls start, exchange, statusJson, the
// panel-thread members below and destroys it; the I/O thread (started by
// start) runs io() and calls toHost, trace and firstSettled. The modules'
// sockets and timers are the I/O thread's. Between the two: events_ and
// firstPending_ (under mutex_) and wake_ (under wakeMutex_). The panel
// thread alone has seen_ and names_.
class Runtime : public Bridges {
public:
    // What a peer sent, applied on the panel thread; sets changed when the
    // facility changed.
    using HostEvent = std::function<void(SimHost& host, bool& changed)>;

    explicit Runtime(std::vector<std::unique_ptr<Module>> modules);
    ~Runtime() override;
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Starts the modules in order, then the I/O thread; false with a
    // one-line error from the first module that cannot start.
    bool start(SimHost& host, std::string& error);
    bool exchange(SimHost& host) override;
    // Once this returns, the wake it replaces is neither running nor will
    // run: the I/O thread calls the wake under wakeMutex_, so a front-end can
    // clear it and then go away.
    void setWake(std::function<void()> wake) override;
    std::string statusJson() const override;

    asio::io_context& io() { return io_; }

    // I/O thread: queues an event for the panel thread and wakes it.
    void toHost(HostEvent event);
    // I/O thread: a bridge line of the trace, written by the panel thread.
    void trace(const std::string& text);
    // I/O thread: a first connect counted by expectFirstConnect has settled
    // (failed, or the router's crosspoints read).
    void firstSettled();

    // Panel thread, in Module::start: hands on the routes made in this
    // router and its other changes from now on.
    void watchRouter(SimHost& host, int32_t device, const Router& router);
    // Panel thread, in Module::start: awaitFirstConnects waits for one more
    // firstSettled.
    void expectFirstConnect();
    // Panel thread, before the panel loads: waits (at most `most`) for the
    // first connects, so that a panel finds its backed routers online with
    // their crosspoints.
    void awaitFirstConnects(std::chrono::milliseconds most);
    // Panel thread: a crosspoint of a backed router as its router says (the
    // router's state wins over the facility's locks); handed on at the next
    // exchange as a change fromRouter, for the peers the router is served
    // to. Source 0 is no source. origin: the router, by its address.
    void takeFromRouter(SimHost& host, int32_t device, int32_t destination, int32_t source, const Origin& origin);
    // Panel thread: the device's instance name, else its number.
    std::string deviceName(int32_t device) const;

private:
    asio::io_context io_;  // before the modules: their sockets go first
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::vector<std::unique_ptr<Module>> modules_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable firstCv_;
    int firstPending_ = 0;  // first connects not settled
    std::vector<HostEvent> events_;
    std::mutex wakeMutex_;  // held while the wake runs; never taken with mutex_
    std::function<void()> wake_;
    // Panel thread.
    std::map<int32_t, std::vector<int32_t>> seen_;  // crosspoints as last handed on
    std::map<int32_t, std::string> names_;          // device -> instance name
    std::vector<CrosspointChange> fromRouters_;     // taken since the last exchange
};

}  // namespace zarn_host::bridges
