// The supervisor's hold on a worker: a worker that ends cuts off the
// requests and streams the supervisor had open to it, and a stream cut
// mid-event reaches the page without a broken event.
#include "web/supervisor/worker_connection.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "web/http/event_stream.h"
#include "web/http/http_server.h"

namespace {

using zarn_host::RelayedEventStream;
using zarn_host::SupervisorState;
using zarn_host::WorkerConnection;

// The events a page's parser dispatches from text (lines end in "\n").
std::vector<std::pair<std::string, std::string>> dispatched(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> events;
    std::string type, data, line;
    bool hasData = false;
    for (char c : text) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.empty()) {
            if (hasData) events.emplace_back(type.empty() ? "message" : type, data);
            type.clear();
            data.clear();
            hasData = false;
        } else if (line.rfind("event: ", 0) == 0) {
            type = line.substr(7);
        } else if (line.rfind("data: ", 0) == 0) {
            data += (hasData ? "\n" : "") + line.substr(6);
            hasData = true;
        }
        line.clear();
    }
    return events;
}

TEST(relayed_event_stream, a_stream_cut_anywhere_loses_only_its_last_event) {
    const std::string whole = "event: trace\ndata: {\"a\":1}\n\n: idle\n\nevent: state\ndata: {\"b\":2}\n\n";
    const std::string fault = "event: fault\ndata: {\"phase\":\"crashed\"}\n\n";
    // Every cut, passed on in pieces of one, three and all bytes.
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        for (std::size_t step : {std::size_t{1}, std::size_t{3}, whole.size()}) {
            SCOPED_TRACE("cut at " + std::to_string(cut) + " in pieces of " + std::to_string(step));
            RelayedEventStream relayed;
            std::string page;
            for (std::size_t at = 0; at < cut; at += step) {
                std::size_t size = std::min(step, cut - at);
                relayed.pass(whole.data() + at, size);
                page.append(whole, at, size);
            }
            page += relayed.closing() + fault;
            auto events = dispatched(page);
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.back(), std::make_pair(std::string("fault"), std::string("{\"phase\":\"crashed\"}")));
            // What came before the fault is what the cut left whole, nothing broken.
            auto before = dispatched(whole.substr(0, cut));
            events.pop_back();
            for (auto& e : events) EXPECT_TRUE(e.first == "trace" || e.first == "state" || e.first == "cut") << e.first;
            events.erase(std::remove_if(events.begin(), events.end(), [](auto& e) { return e.first == "cut"; }),
                         events.end());
            EXPECT_EQ(events, before);
        }
    }
}

// A worker whose stream never writes and never ends, as a crashed one's may.
struct SilentWorker {
    httplib::Server server;
    int port = 0;
    std::mutex mutex;
    std::condition_variable released;
    bool asked = false;  // a request waits on it
    bool release = false;
    std::thread thread;
    SilentWorker() {
        server.Get("/api/events", [this](const httplib::Request&, httplib::Response&) {
            std::unique_lock<std::mutex> lock(mutex);
            asked = true;
            released.notify_all();
            released.wait(lock, [this] { return release; });
        });
        port = zarn_host::bindServer(server, "127.0.0.1", 0);
        thread = std::thread([this] { server.listen_after_bind(); });
    }
    ~SilentWorker() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            release = true;
        }
        released.notify_all();
        server.stop();
        thread.join();
    }
};

TEST(worker_connection, a_worker_that_ends_cuts_off_the_requests_to_it) {
    SilentWorker worker;
    ASSERT_NE(worker.port, 0);
    SupervisorState state;
    state.generation = 4;
    auto started = std::chrono::steady_clock::now();
    httplib::Error error = httplib::Error::Success;
    std::thread request([&] {
        WorkerConnection connection(state, worker.port, 4, "token");
        connection.client().set_read_timeout(120, 0);
        error = connection.client().Get("/api/events").error();
    });
    // Once the request waits on the worker, the worker ends. (Listed but not
    // yet sent, a request would miss the stop and wait out its timeout.)
    {
        std::unique_lock<std::mutex> lock(worker.mutex);
        EXPECT_TRUE(worker.released.wait_for(lock, std::chrono::seconds(60), [&] { return worker.asked; }))
            << "the request never reached the worker";
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        EXPECT_EQ(state.workerClients.size(), 1u);
        ++state.generation;
        zarn_host::stopWorkerConnections(state);
    }
    request.join();
    EXPECT_NE(error, httplib::Error::Success);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60)) << "waited for the read timeout";
    EXPECT_TRUE(state.workerClients.empty());
}

TEST(worker_connection, one_made_for_a_worker_that_ended_is_not_listed) {
    SupervisorState state;
    state.generation = 5;
    WorkerConnection late(state, 1, 4, "token");
    EXPECT_TRUE(state.workerClients.empty());
    {
        WorkerConnection current(state, 1, 5, "token");
        EXPECT_EQ(state.workerClients.size(), 1u);
    }
    EXPECT_TRUE(state.workerClients.empty());
}

}  // namespace
