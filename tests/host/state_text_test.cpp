// The whole state written a piece at a time: the same bytes as the state made
// whole, on the K7 facility and with a generated router of 4,096 x 4,096;
// one moment's state however late it is read; and a front-end whose readers
// leave mid-state or stall keeps serving.
#include "web/page_server/state_text.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "host_test_support.h"
#include "platform/panel_library.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "web/page_server/page_state.h"
#include "web/page_server/web_front.h"

namespace {

using json = nlohmann::json;
using zarn_host::Origin;
using zarn_host::StateText;

constexpr int32_t generated = 301;

// The K7 facility, with a generated router of size x size when size > 0:
// every port named, every destination routed, as tools/make-facility.js makes it.
zarn_host::Facility facility(int size) {
    std::ifstream in(std::string(ZARN_TEST_SOURCE_DIR) + "/host/facilities/k7/facility.json");
    json f = json::parse(in);
    if (size > 0) {
        json sources = json::object(), destinations = json::object(), crosspoints = json::object();
        for (int n = 1; n <= size; ++n) {
            std::string number = std::to_string(n);
            sources[number] = "G Src " + number;
            destinations[number] = "G Dst " + number;
            crosspoints[number] = (n * 7) % size + 1;
        }
        f["instances"].push_back({{"name", "Gen Router"}, {"device", generated}, {"offset", 0}});
        f["routers"].push_back({{"device", generated},
                                {"sources", size},
                                {"destinations", size},
                                {"sourceNames", sources},
                                {"destinationNames", destinations},
                                {"crosspoints", crosspoints}});
    }
    zarn_host::Facility out;
    std::string why;
    EXPECT_TRUE(zarn_host::Facility::parse(f.dump(), "big.json", out, why)) << why;
    return out;
}

// The K7 panel on a facility, loaded.
struct PanelSession {
    std::unique_ptr<zarn_host::PanelLibrary> library;
    zarn_host::SimHost host;
    std::ostringstream err;
    zarn_host::ScenarioRunner runner;
    explicit PanelSession(int size)
        : host(facility(size)),
          runner(
              host,
              [this](std::string& why) {
                  if (!library) library = zarn_host::PanelLibrary::open(K7_MON_LIBRARY, why);
                  return library && host.load(library->entryPoint(),
                                              std::string(ZARN_TEST_SOURCE_DIR) + "/host/facilities/k7", "k7");
              },
              err) {}
};

std::string readAll(StateText& text, std::size_t* pieces = nullptr, std::size_t* longest = nullptr) {
    std::string all, piece;
    while (text.next(piece)) {
        all += piece;
        if (pieces) ++*pieces;
        if (longest) *longest = std::max(*longest, piece.size());
    }
    EXPECT_FALSE(text.next(piece));
    EXPECT_TRUE(piece.empty());
    return all;
}

// Routes and locks by every kind of origin, a registration, a name that is
// not UTF-8, an offline router: all that a row or the state's rest shows.
void stir(zarn_host::SimHost& host, int32_t device) {
    zarn_host::Facility& f = host.facility();
    zarn_host::Router* r = f.router(device);
    ASSERT_NE(r, nullptr);
    f.route(device, 1, 2, Origin::controller(5, "127.0.0.1:4001"), 10);
    f.route(device, 2, 2, Origin::of(Origin::Kind::page, "tab-1"), 20);
    f.route(device, 2, 3, Origin::of(Origin::Kind::consumer, "127.0.0.1:4002"), 30);
    for (int i = 0; i < 12; ++i) f.route(device, 3, 1 + i, Origin::of(Origin::Kind::api), 40 + i);
    r->lock(3, Origin::of(Origin::Kind::page, "tab-2"), 60);
    r->lock(4, Origin::controller(7), 61);
    r->unlock(4, Origin::of(Origin::Kind::scenario), 62);
    r->registrations.emplace_back(2, 5);
    r->destinationNames[5] = "bad \xff name \"quoted\"";
    r->sourceNames[2] = "Cam \xc3";
    f.setOnline(102, false);
}

json extras() {
    return {{"lastAction", {{"step", "route 301 1 2"}, {"refusals", json::array()}}}, {"umd", json::array()}};
}

TEST(state_text, gives_the_same_bytes_as_the_state_made_whole) {
    for (int size : {0, 4096}) {
        SCOPED_TRACE("generated router of " + std::to_string(size));
        PanelSession s(size);
        std::string why;
        ASSERT_TRUE(s.runner.ensureStarted(why)) << why << s.err.str();
        stir(s.host, size > 0 ? generated : 101);
        json whole = zarn_host::pageState(s.host, s.runner, {"/b/libk7_mon.so", false, 3});
        json apart =
            zarn_host::pageState(s.host, s.runner, {"/b/libk7_mon.so", false, 3}, zarn_host::RouterDetail::rowsApart);
        whole.update(extras());
        apart.update(extras());
        ASSERT_GT(whole["panels"].size(), 0u);

        std::size_t pieces = 0, longest = 0;
        auto text = StateText::ofState(apart, s.host.facility());
        std::string streamed = readAll(*text, &pieces, &longest);
        std::string expected = zarn_host::jsonText(whole);
        ASSERT_EQ(streamed.size(), expected.size());
        EXPECT_TRUE(streamed == expected);
        // Pieces are bounded (a row more at most), and a large state comes in many.
        EXPECT_LE(longest, StateText::pieceBytes + 1000);
        EXPECT_GE(pieces, expected.size() / (StateText::pieceBytes + 1000));
        if (size > 0) {
            EXPECT_GT(pieces, 20u);
        }

        for (const auto& entry : s.host.facility().routers()) {
            const zarn_host::Router& r = entry.second;
            auto one = StateText::ofRouter(zarn_host::routerJson(s.host.facility(), r, false), s.host.facility());
            EXPECT_TRUE(readAll(*one) == zarn_host::jsonText(zarn_host::routerJson(s.host.facility(), r)))
                << "router " << r.device;
        }
    }
}

// Read after the facility changed, the text is still the state it was taken at.
TEST(state_text, is_one_moments_state_however_late_it_is_read) {
    PanelSession s(512);
    zarn_host::Facility& f = s.host.facility();
    stir(s.host, generated);
    json before = zarn_host::pageState(s.host, s.runner, {});
    auto text = StateText::ofState(zarn_host::pageState(s.host, s.runner, {}, zarn_host::RouterDetail::rowsApart), f);
    auto router = StateText::ofRouter(zarn_host::routerJson(f, *f.router(generated), false), f);
    std::string first;
    ASSERT_TRUE(text->next(first));

    f.route(generated, 512, 9, Origin::of(Origin::Kind::panel), 100);
    f.router(generated)->lock(511, Origin::of(Origin::Kind::api), 101);
    f.router(generated)->sourceNames[9] = "renamed";
    f.router(generated)->destinationNames.erase(510);
    f.router(generated)->history.clear();
    f.setOnline(generated, false);

    EXPECT_TRUE(first + readAll(*text) == zarn_host::jsonText(before));
    EXPECT_TRUE(readAll(*router) == zarn_host::jsonText(before["routers"].back()));
}

// A generated router of 4,096 x 4,096 behind a listening front-end.
struct ServedSession : PanelSession {
    zarn_host::WebFront front;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread;
    ServedSession() : PanelSession(4096), front(host, runner, options()) {
        std::string why;
        EXPECT_TRUE(front.listen("127.0.0.1", 0, why)) << why;
        panelThread = std::thread([this] { front.run(stopFlag); });
    }
    ~ServedSession() {
        stopFlag = true;
        panelThread.join();
        if (::testing::Test::HasFailure()) zarn_host_test::tellHostState(err.str(), host);
    }
    zarn_host::WebFrontOptions options() {
        zarn_host::WebFrontOptions o;
        o.err = &err;
        return o;
    }
    int post(const std::string& step) {
        httplib::Client client("127.0.0.1", front.port());
        client.set_read_timeout(30, 0);  // the library's 5 s are short on a loaded machine
        auto res = client.Post("/api/step", json{{"step", step}}.dump(), "application/json");
        return res ? res->status : 0;
    }
    json get(const std::string& path) {
        httplib::Client client("127.0.0.1", front.port());
        client.set_read_timeout(30, 0);
        auto res = client.Get(path.c_str());
        return res && res->status == 200 ? json::parse(res->body, nullptr, false) : json();
    }
};

int32_t sourceAt(const json& state, std::size_t router, std::size_t destination) {
    const json& rows = state["routers"][router]["destinations"];
    return rows.is_array() && rows.size() >= destination ? rows[destination - 1]["source"].get<int32_t>() : -1;
}

// More readers than may read at once leave mid-state: each one's share is
// given back, and whole states are read after them.
TEST(state_text, readers_that_leave_mid_state_leave_the_front_end_serving) {
    ServedSession s;
    for (int i = 0; i < 20; ++i) {
        httplib::Client client("127.0.0.1", s.front.port());
        client.set_read_timeout(30, 0);
        std::size_t got = 0;
        auto res = client.Get("/api/state", [&](const char*, std::size_t length) {
            got += length;
            return got < 100000;  // then the reader hangs up
        });
        EXPECT_FALSE(res) << "reader " << i << " was given it all";
        EXPECT_GE(got, 100000u);
    }
    EXPECT_EQ(s.post("route 301 7 99"), 200);
    json state = s.get("/api/state");
    ASSERT_TRUE(state.is_object());
    ASSERT_EQ(state["routers"].size(), 3u);
    EXPECT_EQ(state["routers"][2]["destinations"].size(), 4096u);
    EXPECT_EQ(sourceAt(state, 2, 7), 99);
}

// A reader that stops reading holds up neither the panel nor other readers;
// when it reads on, it gets the state of the moment it asked.
TEST(state_text, a_stalled_reader_holds_up_nothing_and_gets_its_moment) {
    ServedSession s;
    ASSERT_EQ(s.post("route 301 4096 5"), 200);
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false, release = false;
    std::string body;
    std::thread stalled([&] {
        httplib::Client client("127.0.0.1", s.front.port());
        client.set_read_timeout(30, 0);
        client.Get("/api/state", [&](const char* data, std::size_t length) {
            std::unique_lock<std::mutex> lock(mutex);
            if (!started) {
                started = true;
                changed.notify_all();
                changed.wait(lock, [&] { return release; });
            }
            body.append(data, length);
            return true;
        });
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return started; });
    }
    EXPECT_EQ(s.post("route 301 4096 6"), 200);
    EXPECT_EQ(sourceAt(s.get("/api/state"), 2, 4096), 6);
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
        changed.notify_all();
    }
    stalled.join();
    json late = json::parse(body, nullptr, false);
    ASSERT_TRUE(late.is_object()) << body.size() << " bytes";
    EXPECT_EQ(sourceAt(late, 2, 4096), 5);
}

}  // namespace
