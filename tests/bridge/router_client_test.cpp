// A facility router backed by a real one over SW-P-08: the client reads the
// router on every connect, follows its tallies (1023 is no source), sends
// the panel's routes, and is offline and reconnecting while the router is
// away. The router is a loopback socket of the test; the back-off is short.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

const char* kFacility = R"({"instances":[{"name":"SDI","device":101}],
  "routers":[{"device":101,"sources":8,"destinations":4,"crosspoints":{"1":1,"2":1,"3":1,"4":1}}]})";

constexpr ClientTiming kQuick{10, 40, 20};

SwpRouterConfig backedBy(uint16_t port, const char* names = "facility") {
    SwpRouterConfig c;
    c.device = 101;
    c.listen = false;
    c.at = {"127.0.0.1", port};
    c.names = names;
    return c;
}

TEST(Backoff, DoublesUpToTheMostAndStartsAgainAfterAConnect) {
    Backoff backoff(ClientTiming{});
    const int expected[] = {250, 500, 1000, 2000, 4000, 5000, 5000};
    for (int wait : expected) EXPECT_EQ(backoff.next(), wait);
    backoff.reset();
    EXPECT_EQ(backoff.next(), 250);
    Backoff uneven(ClientTiming{30, 100, 0});
    for (int wait : {30, 60, 100, 100}) EXPECT_EQ(uneven.next(), wait);
}

class RouterClient : public ::testing::Test {
protected:
    void start(const char* names = "facility") {
        host = std::make_unique<BridgedHost>(kFacility, std::vector<SwpRouterConfig>{backedBy(router.port, names)},
                                             kQuick);
        ASSERT_TRUE(host->started) << host->error;
        EXPECT_FALSE(host->host.facility().online(101));  // until the router answers
    }
    // Accepts the client and reads its tally dump request.
    std::unique_ptr<Peer> acceptClient() {
        std::unique_ptr<Peer> peer;
        EXPECT_TRUE(host->pumpUntil([&] { return (peer = router.accept(1)) != nullptr; }));
        if (!peer) return nullptr;
        host->pumping(*peer);
        auto request = peer->awaitKind(Kind::tally_dump_request);
        EXPECT_TRUE(request);
        return peer;
    }
    void dump(Peer& peer, std::vector<uint16_t> sources) {
        swp08::Message m;
        m.kind = Kind::tally_dump;
        m.form = swp08::Form::extended;
        m.sources = std::move(sources);
        ASSERT_TRUE(peer.send(m));
    }
    Listener router;
    std::unique_ptr<BridgedHost> host;
};

TEST_F(RouterClient, ReadsTheRouterOnConnectAndIsOnline) {
    start("router");
    auto peer = acceptClient();
    ASSERT_TRUE(peer);
    // Names were asked for too.
    EXPECT_TRUE(peer->awaitKind(Kind::source_names_request));
    dump(*peer, {4, swp08::kNoSource, 0, 7});
    swp08::Message names;
    names.kind = Kind::source_names;
    names.form = swp08::Form::extended;
    names.nameLength = swp08::NameLength::sixteen;
    names.first = 4;  // facility source 5
    names.names = {"Cam 5", ""};
    ASSERT_TRUE(peer->send(names));
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().router(101)->sourceNames.count(5) == 1; }));
    EXPECT_TRUE(host->host.facility().online(101));
    EXPECT_EQ(host->crosspoint(101, 1), 5);
    EXPECT_EQ(host->crosspoint(101, 2), 0);
    EXPECT_EQ(host->crosspoint(101, 3), 1);
    EXPECT_EQ(host->crosspoint(101, 4), 8);
    EXPECT_EQ(host->host.facility().router(101)->sourceNames.at(5), "Cam 5");
    EXPECT_EQ(host->host.facility().router(101)->sourceNames.count(6), 0u);  // an empty name is none
    EXPECT_TRUE(host->pumpUntilStatus("connected to 127.0.0.1:"));
}

// Tallies and connected messages, either form: wire sources 1023 and 65535
// are no source (outside this 8-source router), any other is the facility's
// source n + 1.
TEST_F(RouterClient, TalliesFollowTheRouterAnd1023IsNoSource) {
    start();
    auto peer = acceptClient();
    ASSERT_TRUE(peer);
    dump(*peer, {0, 0, 0, 0});
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().online(101) && host->crosspoint(101, 4) == 1; }));
    const struct {
        Kind kind;
        swp08::Form form;
        uint16_t destination, source;
        int32_t facilitySource;
    } cases[] = {
        {Kind::tally, swp08::Form::plain, 0, swp08::kNoSource, 0},
        {Kind::connected, swp08::Form::extended, 1, swp08::kNoSource, 0},
        {Kind::connected, swp08::Form::plain, 1, 5, 6},
        {Kind::tally, swp08::Form::extended, 1, swp08::kNoSourceWide, 0},
        {Kind::connected, swp08::Form::plain, 2, 5, 6},
        {Kind::tally, swp08::Form::extended, 3, 7, 8},
        {Kind::tally, swp08::Form::extended, 3, 8, 8},     // out of range: ignored
        {Kind::tally, swp08::Form::extended, 3, 1024, 8},  // so is any number past 1023
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(peer->send(crosspointMessage(c.kind, c.destination, c.source, c.form)));
        ASSERT_TRUE(host->pumpUntil([&] {
            return host->traced("<- router: " +
                                swp08::describe(crosspointMessage(c.kind, c.destination, c.source, c.form)));
        }));
        host->runtime->exchange(host->host);  // what the trace line came with
        EXPECT_EQ(host->crosspoint(101, c.destination + 1), c.facilitySource) << c.destination << " " << c.source;
    }
}

TEST_F(RouterClient, ThePanelsRoutesGoToTheRouterAsConnects) {
    start();
    auto peer = acceptClient();
    ASSERT_TRUE(peer);
    dump(*peer, {0, 0, 0, 0});
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().online(101) && host->crosspoint(101, 1) == 1; }));
    ASSERT_EQ(host->host.routeFromOutside(101, 3, 6), RouteResult::done);
    auto connect = peer->awaitKind(Kind::connect);
    ASSERT_TRUE(connect);
    EXPECT_EQ(connect->destination, 2);
    EXPECT_EQ(connect->source, 5);
    // What the router says back is not sent to it again.
    ASSERT_TRUE(peer->send(crosspointMessage(Kind::connected, 0, 3)));
    ASSERT_TRUE(host->pumpUntil([&] { return host->crosspoint(101, 1) == 4; }));
    EXPECT_FALSE(peer->awaitKind(Kind::connect, 100));
}

// A route made while the router's dump is on its way: the dump's older word
// is taken, but never sent back to the router as a route (it would undo the
// route made).
TEST_F(RouterClient, ADumpTakenAfterARouteDoesNotUndoIt) {
    start();
    auto peer = acceptClient();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().online(101); }));  // online when connected
    ASSERT_EQ(host->host.routeFromOutside(101, 3, 6), RouteResult::done);
    // The dump's trace line and crosspoints wait for the panel thread together with the route.
    std::mutex mutex;
    std::condition_variable woken;
    int queued = 0;
    host->runtime->setWake([&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++queued;
        woken.notify_all();
    });
    dump(*peer, {0, 0, 0, 0});
    bool both = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        both = woken.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return queued >= 2; });
    }
    host->runtime->setWake(nullptr);  // before the wake's captures go
    ASSERT_TRUE(both) << queued << " of the dump's 2 events queued";
    auto connect = peer->awaitKind(Kind::connect);
    ASSERT_TRUE(connect);
    EXPECT_EQ(connect->destination, 2);
    EXPECT_EQ(connect->source, 5);
    auto again = peer->awaitKind(Kind::connect, 200);
    EXPECT_FALSE(again) << "connect " << again->destination << " <- " << again->source;
}

TEST_F(RouterClient, ALostRouterIsOfflineUntilItIsBack) {
    start();
    auto peer = acceptClient();
    ASSERT_TRUE(peer);
    dump(*peer, {2, 2, 2, 2});
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().online(101) && host->crosspoint(101, 1) == 3; }));
    // The router goes away: its connection closes and connects are refused.
    router.stop();
    peer.reset();
    ASSERT_TRUE(host->pumpUntil([&] { return !host->host.facility().online(101); }));
    EXPECT_TRUE(host->traced("offline 101 (router connection lost)"));
    EXPECT_TRUE(host->pumpUntilStatus("reconnecting to 127.0.0.1:"));
    // Back: the client connects again and reads the crosspoints afresh.
    router.restart();
    auto again = acceptClient();
    ASSERT_TRUE(again);
    dump(*again, {5, 5, 5, 5});
    ASSERT_TRUE(host->pumpUntil([&] { return host->host.facility().online(101) && host->crosspoint(101, 1) == 6; }));
    EXPECT_TRUE(host->pumpUntilStatus("connected to 127.0.0.1:"));
}

TEST(RouterClientAlone, NoRouterIsOfflineAndReconnecting) {
    uint16_t port = freePort();
    BridgedHost host(kFacility, {backedBy(port)}, kQuick);
    ASSERT_TRUE(host.started) << host.error;
    // The first connect settles when it fails: the start does not wait out
    // its limit (a refused connect takes milliseconds).
    const auto limit = std::chrono::milliseconds(kWaitMs);
    auto begun = Clock::now();
    host.runtime->awaitFirstConnects(limit);
    EXPECT_LT(Clock::now() - begun, limit / 2);
    EXPECT_TRUE(host.pumpUntilStatus("reconnecting to 127.0.0.1:" + std::to_string(port)));
    EXPECT_FALSE(host.host.facility().online(101));
}

}  // namespace
}  // namespace zarn_host::bridges
