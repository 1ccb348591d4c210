// A served router's answers beyond crosspoints and names: dual controller
// status, salvos (stored, set together, cleared, read back, junk inside
// them), commands it does not support, and the extended destination names
// of a matrix whose levels differ in size.
#include <gtest/gtest.h>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

// Matrix 0: level 0 router 101 (8x8, destination 4 locked), level 1 router
// 102 (4 sources, 20 destinations).
const char* kFacility = R"({"instances":[{"name":"SDI","device":101},{"name":"AES","device":102}],
  "routers":[{"device":101,"sources":8,"destinations":8,"crosspoints":{"1":3,"4":2},"locked":[4],
              "destinationNames":{"1":"MON 1"}},
             {"device":102,"sources":4,"destinations":20}]})";

class ControllerMessages : public ::testing::Test {
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
    static swp08::Message salvo(Kind kind, uint8_t group, uint8_t code = 0, uint8_t index = 0) {
        swp08::Message m;
        m.kind = kind;
        m.salvo = group;
        m.code = code;
        m.index = index;
        return m;
    }
    static swp08::Message store(uint8_t group, uint16_t destination, uint16_t source, uint8_t level = 0) {
        swp08::Message m = crosspointMessage(Kind::salvo_connect, destination, source, swp08::Form::plain, level);
        m.salvo = group;
        return m;
    }
    uint16_t port = freePort();
    std::unique_ptr<BridgedHost> host;
    std::unique_ptr<Peer> a, b;
};

TEST_F(ControllerMessages, DualControllerStatusSaysActiveAndHealthy) {
    ASSERT_TRUE(a->send(salvo(Kind::dual_status_request, 0)));
    auto status = a->awaitKind(Kind::dual_status_response);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->code, 0);  // bit 1 clear: active
    EXPECT_FALSE(status->idleFaulty);
    EXPECT_FALSE(b->awaitKind(Kind::dual_status_response, 100));
}

TEST_F(ControllerMessages, AGoSetsEveryStoredCrosspointTogether) {
    // Three crosspoints stored (one of them stored twice: the second wins),
    // on two levels; nothing routes until the go.
    const swp08::Message stored[] = {store(7, 0, 4), store(7, 1, 5), store(7, 0, 6), store(7, 19, 3, 1)};
    // Every controller hears each acknowledge: they keep their tallies by them.
    for (const auto& m : stored) {
        ASSERT_TRUE(a->send(m));
        for (Peer* peer : {a.get(), b.get()}) {
            auto ack = peer->awaitKind(Kind::salvo_connect_ack);
            ASSERT_TRUE(ack);
            EXPECT_EQ(ack->destination, m.destination);
            EXPECT_EQ(ack->source, m.source);
            EXPECT_EQ(ack->salvo, 7);
        }
    }
    // Read back: three entries, the last flagged as such, then none.
    const uint16_t expected[][3] = {{0, 0, 6}, {0, 1, 5}, {1, 19, 3}};
    for (uint8_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(a->send(salvo(Kind::salvo_interrogate, 7, 0, i)));
        auto tally = a->awaitKind(Kind::salvo_tally);
        ASSERT_TRUE(tally);
        EXPECT_EQ(tally->index, i);
        if (i == 3) {
            EXPECT_EQ(tally->code, 2);
            continue;
        }
        EXPECT_EQ(tally->code, i == 2 ? 1 : 0);
        EXPECT_EQ(tally->level, expected[i][0]);
        EXPECT_EQ(tally->destination, expected[i][1]);
        EXPECT_EQ(tally->source, expected[i][2]);
    }
    host->runtime->exchange(host->host);
    EXPECT_EQ(host->crosspoint(101, 1), 3);
    // The go: the go done to every controller and no connected message of
    // the crosspoints set; the served copy follows them.
    ASSERT_TRUE(a->send(salvo(Kind::salvo_go, 7, 0)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto done = peer->awaitKind(Kind::salvo_go_done);
        ASSERT_TRUE(done);
        EXPECT_EQ(done->code, 0);
        EXPECT_EQ(done->salvo, 7);
    }
    EXPECT_FALSE(b->awaitKind(Kind::connected, 100));
    for (const auto& e : expected) {
        ASSERT_TRUE(
            a->send(crosspointMessage(Kind::interrogate, e[1], 0, swp08::Form::plain, static_cast<uint8_t>(e[0]))));
        auto tally = a->awaitKind(Kind::tally);
        ASSERT_TRUE(tally);
        EXPECT_EQ(tally->source, e[2]);
    }
    EXPECT_FALSE(a->awaitKind(Kind::connected, 50));
    EXPECT_EQ(host->crosspoint(101, 1), 7);
    EXPECT_EQ(host->crosspoint(101, 2), 6);
    EXPECT_EQ(host->crosspoint(102, 20), 4);
    // The go used the group: a second go has nothing to set.
    ASSERT_TRUE(a->send(salvo(Kind::salvo_go, 7, 0)));
    auto again = a->awaitKind(Kind::salvo_go_done);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, 2);
}

// Junk in a salvo stores nothing and answers nothing but the link's ACK;
// a clear empties the group; a locked destination in a go is answered with
// where it stays; what was not stored never routes.
TEST_F(ControllerMessages, JunkInASalvoChangesNothing) {
    const struct {
        const char* what;
        swp08::Bytes bytes;
    } junk[] = {
        {"no router at level 3", swp08::encodeFrame(store(1, 0, 1, 3))},
        {"destination out of range", swp08::encodeFrame(store(1, 8, 1))},
        {"source out of range", swp08::encodeFrame(store(1, 0, 8))},
        {"no source", swp08::encodeFrame(store(1, 0, swp08::kNoSource))},
        {"salvo 128", swp08::frame(swp08::Bytes{0x78, 0x00, 0x00, 0x01, 0x02, 0x80})},
        {"cut short", swp08::frame(swp08::Bytes{0x78, 0x00, 0x00, 0x01})},
    };
    for (const auto& j : junk) {
        ASSERT_TRUE(a->sendRaw(j.bytes)) << j.what;
        EXPECT_TRUE(a->awaitAck()) << j.what;
    }
    ASSERT_TRUE(a->send(salvo(Kind::salvo_interrogate, 1)));
    auto empty = a->awaitKind(Kind::salvo_tally);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->code, 2);
    EXPECT_FALSE(a->awaitKind(Kind::salvo_connect_ack, 50));
    ASSERT_TRUE(host->traced("not stored"));

    // Stored, then cleared: the go after it has nothing to set.
    ASSERT_TRUE(a->send(store(2, 1, 7)));
    ASSERT_TRUE(a->awaitKind(Kind::salvo_connect_ack));
    ASSERT_TRUE(a->send(salvo(Kind::salvo_go, 2, 1)));
    for (Peer* peer : {a.get(), b.get()}) {  // every controller forgets what it stored
        auto cleared = peer->awaitKind(Kind::salvo_go_done);
        ASSERT_TRUE(cleared);
        EXPECT_EQ(cleared->code, 1);
    }
    ASSERT_TRUE(a->send(salvo(Kind::salvo_go, 2, 0)));
    auto none = a->awaitKind(Kind::salvo_go_done);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->code, 2);

    // A locked destination in a go: the rest routes, and after the go done
    // every controller hears the locked one's source as it stays (they took
    // it as set from its acknowledge).
    ASSERT_TRUE(a->send(store(3, 3, 0)));
    ASSERT_TRUE(a->send(store(3, 4, 0)));
    ASSERT_TRUE(a->send(salvo(Kind::salvo_go, 3, 0)));
    for (Peer* peer : {a.get(), b.get()}) {
        auto order = peer->awaitMessage([](const swp08::Message& m) {
            return m.kind == Kind::connected || (m.kind == Kind::salvo_go_done && m.salvo == 3);
        });
        ASSERT_TRUE(order);
        EXPECT_EQ(order->kind, Kind::salvo_go_done);
        EXPECT_EQ(order->code, 0);
        auto locked = peer->awaitKind(Kind::connected);
        ASSERT_TRUE(locked);
        EXPECT_EQ(locked->destination, 3);
        EXPECT_EQ(locked->source, 1);
        EXPECT_FALSE(peer->awaitKind(Kind::connected, 50));  // the destination routed gives none
    }
    EXPECT_TRUE(host->pumpUntil([&] { return host->crosspoint(101, 5) == 1; }));
    EXPECT_EQ(host->crosspoint(101, 4), 2);
    EXPECT_EQ(host->crosspoint(101, 2), 0);
}

TEST_F(ControllerMessages, AnUnsupportedCommandIsTracedOncePerController) {
    const swp08::Bytes status = swp08::frame(swp08::Bytes{0x07, 0x00});
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(a->sendRaw(status));
        ASSERT_TRUE(a->awaitAck());
    }
    ASSERT_TRUE(b->sendRaw(status));
    ASSERT_TRUE(b->awaitAck());
    ASSERT_TRUE(a->send(crosspointMessage(Kind::interrogate, 0)));
    ASSERT_TRUE(a->awaitKind(Kind::tally));
    host->runtime->exchange(host->host);
    int traced = 0;
    for (const auto& line : host->trace) traced += line.find("command 7 not supported") != std::string::npos;
    EXPECT_EQ(traced, 2);
}

// The extended destination names request names a matrix, no level: its
// names are level 0's, however many destinations the other levels have.
TEST_F(ControllerMessages, ExtendedDestinationNamesAreLevelZeros) {
    swp08::Message request;
    request.kind = Kind::destination_names_request;
    request.form = swp08::Form::extended;
    request.nameLength = swp08::NameLength::eight;
    ASSERT_TRUE(a->send(request));
    auto names = a->awaitKind(Kind::destination_names);
    ASSERT_TRUE(names);
    ASSERT_EQ(names->names.size(), 8u);
    EXPECT_EQ(names->names[0], "MON 1");
    EXPECT_FALSE(a->awaitKind(Kind::destination_names, 100));
}

}  // namespace
}  // namespace zarn_host::bridges
