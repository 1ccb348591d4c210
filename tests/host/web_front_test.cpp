// Over 400 lines: the server's tests share one running front-end fixture.
// zarn_host's browser front-end with the K7 panel: bursts of good and bad
// requests from several clients at once, and a long session whose memory
// must stay flat.
#include "web/page_server/web_front.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "host_test_support.h"
#include "model/facility.h"
#include "platform/panel_library.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "support/sanitizer.h"
#include "text/address.h"
#include "text/command_text.h"
#include "web/http/event_stream.h"
#include "web/http/http_guard.h"
#include "web/page_server/action_watch.h"

namespace {

using zarn_host::WebFront;
using json = nlohmann::json;

// The K7 panel in a simulated host on its facility, behind a WebFront. With
// watch, the front-end reloads the library when its file changes.
struct K7Session {
    std::string libraryPath;
    std::unique_ptr<zarn_host::PanelLibrary> library;  // outlives the host, which unloads the panel
    zarn_host::SimHost host;
    std::ostringstream err;
    zarn_host::ScenarioRunner runner;
    WebFront front;

    static zarn_host::Facility facility() {
        zarn_host::Facility f;
        std::string why;
        EXPECT_TRUE(
            zarn_host::Facility::load(std::string(ZARN_TEST_SOURCE_DIR) + "/host/facilities/k7/facility.json", f, why))
            << why;
        return f;
    }
    explicit K7Session(std::string path = K7_MON_LIBRARY, bool watch = false)
        : libraryPath(std::move(path)),
          host(facility()),
          runner(
              host, [this](std::string& why) { return loadPanel(why); }, err),
          front(host, runner, options(watch)) {}
    zarn_host::WebFrontOptions options(bool watch) {
        zarn_host::WebFrontOptions o;
        o.err = &err;
        o.traceLines = 500;
        if (watch) {
            o.libraryPath = libraryPath;
            o.reopenLibrary = [this](std::string& why) {
                library.reset();
                library = zarn_host::PanelLibrary::open(libraryPath, why);
                return library != nullptr;
            };
        }
        return o;
    }
    bool loadPanel(std::string& why) {
        if (!library) library = zarn_host::PanelLibrary::open(libraryPath, why);
        if (!library) return false;
        return host.load(library->entryPoint(), std::string(ZARN_TEST_SOURCE_DIR) + "/host/facilities/k7", "k7");
    }
    std::string control(const std::string& id, const std::string& name) {
        const zarn_host::Control* c = host.panel("1") ? host.panel("1")->control(id) : nullptr;
        const std::string* value = c ? c->property(name) : nullptr;
        return value ? *value : "<none>";
    }
    int32_t crosspoint(int32_t device, int32_t destination) {
        return host.facility().router(device)->crosspoints[static_cast<std::size_t>(destination)];
    }
    ~K7Session() {
        if (::testing::Test::HasFailure()) zarn_host_test::tellHostState(err.str(), host);
    }
};

struct Request {
    const char* method;
    const char* path;
    const char* contentType;
    std::string body;
    int status;
};

std::string stepBody(const std::string& step) {
    return json{{"step", step}}.dump();
}

// The library's five seconds for an answer are short on a loaded machine
// under the sanitizers; an answer that never comes still ends the wait.
constexpr time_t kAnswerSeconds = 30;

TEST(WebFront, bursts_of_good_and_bad_requests_from_several_clients_leave_a_consistent_panel) {
    K7Session k7;
    std::string why;
    ASSERT_TRUE(k7.front.listen("127.0.0.1", 0, why)) << why;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread([&] { k7.front.run(stopFlag); });

    std::string accents;
    for (int i = 0; i < 40; ++i) accents += "\xc3\xa9";
    const std::vector<Request> requests = {
        {"POST", "/api/step", "application/json", stepBody("press Mon_2"), 200},
        {"POST", "/api/step", "application/json", stepBody("pick Sources \"Cam 4\""), 200},
        {"POST", "/api/step", "application/json", stepBody("route \"K7 SDI Router\" 44 13"), 200},
        {"POST", "/api/step", "application/json", stepBody("wait 200"), 200},
        {"GET", "/api/state", "", "", 200},
        {"GET", "/", "", "", 200},
        {"POST", "/api/step", "application/json", stepBody("press NoSuchControl"), 422},
        {"POST", "/api/step", "application/json", stepBody("route \"No Router\" 1 1"), 422},
        {"POST", "/api/step", "application/json", stepBody("lock 101 999"), 422},
        {"POST", "/api/step", "application/json", stepBody("fly to the moon"), 400},
        // The reason quotes the step cut at 60 bytes, inside a two-byte character.
        {"POST", "/api/step", "application/json", stepBody("x" + accents), 400},
        {"POST", "/api/step", "application/json", stepBody("pick Sources \"unterminated"), 400},
        {"POST", "/api/step", "application/json", stepBody("press Mon_1\npress Mon_3"), 400},
        {"POST", "/api/step", "application/json", stepBody(std::string(5000, 'x')), 400},
        {"POST", "/api/step", "application/json", std::string(40000, '{'), 413},
        {"POST", "/api/step", "application/json", "{\"step\": 42}", 400},
        {"POST", "/api/step", "application/json", "[1, 2", 400},
        {"POST", "/api/step", "text/plain", stepBody("press Mon_1"), 415},
        {"POST", "/api/clock", "application/json", "{\"realTime\": \"yes\"}", 400},
        {"POST", "/api/session", "application/json", "{\"pins\": [{\"panel\": 1}]}", 400},
        {"GET", "/no/such/page", "", "", 404},
        // The page's views of the state, and their parameters taken as untrusted.
        {"GET", "/api/state?view=page", "", "", 200},
        {"GET", "/api/state?router=101", "", "", 200},
        {"GET", "/api/state?view=all", "", "", 400},
        {"GET", "/api/state?router=%00", "", "", 400},
        {"GET", "/api/state?router=999", "", "", 404},
        {"GET", "/api/rows?router=101&from=30&count=20&filter=k7%20mon", "", "", 200},
        {"GET", "/api/rows?router=101&used=1", "", "", 200},
        {"GET", "/api/rows", "", "", 400},
        {"GET", "/api/rows?router=101&count=501", "", "", 400},
        {"GET", "/api/rows?router=101&from=-1", "", "", 400},
        {"GET", "/api/rows?router=101&from=1e3", "", "", 400},
        {"GET", "/api/rows?router=101&used=yes", "", "", 400},
        {"GET", "/api/rows?router=99999999999", "", "", 400},
        {"GET", "/api/rows?router=7", "", "", 404},
        {"GET", "/api/sources?router=102", "", "", 200},
        {"GET", "/api/sources?router=", "", "", 400},
    };

    // Each client goes round the table from its own place; two more watch the event stream.
    constexpr int clients = 4;
    constexpr int rounds = 3;
    std::vector<std::string> failures[clients];
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", k7.front.port());
            client.set_read_timeout(kAnswerSeconds, 0);
            for (std::size_t i = 0; i < rounds * requests.size(); ++i) {
                const Request& r = requests[(i + static_cast<std::size_t>(c) * 5) % requests.size()];
                auto res =
                    std::string(r.method) == "GET" ? client.Get(r.path) : client.Post(r.path, r.body, r.contentType);
                if (!res) {
                    failures[c].push_back(std::string(r.path) + ": no answer");
                    continue;
                }
                if (res->status != r.status) {
                    failures[c].push_back(std::string(r.path) + " " + r.body.substr(0, 60) + ": status " +
                                          std::to_string(res->status) + ", " + res->body.substr(0, 200));
                }
                if (res->status >= 400) {
                    auto answer = json::parse(res->body, nullptr, false);
                    bool oneLine = !answer.is_discarded() && answer.contains("error") && answer["error"].is_string() &&
                                   !answer["error"].get<std::string>().empty() &&
                                   answer["error"].get<std::string>().find('\n') == std::string::npos;
                    if (!oneLine) failures[c].push_back(std::string(r.path) + ": no one-line error: " + res->body);
                }
            }
        });
    }
    std::atomic<int> eventsSeen{0};
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&] {
            httplib::Client client("127.0.0.1", k7.front.port());
            int chunks = 0;
            client.Get("/api/events", [&](const char*, std::size_t) {
                ++eventsSeen;
                return ++chunks < 20;  // then the watcher leaves
            });
        });
    }
    for (auto& t : threads) t.join();
    stopFlag = true;
    panelThread.join();

    for (int c = 0; c < clients; ++c) {
        for (const auto& f : failures[c]) ADD_FAILURE() << "client " << c << ": " << f;
    }
    EXPECT_GT(eventsSeen.load(), 0);
    EXPECT_TRUE(k7.host.loaded());
    EXPECT_TRUE(k7.host.faults().empty()) << k7.host.faults().front();
    EXPECT_EQ(k7.crosspoint(101, 41), 14);  // Cam 4 to monitor 2
    EXPECT_EQ(k7.crosspoint(101, 44), 13);
    EXPECT_EQ(k7.control("Vidtally_2", "text"), "Cam 4");
    EXPECT_EQ(k7.control("ID_2", "statesheet"), "RZ_Tally_Red");
    EXPECT_EQ(k7.front.stepsRecorded(), std::size_t{clients * rounds * 4});
    EXPECT_LE(k7.front.traceKept(), 500u);
}

TEST(WebFront, session_quotes_what_needs_it_and_expects_the_pinned_controls) {
    K7Session k7;
    std::string message;
    ASSERT_EQ(k7.front.runStepLine("load", message), 200) << message;
    ASSERT_EQ(k7.front.runStepLine("parent \"a \\\"quoted\\\" text\"", message), 200) << message;
    ASSERT_EQ(k7.front.runStepLine("expect property ID_1 statesheet Nope", message), 409);
    EXPECT_NE(message.find("expected"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    ASSERT_EQ(k7.front.runStepLine("pick Sources \"Line In 1\"", message), 200) << message;
    std::string text = k7.front.sessionText({{"1", "Vidtally_1"}, {"1", "NoSuchControl"}, {"9", "Mon_1"}});
    EXPECT_NE(text.find("\nload\nparent \"a \\\"quoted\\\" text\"\npick Sources \"Line In 1\"\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Nope"), std::string::npos) << "a failed step is not recorded";
    EXPECT_NE(text.find("expect property Vidtally_1 text \"Line In 1\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("NoSuchControl"), std::string::npos) << text;
}

// A rebuilt library (a new file at the same path) is unloaded, opened again
// and loaded; the facility keeps the route made before.
TEST(WebFront, a_changed_library_file_is_reloaded_and_the_facility_kept) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zarn_web_reload_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path path = dir / "libk7_copy.so";
    fs::copy_file(K7_MON_LIBRARY, path, fs::copy_options::overwrite_existing);
    {
        K7Session k7(path.string(), true);
        std::string why;
        ASSERT_TRUE(k7.front.listen("127.0.0.1", 0, why)) << why;
        std::atomic<bool> stopFlag{false};
        std::thread panelThread([&] { k7.front.run(stopFlag); });
        httplib::Client client("127.0.0.1", k7.front.port());
        client.set_read_timeout(kAnswerSeconds, 0);
        auto step = [&](const std::string& s) {
            auto res = client.Post("/api/step", stepBody(s), "application/json");
            return res ? res->status : 0;
        };
        EXPECT_EQ(step("load"), 200);
        EXPECT_EQ(step("route \"K7 SDI Router\" \"K7 Mon 2\" \"Line In 2\""), 200);
        // A rebuild writes a new file and renames it over the old one.
        fs::copy_file(K7_MON_LIBRARY, dir / "new.so");
        // Two copies within one clock tick of the file system share their
        // time; a real rebuild is far slower than that.
        fs::last_write_time(dir / "new.so", fs::last_write_time(path) + std::chrono::seconds(1));
        fs::rename(dir / "new.so", path);
        // Polled every 500 ms, seen unchanged twice: a second or two.
        std::string session;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (session.find("unload\nload\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto res = client.Post("/api/session", "{\"pins\": [{\"panel\": \"1\", \"control\": \"Vidtally_2\"}]}",
                                   "application/json");
            session = res ? res->body : "";
        }
        stopFlag = true;
        panelThread.join();
        EXPECT_NE(session.find("unload\nload\nexpect property Vidtally_2 text \"Line In 2\"\n"), std::string::npos)
            << session;
        EXPECT_TRUE(k7.host.loaded());
        EXPECT_TRUE(k7.host.faults().empty());
    }
    fs::remove_all(dir);
}

TEST(WebFront, serve_addresses) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"8080", true, "127.0.0.1", 8080},
        {"0", true, "127.0.0.1", 0},
        {"0.0.0.0:80", true, "0.0.0.0", 80},
        {"[::1]:9000", true, "::1", 9000},
        {"localhost:65535", true, "localhost", 65535},
        {"65536", false, "", 0},
        {":80", false, "", 0},
        {"host:", false, "", 0},
        {"-1", false, "", 0},
        {"80x", false, "", 0},
    };
    for (const auto& c : cases) {
        std::string host, error;
        int port = -1;
        EXPECT_EQ(zarn_host::parseServeAddress(c.text, host, port, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

// A long session through the page's path for steps: the host keeps the last
// step's commands, the front-end a bounded trace and a bounded recording, so
// after a warm-up the heap does not grow.
TEST(WebFront, a_long_session_stays_flat) {
#ifdef ZARN_UNDER_SANITIZER
    constexpr int steps = 40000;  // the sanitizer's allocator is not the one mallinfo2 reports on
#else
    constexpr int steps = 1000000;
#endif
    constexpr int warmUp = steps / 5;  // past the recording's cap of 100,000 steps
    const char* const cycle[] = {"press Mon_1",
                                 "pick Sources \"Cam 2\"",
                                 "wait 160",
                                 "press Mon_4",
                                 "route \"K7 SDI Router\" \"K7 Mon 2\" \"VT 1\"",
                                 "pick Sources Bars",
                                 "expect property Audtally_4 text Tone",
                                 "wait 160",
                                 "parent return=myParam"};
    K7Session k7;
    std::string message;
    ASSERT_EQ(k7.front.runStepLine("load", message), 200) << message;
    std::size_t heapAfterWarmUp = 0;
    for (int i = 0; i < steps; ++i) {
        if (i == warmUp) heapAfterWarmUp = mallinfo2().uordblks + mallinfo2().hblkhd;
        const char* step = cycle[static_cast<std::size_t>(i) % (sizeof cycle / sizeof cycle[0])];
        ASSERT_EQ(k7.front.runStepLine(step, message), 200) << "step " << i << ": " << message;
    }
    std::size_t heapAtEnd = mallinfo2().uordblks + mallinfo2().hblkhd;
    EXPECT_TRUE(k7.host.faults().empty());
    EXPECT_EQ(k7.front.stepsRecorded(), 100000u > steps ? std::size_t{steps + 1} : 100000u);
    EXPECT_LE(k7.front.traceKept(), 500u);
    EXPECT_LE(k7.host.recentCommands().size(), 10u);
    std::printf("[ heap    ] %zu bytes after %d steps, %zu after %d (%+lld); %llu commands\n", heapAfterWarmUp, warmUp,
                heapAtEnd, steps, static_cast<long long>(heapAtEnd) - static_cast<long long>(heapAfterWarmUp),
                static_cast<unsigned long long>(k7.host.commandCount()));
#ifndef ZARN_UNDER_SANITIZER
    EXPECT_LE(heapAtEnd, heapAfterWarmUp + 64 * 1024) << "the heap grew over the session";
#endif
}

// The door: which Host, Origin and length combinations are answered.
TEST(WebFront, guard_answers_only_its_own_address_and_origin) {
    struct Case {
        const char* served;
        const char* method;
        const char* host;
        const char* origin;  // nullptr: none sent
        bool hasLength;
        int status;
    };
    const Case cases[] = {
        {"127.0.0.1", "GET", "127.0.0.1:8080", nullptr, false, 0},
        {"127.0.0.1", "GET", "localhost:8080", nullptr, false, 0},
        {"127.0.0.1", "GET", "LocalHost:8080", nullptr, false, 0},
        {"127.0.0.1", "GET", "[::1]:8080", nullptr, false, 0},
        {"127.0.0.1", "GET", "rebound.example:8080", nullptr, false, 421},
        {"127.0.0.1", "GET", "127.0.0.1", nullptr, false, 421},
        {"127.0.0.1", "GET", "127.0.0.1:8081", nullptr, false, 421},
        {"127.0.0.1", "GET", "", nullptr, false, 421},
        {"127.0.0.1", "GET", "127.0.0.1:8080.rebound.example", nullptr, false, 421},
        {"panel.example", "GET", "panel.example:8080", nullptr, false, 0},
        {"::1", "GET", "[::1]:8080", nullptr, false, 0},
        {"127.0.0.1", "POST", "127.0.0.1:8080", nullptr, true, 0},
        {"127.0.0.1", "POST", "127.0.0.1:8080", "http://127.0.0.1:8080", true, 0},
        {"127.0.0.1", "POST", "127.0.0.1:8080", "http://localhost:8080", true, 403},
        {"127.0.0.1", "POST", "127.0.0.1:8080", "null", true, 403},
        {"127.0.0.1", "POST", "127.0.0.1:8080", "https://127.0.0.1:8080", true, 403},
        {"127.0.0.1", "POST", "127.0.0.1:8080", "", true, 403},
        {"127.0.0.1", "POST", "127.0.0.1:8080", nullptr, false, 411},
        {"127.0.0.1", "GET", "127.0.0.1:8080", "http://rebound.example", false, 0},
    };
    for (const auto& c : cases) {
        zarn_host::HttpGuard guard(c.served, 8080);
        auto verdict = guard.check(c.method, c.host, c.origin ? c.origin : "", c.origin != nullptr, c.hasLength);
        EXPECT_EQ(verdict.status, c.status)
            << c.method << " Host " << c.host << " Origin " << (c.origin ? c.origin : "-");
        EXPECT_EQ(verdict.message.empty(), c.status == 0) << c.host;
        EXPECT_EQ(verdict.message.find('\n'), std::string::npos);
    }
    zarn_host::HttpGuard port80("127.0.0.1", 80);
    EXPECT_TRUE(port80.allowedHost("localhost"));
}

TEST(WebFront, remote_addresses_media_types_and_file_names) {
    const std::pair<const char*, bool> loopback[] = {
        {"127.0.0.1", true},          {"127.1.2.3", true},    {"localhost", true},    {"::1", true},
        {"0.0.0.0", false},           {"192.168.1.4", false}, {"127.0.0.256", false}, {"127.0.0", false},
        {"127.0.0.1.example", false}, {"::", false},
    };
    for (const auto& c : loopback) EXPECT_EQ(zarn_host::isLoopbackHost(c.first), c.second) << c.first;
    std::string warning, error;
    EXPECT_FALSE(zarn_host::remoteServeAllowed("0.0.0.0", false, warning, error));
    EXPECT_EQ(
        error,
        "--serve 0.0.0.0 would let anyone who can reach this machine operate the panel; add --allow-remote to mean it");
    EXPECT_TRUE(zarn_host::remoteServeAllowed("0.0.0.0", true, warning, error));
    EXPECT_NE(warning.find("anyone who can reach"), std::string::npos);
    EXPECT_TRUE(zarn_host::remoteServeAllowed("127.0.0.1", false, warning, error));
    EXPECT_TRUE(warning.empty());

    EXPECT_TRUE(zarn_host::mediaTypeIs("APPLICATION/JSON", "application/json"));
    EXPECT_TRUE(zarn_host::mediaTypeIs(" application/json ; charset=utf-8", "application/json"));
    EXPECT_FALSE(zarn_host::mediaTypeIs("application/jsonx", "application/json"));
    EXPECT_FALSE(zarn_host::mediaTypeIs("text/plain", "application/json"));
    EXPECT_EQ(zarn_host::shownFileName("/home/op/k7/k7_mon.zarn_ui"), "k7_mon.zarn_ui");
    EXPECT_EQ(zarn_host::shownFileName("C:\\panels\\k7.zarn_ui"), "k7.zarn_ui");
}

// The state tells the page the bounds this server keeps to, and the
// library by its file name.
TEST(WebFront, the_state_gives_the_page_its_limits) {
    K7Session k7(K7_MON_LIBRARY, true);
    k7.front.setServedAddress("127.0.0.1", 8080);
    std::atomic<bool> stopFlag{false};
    std::thread panelThread([&] { k7.front.run(stopFlag); });
    auto answers = k7.front.answer("GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n");
    stopFlag = true;
    panelThread.join();
    ASSERT_EQ(answers.size(), 1u);
    std::size_t body = answers[0].find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    json state = json::parse(answers[0].substr(body + 4), nullptr, false);
    ASSERT_TRUE(state.is_object()) << answers[0];
    EXPECT_EQ(state["limits"]["traceLines"], 500);
    EXPECT_EQ(state["limits"]["sessionSteps"], zarn_host::keptSessionSteps);
    EXPECT_EQ(state["library"], zarn_host::shownFileName(K7_MON_LIBRARY));
}

// The stream sends the state once, then numbered changes: a route made from
// outside is one row of one router, whatever else the facility holds.
TEST(WebFront, after_the_state_a_route_streams_only_its_row) {
    K7Session k7;
    std::string why;
    ASSERT_TRUE(k7.front.listen("127.0.0.1", 0, why)) << why;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread([&] { k7.front.run(stopFlag); });
    std::mutex mutex;
    std::condition_variable grew;
    std::string seen;
    bool ended = false;
    std::thread watcher([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        httplib::Client client("127.0.0.1", k7.front.port());
        client.set_read_timeout(kAnswerSeconds, 0);
        client.Get("/api/events", [&](const char* data, std::size_t length) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.append(data, length);
            grew.notify_all();
            return seen.find("\"number\":44") == std::string::npos && std::chrono::steady_clock::now() < deadline;
        });
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        grew.notify_all();
    });
    // The route once the stream has the state: after it, the route is a change.
    bool stateSeen = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        grew.wait(lock, [&] { return ended || seen.find("event: state") != std::string::npos; });
        stateSeen = !ended;
    }
    int routed = 0;  // the route's status
    if (stateSeen) {
        httplib::Client client("127.0.0.1", k7.front.port());
        client.set_read_timeout(kAnswerSeconds, 0);
        auto res = client.Post("/api/step", stepBody("route \"K7 SDI Router\" 44 13"), "application/json");
        routed = res ? res->status : 0;
    }
    watcher.join();
    stopFlag = true;
    panelThread.join();
    ASSERT_TRUE(stateSeen) << "the stream ended before its state: " << seen;
    EXPECT_EQ(routed, 200);

    std::size_t state = seen.find("event: state\ndata: ");
    std::size_t change = seen.find("event: changes\ndata: ", state);
    ASSERT_NE(state, std::string::npos) << seen;
    ASSERT_NE(change, std::string::npos) << seen;
    json first = json::parse(seen.substr(state + 19, seen.find('\n', state + 19) - state - 19));
    EXPECT_FALSE(first["routers"][0].contains("destinations"));  // summaries: the page fetches rows
    EXPECT_EQ(first["routers"][0]["destinationCount"], 64);
    uint64_t seq = first["seq"].get<uint64_t>();
    // Every change after the state, one past the last, the route's among them.
    json row;
    for (std::size_t at = change; at != std::string::npos; at = seen.find("event: changes\ndata: ", at + 1)) {
        json next = json::parse(seen.substr(at + 21, seen.find('\n', at + 21) - at - 21));
        EXPECT_EQ(next["seq"], ++seq);
        EXPECT_EQ(next["epoch"], first["epoch"]);
        if (next.contains("rows")) row = next["rows"];
        EXPECT_FALSE(next.contains("panels"));
    }
    EXPECT_EQ(row, json::parse(R"([{"device": 101, "number": 44, "name": "K7 Mon 5", "source": 13,
        "sourceName": "Cam 3", "routedBy": "API", "locked": false, "lockedBy": "", "registered": false}])"));  // no
                                                                                                               // panel
                                                                                                               // loaded
                                                                                                               // here
}

// The page's state and its rows say which state they show, with no stream to
// publish it: the page keeps whichever of a row and a change is newer. Each
// server numbers afresh under an epoch of its own.
TEST(WebFront, the_state_and_its_rows_are_numbered_alike) {
    K7Session k7, other;
    std::string why;
    ASSERT_TRUE(k7.front.listen("127.0.0.1", 0, why)) << why;
    ASSERT_TRUE(other.front.listen("127.0.0.1", 0, why)) << why;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread([&] { k7.front.run(stopFlag); });
    std::thread otherThread([&] { other.front.run(stopFlag); });
    auto get = [](WebFront& front, const char* path) {
        httplib::Client client("127.0.0.1", front.port());
        client.set_read_timeout(kAnswerSeconds, 0);
        auto res = client.Get(path);
        return res && res->status == 200 ? json::parse(res->body, nullptr, false) : json();
    };
    const char* rows = "/api/rows?router=101&filter=44";
    json before = get(k7.front, "/api/state?view=page");
    json rowsBefore = get(k7.front, rows);
    httplib::Client client("127.0.0.1", k7.front.port());
    client.set_read_timeout(kAnswerSeconds, 0);
    auto routed = client.Post("/api/step", stepBody("route 101 44 13"), "application/json");
    json rowsAfter = get(k7.front, rows);
    json after = get(k7.front, "/api/state?view=page");
    json elsewhere = get(other.front, "/api/state?view=page");
    stopFlag = true;
    panelThread.join();
    otherThread.join();

    EXPECT_EQ(routed ? routed->status : 0, 200);
    ASSERT_TRUE(before.contains("epoch")) << before;
    EXPECT_TRUE(before["epoch"].is_string());
    for (const json* answer : {&rowsBefore, &rowsAfter, &after}) EXPECT_EQ((*answer)["epoch"], before["epoch"]);
    EXPECT_NE(elsewhere["epoch"], before["epoch"]);
    EXPECT_EQ(rowsBefore["seq"], before["seq"]);
    EXPECT_GT(rowsAfter["seq"].get<uint64_t>(), before["seq"].get<uint64_t>());
    EXPECT_EQ(rowsAfter["rows"][0]["source"], 13);
    EXPECT_EQ(after["seq"], rowsAfter["seq"]);
}

// A page behind by more than one write's worth gets a gap and the newest lines.
TEST(WebFront, trace_events_are_bounded_per_write) {
    std::deque<zarn_host::TraceEvent> ring;
    for (uint64_t seq = 11; seq <= 20; ++seq) ring.push_back({seq, std::to_string(seq)});
    struct Case {
        uint64_t from;
        std::size_t limit;
        const char* out;
    };
    const Case cases[] = {
        {0, 3, "event: trace\ndata: 18\n\nevent: trace\ndata: 19\n\nevent: trace\ndata: 20\n\n"},
        {18, 3, "event: trace\ndata: 19\n\nevent: trace\ndata: 20\n\n"},
        {16, 3,
         "event: gap\ndata: {}\n\nevent: trace\ndata: 18\n\nevent: trace\ndata: 19\n\nevent: trace\ndata: 20\n\n"},
        {5, 100,
         "event: gap\ndata: {}\n\nevent: trace\ndata: 11\n\nevent: trace\ndata: 12\n\nevent: trace\ndata: 13\n\n"
         "event: trace\ndata: 14\n\nevent: trace\ndata: 15\n\nevent: trace\ndata: 16\n\nevent: trace\ndata: 17\n\n"
         "event: trace\ndata: 18\n\nevent: trace\ndata: 19\n\nevent: trace\ndata: 20\n\n"},
        {20, 3, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        uint64_t seq = c.from;
        zarn_host::appendTraceEvents(out, ring, seq, c.limit);
        EXPECT_EQ(out, c.out) << "from " << c.from;
        EXPECT_EQ(seq, 20u);
    }
}

// The refusals of the last action and what the controls depend on, from the
// trace of a take whose video level is locked and audio router offline.
TEST(WebFront, action_watch_reads_refusals_and_dependencies_from_the_trace) {
    using zarn_host::TraceKind;
    zarn_host::ActionWatch watch;
    const std::pair<TraceKind, const char*> lines[] = {
        {TraceKind::step, "load"},
        {TraceKind::out, "RR 101 40 40"},
        {TraceKind::in, "revertive 101/41 \"Cam 1\""},
        {TraceKind::out, "TP 'text=Cam 1' '1' 'Vidtally_2'"},
        {TraceKind::step, "press Mon_2"},
        {TraceKind::in, "button 1/Mon_2"},
        {TraceKind::out, "TP 'statesheet=RZ_Tally_Red' '1' 'ID_2'"},
        {TraceKind::step, "pick Sources \"VT 1\""},
        {TraceKind::in, "button 1/Sources (\"select\" = \"4\")"},
        {TraceKind::out, "RN 202 0 5  => \"21,7\""},
        {TraceKind::out, "RC 101 21 41 ',' 0  => null"},
        {TraceKind::refusal, "crosspoint refused: destination locked"},
        {TraceKind::out, "RC 102 7 21 ',' 0  => null"},
        {TraceKind::refusal, "device 102 is offline"},
        {TraceKind::note, "-> RC 103 1 1 ',' 0 in a note is no command"},
        {TraceKind::out, "ET 1 160"},
        {TraceKind::step, "wait 160"},
        {TraceKind::in, "timer 1"},
    };
    for (const auto& line : lines) watch.line(line.first, line.second);
    EXPECT_EQ(watch.lastStep(), "pick Sources \"VT 1\"");
    ASSERT_EQ(watch.refusals().size(), 2u);
    EXPECT_EQ(watch.refusals()[0].device, 101);
    EXPECT_EQ(watch.refusals()[0].destination, 41);
    EXPECT_EQ(watch.refusals()[0].source, 21);
    EXPECT_EQ(watch.refusals()[0].reason, "destination locked");
    EXPECT_EQ(watch.refusals()[0].control, "Sources");
    EXPECT_EQ(watch.refusals()[1].device, 102);
    EXPECT_EQ(watch.refusals()[1].reason, "device 102 is offline");
    EXPECT_EQ(watch.accepted(), 0);
    EXPECT_EQ(watch.pressed().second, "Mon_2");
    using Key = std::pair<std::string, std::string>;
    const std::map<Key, std::set<int32_t>> expected = {
        {{"1", "Sources"}, {101, 102, 202}},
        {{"1", "Vidtally_2"}, {101}},
    };
    EXPECT_EQ(watch.dependencies(), expected);

    // An outside route's refusal names where it happened and who asked;
    // a line without the place still counts, its numbers unknown.
    struct Outside {
        const char* line;
        int32_t device, destination, source;
        const char* by;
        const char* reason;
    };
    const Outside outside[] = {
        {"outside route refused: router 101, destination 41, source 13, by API: destination locked", 101, 41, 13, "API",
         "destination locked"},
        {"outside route refused: router 7, destination 2, source 3, by controller at 127.0.0.1:4001: device offline", 7,
         2, 3, "controller at 127.0.0.1:4001", "device offline"},
        {"outside route refused: destination locked", -1, -1, -1, "", "destination locked"},
    };
    uint64_t counted = watch.outsideRefused();
    for (const auto& c : outside) {
        watch.line(TraceKind::step, "route 101 41 13");
        watch.line(TraceKind::refusal, c.line);
        ASSERT_EQ(watch.refusals().size(), 1u) << c.line;
        const auto& r = watch.refusals()[0];
        EXPECT_EQ(r.command, "route 101 41 13");
        EXPECT_TRUE(r.outside);
        EXPECT_EQ(r.device, c.device) << c.line;
        EXPECT_EQ(r.destination, c.destination) << c.line;
        EXPECT_EQ(r.source, c.source) << c.line;
        EXPECT_EQ(r.by, c.by) << c.line;
        EXPECT_EQ(r.reason, c.reason) << c.line;
        EXPECT_EQ(watch.outsideRefused(), ++counted);
    }
    EXPECT_EQ(watch.lastActionJson(zarn_host::Facility{})["refusals"][0]["outside"], true);
    watch.line(TraceKind::step, "press Mon_3");
    EXPECT_TRUE(watch.refusals().empty());
}

// A route refused from outside is answered as a refusal (409, what and
// where in the body) and not kept for the session; routes and locks carry
// who made them, a page by its session, any other caller as the API, and
// the destination's history lists them.
TEST(WebFront, outside_refusals_answer_409_and_changes_carry_their_origin) {
    K7Session k7;
    std::string why;
    ASSERT_TRUE(k7.front.listen("127.0.0.1", 0, why)) << why;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread([&] { k7.front.run(stopFlag); });
    httplib::Client client("127.0.0.1", k7.front.port());
    client.set_read_timeout(kAnswerSeconds, 0);
    auto post = [&](const std::string& step, const char* session) {
        json body{{"step", step}};
        if (session) body["session"] = session;
        auto res = client.Post("/api/step", body.dump(), "application/json");
        return res ? std::make_pair(res->status, json::parse(res->body, nullptr, false)) : std::make_pair(0, json());
    };
    auto row = [&](int destination) {
        auto res = client.Get("/api/state?router=101");
        json state = res ? json::parse(res->body, nullptr, false) : json();
        return state.is_object() ? state["destinations"][destination - 1] : json();
    };
    EXPECT_EQ(post("route 101 44 13", "tab-1").first, 200);
    EXPECT_EQ(row(44)["routedBy"], "page session tab-1");
    EXPECT_EQ(post("lock 101 44 page", "tab-1").first, 200);
    EXPECT_EQ(row(44)["lockedBy"], "page session tab-1");

    auto refused = post("route 101 44 12", nullptr);
    EXPECT_EQ(refused.first, 409);
    EXPECT_EQ(refused.second["ok"], false);
    EXPECT_EQ(refused.second["error"], "route refused: destination locked");
    EXPECT_EQ(refused.second["refusal"]["device"], 101);
    EXPECT_EQ(refused.second["refusal"]["destination"], 44);
    EXPECT_EQ(refused.second["refusal"]["destinationName"], "K7 Mon 5");
    EXPECT_EQ(refused.second["refusal"]["source"], 12);
    EXPECT_EQ(refused.second["refusal"]["by"], "API");
    EXPECT_EQ(refused.second["refusal"]["outside"], true);
    EXPECT_EQ(k7.crosspoint(101, 44), 13);
    // A wait after it is not refused: only the step that was.
    EXPECT_EQ(post("wait 10", nullptr).first, 200);
    EXPECT_EQ(post("unlock 101 44", nullptr).first, 200);
    EXPECT_EQ(post("route 101 44 12", "bad session!").first, 400);

    auto history = client.Get("/api/history?router=101&destination=44");
    ASSERT_TRUE(history);
    EXPECT_EQ(history->status, 200);
    json list = json::parse(history->body, nullptr, false);
    ASSERT_TRUE(list.is_array()) << history->body;
    ASSERT_EQ(list.size(), 3u) << list;
    EXPECT_EQ(list[0]["what"], "route");
    EXPECT_EQ(list[0]["source"], 13);
    EXPECT_EQ(list[0]["by"], "page session tab-1");
    EXPECT_EQ(list[1]["what"], "lock");
    EXPECT_EQ(list[2]["what"], "unlock");
    EXPECT_EQ(list[2]["by"], "API");
    EXPECT_EQ(list[2]["time"], 10);
    for (const char* bad : {"/api/history?router=101", "/api/history?router=101&destination=0",
                            "/api/history?router=999&destination=1"}) {
        auto res = client.Get(bad);
        ASSERT_TRUE(res);
        EXPECT_NE(res->status, 200) << bad;
    }
    auto session = client.Post("/api/session", "{}", "application/json");
    ASSERT_TRUE(session);
    EXPECT_EQ(session->body.find("route 101 44 12"), std::string::npos) << session->body;
    stopFlag = true;
    panelThread.join();
}

}  // namespace
