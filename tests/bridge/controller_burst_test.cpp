// What controllers that wait for each confirmation rely on: every connect,
// whoever makes it, is told to every controller by a connected message of its
// own, in the order made, also when the source stays; a burst is not
// coalesced.
#include <gtest/gtest.h>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

// Router 101: 8x8, destination 1 on source 3, 4 locked.
const char* kFacility = R"({"instances":[{"name":"SDI","device":101}],
  "routers":[{"device":101,"sources":8,"destinations":8,"crosspoints":{"1":3,"4":2},"locked":[4]}]})";

class Burst : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<BridgedHost>(kFacility, std::vector<SwpRouterConfig>{served(101, port)});
        ASSERT_TRUE(host->started) << host->error;
    }
    std::unique_ptr<Peer> controller() {
        auto peer = Peer::connectTo(port);
        EXPECT_TRUE(peer);
        if (peer) host->pumping(*peer);
        return peer;
    }
    // The connected messages a peer reads until it has n of them (or the wait runs out).
    static std::vector<swp08::Message> connecteds(Peer& peer, std::size_t n) {
        std::vector<swp08::Message> heard;
        while (heard.size() < n) {
            auto m = peer.awaitKind(Kind::connected);
            if (!m) break;
            heard.push_back(*m);
        }
        return heard;
    }
    uint16_t port = freePort();
    std::unique_ptr<BridgedHost> host;
};

TEST_F(Burst, EveryConnectOfABurstIsConfirmedInOrderToEveryController) {
    auto a = controller();
    auto b = controller();
    ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    // 1,000 connects in one write: destinations 1-3 (wire 0-2) in turn, the
    // sources cycling so that many leave the crosspoint as it was.
    swp08::Bytes burst;
    std::vector<std::pair<uint16_t, uint16_t>> sent;
    for (int i = 0; i < 1000; ++i) {
        uint16_t destination = static_cast<uint16_t>(i % 3);
        uint16_t source = static_cast<uint16_t>((i / 3) % 2 ? 2 : 4);
        sent.push_back({destination, source});
        swp08::Bytes f = swp08::encodeFrame(crosspointMessage(Kind::connect, destination, source));
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(a->sendRaw(burst));
    for (Peer* peer : {a.get(), b.get()}) {
        std::vector<swp08::Message> heard = connecteds(*peer, sent.size());
        ASSERT_EQ(heard.size(), sent.size());
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(heard[i].destination, sent[i].first) << i;
            ASSERT_EQ(heard[i].source, sent[i].second) << i;
        }
    }
    EXPECT_EQ(host->crosspoint(101, 1), 3);  // the last to destination 1: wire source 2
}

// Routes made on the panel thread (the panel, a scenario step, the page) are
// told too, each one, also to the same source; a refused one is not.
TEST_F(Burst, RoutesMadeOnThePanelThreadAreEachTold) {
    auto a = controller();
    ASSERT_TRUE(host->pumpUntilStatus("with 1 controller"));
    ASSERT_EQ(host->host.routeFromOutside(101, 1, 3), RouteResult::done);  // as it was
    ASSERT_EQ(host->host.routeFromOutside(101, 1, 3), RouteResult::done);
    ASSERT_EQ(host->host.routeFromOutside(101, 4, 5), RouteResult::locked);
    ASSERT_EQ(host->host.routeFromOutside(101, 2, 6), RouteResult::done);
    host->runtime->exchange(host->host);
    std::vector<swp08::Message> heard = connecteds(*a, 3);
    ASSERT_EQ(heard.size(), 3u);
    const std::pair<uint16_t, uint16_t> expected[] = {{0, 2}, {0, 2}, {1, 5}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heard[i].destination, expected[i].first);
        EXPECT_EQ(heard[i].source, expected[i].second);
    }
    EXPECT_FALSE(a->awaitKind(Kind::connected, 100));
}

}  // namespace
}  // namespace zarn_host::bridges
