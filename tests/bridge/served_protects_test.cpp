// Protects on a served router: the facility's destination locks, held by a
// controller's device number or by the host. Two controllers on loopback:
// who may release a protect, the master protect, every change heard by
// both, the host's locks seen as protects and a controller's as a lock.
#include "bridges/swp08/served_protects.h"

#include <gtest/gtest.h>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

// Matrix 0: level 0 router 101 (8x8, destination 4 locked in the file),
// level 1 router 102 (4 sources, 2,000 destinations).
const char* kFacility = R"({"instances":[{"name":"SDI","device":101},{"name":"AES","device":102}],
  "routers":[{"device":101,"sources":8,"destinations":8,"crosspoints":{"1":3,"4":2},"locked":[4]},
             {"device":102,"sources":4,"destinations":2000}]})";

swp08::Message protectMessage(Kind kind, uint16_t destination, uint16_t device, swp08::Form form = swp08::Form::plain,
                              uint8_t level = 0) {
    swp08::Message m = crosspointMessage(kind, destination, 0, form, level);
    m.device = device;
    return m;
}

class ServedProtects : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<BridgedHost>(kFacility,
                                             std::vector<SwpRouterConfig>{served(101, port), served(102, port, 1)});
        ASSERT_TRUE(host->started) << host->error;
        a = Peer::connectTo(port);
        b = Peer::connectTo(port);
        ASSERT_TRUE(a && b);
        host->pumping(*a);
        host->pumping(*b);
        ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    }
    // The next protect message of this kind a peer hears about a destination.
    static std::optional<swp08::Message> heard(Peer& peer, Kind kind, uint16_t destination, int ms = kWaitMs) {
        return peer.awaitMessage(
            [&](const swp08::Message& m) { return m.kind == kind && m.destination == destination; }, ms);
    }
    std::optional<LockOwner> owner(int32_t device, int32_t destination) {
        const auto& locked = host->host.facility().router(device)->locked;
        auto lock = locked.find(destination);
        return lock == locked.end() ? std::nullopt : std::optional<LockOwner>(lock->second);
    }
    uint16_t port = freePort();
    std::unique_ptr<BridgedHost> host;
    std::unique_ptr<Peer> a, b;
};

// A's protect holds against B's disconnect and protect; B's master protect
// takes it; then only B releases it. Every change reaches both controllers.
TEST_F(ServedProtects, OnlyTheHolderReleasesAndAMasterProtectTakesOver) {
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_connect, 1, 5)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto connected = heard(*peer, Kind::protect_connected, 1);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->device, 5);
        EXPECT_EQ(connected->code, static_cast<uint8_t>(swp08::ProtectState::protect));
    }
    EXPECT_EQ(owner(101, 2), LockOwner::controller(5));

    // The panel's lock refuses a route to it, whoever asks.
    ASSERT_TRUE(b->send(crosspointMessage(Kind::connect, 1, 6)));
    auto kept = b->awaitKind(Kind::connected);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->source, swp08::kNoSource);
    EXPECT_EQ(host->host.routeFromOutside(101, 2, 5), RouteResult::locked);

    // Another device's disconnect and protect: refused, the tally unchanged,
    // answered to B alone.
    for (Kind kind : {Kind::protect_disconnect, Kind::protect_connect}) {
        ASSERT_TRUE(b->send(protectMessage(kind, 1, 6)));
        auto tally = heard(*b, Kind::protect_tally, 1);
        ASSERT_TRUE(tally) << swp08::describe(protectMessage(kind, 1, 6));
        EXPECT_EQ(tally->device, 5);
        EXPECT_EQ(tally->code, 1);
    }
    EXPECT_TRUE(host->traced("refused: held by controller 5"));
    EXPECT_FALSE(heard(*a, Kind::protect_tally, 1, 50));
    EXPECT_EQ(owner(101, 2), LockOwner::controller(5));

    // The master protect takes it for B's device.
    ASSERT_TRUE(b->send(protectMessage(Kind::master_protect_connect, 1, 6)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto connected = heard(*peer, Kind::protect_connected, 1);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->device, 6);
    }
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_disconnect, 1, 5)));
    ASSERT_TRUE(heard(*a, Kind::protect_tally, 1));
    ASSERT_TRUE(b->send(protectMessage(Kind::protect_disconnect, 1, 6)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto released = heard(*peer, Kind::protect_disconnected, 1);
        ASSERT_TRUE(released);
        EXPECT_EQ(released->device, 6);
        EXPECT_EQ(released->code, 0);
    }
    EXPECT_FALSE(owner(101, 2));
    EXPECT_EQ(host->host.routeFromOutside(101, 2, 5), RouteResult::done);
}

// The host's locks (the facility file's, a scenario step's, the page's) show
// as protects by the host's device number, and a controller cannot release
// them but by a master protect.
TEST_F(ServedProtects, TheHostsLocksAreProtectsByTheHostsDevice) {
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_interrogate, 3, 0)));
    auto fileLock = heard(*a, Kind::protect_tally, 3);
    ASSERT_TRUE(fileLock);
    EXPECT_EQ(fileLock->code, 1);
    EXPECT_EQ(fileLock->device, kHostDevice);

    host->host.facility().router(101)->locked[6] = LockOwner{LockOwner::Kind::page, 0};
    for (Peer* peer : {a.get(), b.get()}) {
        auto connected = heard(*peer, Kind::protect_connected, 5);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->device, kHostDevice);
    }
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_disconnect, 5, 5)));
    ASSERT_TRUE(heard(*a, Kind::protect_tally, 5));
    EXPECT_EQ(owner(101, 6), (LockOwner{LockOwner::Kind::page, 0}));
    // A controller may not pass as the host.
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_connect, 0, kHostDevice)));
    auto refused = heard(*a, Kind::protect_tally, 0);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, 0);
    EXPECT_FALSE(owner(101, 1));

    // The page's unlock reaches the controllers as a release.
    host->host.facility().router(101)->locked.erase(6);
    auto released = heard(*b, Kind::protect_disconnected, 5);
    ASSERT_TRUE(released);
    EXPECT_EQ(released->device, kHostDevice);
}

// The extended forms on a level past destination 1023, the answers in the
// controller's form; the protect dump of a level, 16 destinations a message.
TEST_F(ServedProtects, ExtendedFormsAndTheDumpOnEveryLevel) {
    ASSERT_TRUE(a->send(protectMessage(Kind::protect_connect, 1500, 700, swp08::Form::extended, 1)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto connected = heard(*peer, Kind::protect_connected, 1500);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->form, swp08::Form::extended);
        EXPECT_EQ(connected->level, 1);
        EXPECT_EQ(connected->device, 700);
    }
    EXPECT_EQ(owner(102, 1501), LockOwner::controller(700));
    ASSERT_TRUE(b->send(protectMessage(Kind::protect_interrogate, 1500, 0, swp08::Form::extended, 1)));
    auto tally = heard(*b, Kind::protect_tally, 1500);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->device, 700);

    // Level 0's dump: 8 destinations in one message, the file's lock at 3.
    swp08::Message request;
    request.kind = Kind::protect_dump_request;
    ASSERT_TRUE(a->send(request));
    auto dump = a->awaitKind(Kind::protect_dump);
    ASSERT_TRUE(dump);
    ASSERT_EQ(dump->protects.size(), 8u);
    EXPECT_EQ(dump->protects[3], (swp08::Protect{1, kHostDevice}));
    EXPECT_EQ(dump->protects[0], (swp08::Protect{0, 0}));
    // Level 1's from destination 1490: 510 destinations, 32 messages, the
    // protect at 1500 in the first.
    request.level = 1;
    request.first = 1490;
    ASSERT_TRUE(b->send(request));
    std::vector<swp08::Message> dumps;
    while (auto next = b->awaitKind(Kind::protect_dump, dumps.size() < 32 ? kWaitMs : 50)) dumps.push_back(*next);
    ASSERT_EQ(dumps.size(), 32u);
    EXPECT_EQ(dumps[0].first, 1490);
    EXPECT_EQ(dumps[0].protects.at(10), (swp08::Protect{1, 700}));
    EXPECT_EQ(dumps[31].first, 1986);
    EXPECT_EQ(dumps[31].protects.size(), 14u);
}

TEST(LockOwners, AreNamedAndParsed) {
    const struct {
        const char* text;
        std::optional<LockOwner> owner;
        const char* described;
    } cases[] = {
        {"scenario", LockOwner{LockOwner::Kind::scenario, 0}, "scenario"},
        {"page", LockOwner{LockOwner::Kind::page, 0}, "page"},
        {"5", LockOwner::controller(5), "controller 5"},
        {"65535", LockOwner::controller(65535), "controller 65535"},
        {"65536", std::nullopt, ""},
        {"-1", std::nullopt, ""},
        {"", std::nullopt, ""},
        {"panel", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseLockOwner(c.text), c.owner);
        if (c.owner) {
            EXPECT_EQ(describe(*c.owner), c.described);
        }
    }
    EXPECT_EQ(describe(LockOwner{LockOwner::Kind::facility, 0}), "facility file");
}

}  // namespace
}  // namespace zarn_host::bridges
