// A facility router served over SW-P-08 to controllers on loopback: what a
// controller's request does on the panel thread and what it hears back, bad
// input, and controllers that misbehave.
#include <gtest/gtest.h>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

// Router 101: 8x8, destination 1 on source 3, 2 on 1, 3 unrouted, 4 locked.
// Router 102 (level 1): 400 named sources, for answers that fill buffers.
// Router 103 (level 2): 1100 sources, so that facility source 1024 exists.
std::string facilityJson() {
    std::string names;
    for (int s = 1; s <= 400; ++s)
        names += (s > 1 ? "," : "") + ("\"" + std::to_string(s) + "\":\"Source name " + std::to_string(s) + "\"");
    return R"({"instances":[{"name":"SDI","device":101},{"name":"Big","device":102}],
      "routers":[{"device":101,"sources":8,"destinations":8,"sourceNames":{"3":"Cam 1"},
                  "crosspoints":{"1":3,"2":1,"4":2},"locked":[4]},
                 {"device":103,"sources":1100,"destinations":4,"crosspoints":{"1":1}},
                 {"device":102,"sources":400,"destinations":8,"sourceNames":{)" +
           names + "}}]}";
}

class ServedRouter : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<BridgedHost>(
            facilityJson(), std::vector<SwpRouterConfig>{served(101, port), served(102, port, 1), served(103, port, 2)},
            ClientTiming{}, limits);
        ASSERT_TRUE(host->started) << host->error;
    }
    std::unique_ptr<Peer> controller(int receiveBuffer = 0) {
        auto peer = Peer::connectTo(port, receiveBuffer);
        EXPECT_TRUE(peer);
        if (peer) host->pumping(*peer);
        return peer;
    }
    uint16_t port = freePort();
    ServerLimits limits;
    std::unique_ptr<BridgedHost> host;
};

TEST_F(ServedRouter, ConnectReachesThePanelThreadAndEveryControllerHearsIt) {
    auto a = controller();
    auto b = controller();
    ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    // Facility destination 2, source 5: wire 1 and 4.
    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, 1, 4)));
    ASSERT_TRUE(a->awaitAck());
    ASSERT_TRUE(host->pumpUntil([&] { return host->crosspoint(101, 2) == 5; }));
    for (Peer* peer : {a.get(), b.get()}) {
        auto heard = peer->awaitKind(Kind::connected);
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->destination, 1);
        EXPECT_EQ(heard->source, 4);
    }
    // The served copy follows: an interrogate right after reads the new source.
    ASSERT_TRUE(a->send(crosspointMessage(Kind::interrogate, 1)));
    auto tally = a->awaitKind(Kind::tally);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->source, 4);
}

// A connect the facility refuses is answered to its controller alone, with
// the source the destination keeps; the crosspoint stays.
struct Refused {
    const char* what;
    uint16_t destination, source;  // wire numbers
    uint16_t answered;             // the source of the answer
    int32_t keeps;                 // facility source of destination + 1
    const char* traced;
};

class RefusedConnect : public ServedRouter, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedConnect, IsAnsweredWithTheSourceKept) {
    const Refused& r = GetParam();
    auto a = controller();
    auto b = controller();
    ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, r.destination, r.source)));
    auto answer = a->awaitKind(Kind::connected);
    ASSERT_TRUE(answer);  // after a trip to the panel thread: the wait pumps it
    EXPECT_EQ(answer->destination, r.destination);
    EXPECT_EQ(answer->source, r.answered);
    EXPECT_EQ(host->crosspoint(101, r.destination + 1), r.keeps);
    EXPECT_TRUE(host->traced(r.traced)) << r.what;
    EXPECT_FALSE(b->awaitKind(Kind::connected, 100));
}

const Refused refusals[] = {
    {"locked destination", 3, 0, 1, 2, "outside route refused: "},
    {"source out of range", 0, 8, 2, 3, "outside route refused: "},
    // 1023 is "no source" as on every path; the facility has no disconnect.
    {"no source", 0, swp08::kNoSource, 2, 3, "outside route refused: "},
    {"no source to an unrouted destination", 2, swp08::kNoSource, swp08::kNoSource, 0, "outside route refused: "},
};

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedConnect, ::testing::ValuesIn(refusals),
                         [](const ::testing::TestParamInfo<Refused>& info) {
                             std::string name = info.param.what;
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

// Where facility source 1024 exists, wire source 1023 is it, and no source
// is 65535, in the extended form: a plain request is answered extended when
// the answer needs it, so nothing claimed is left unsent.
TEST_F(ServedRouter, NoSourceIsOutsideTheRouterAnd1023IsARealSourceOfALargeOne) {
    auto a = controller();
    ASSERT_TRUE(a->send(crosspointMessage(Kind::interrogate, 1, 0, swp08::Form::plain, 2)));
    auto unrouted = a->awaitKind(Kind::tally);
    ASSERT_TRUE(unrouted);
    EXPECT_EQ(unrouted->form, swp08::Form::extended);
    EXPECT_EQ(unrouted->source, swp08::kNoSourceWide);

    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, 1, 1023, swp08::Form::plain, 2)));
    auto routed = a->awaitKind(Kind::connected);
    ASSERT_TRUE(routed);
    EXPECT_EQ(routed->source, 1023);
    EXPECT_EQ(host->crosspoint(103, 2), 1024);

    // A refused plain connect whose destination keeps a source past 1023:
    // answered, extended, with that source.
    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, 1, 1050, swp08::Form::extended, 2)));
    ASSERT_TRUE(a->awaitMessage([](const swp08::Message& m) { return m.kind == Kind::connected && m.source == 1050; }));
    host->host.facility().router(103)->locked[2] = LockOwner{};
    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, 1, 5, swp08::Form::plain, 2)));
    auto kept = a->awaitKind(Kind::connected);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->form, swp08::Form::extended);
    EXPECT_EQ(kept->source, 1050);
    EXPECT_EQ(host->crosspoint(103, 2), 1051);
    EXPECT_TRUE(host->traced("ext connected m0 l2 d1 s1050 (destination locked)"));

    // A connect to a destination the router does not have: a connected
    // message of no source, not a tally.
    ASSERT_TRUE(a->send(crosspointMessage(Kind::connect, 8, 5, swp08::Form::extended, 2)));
    auto none = a->awaitMessage([](const swp08::Message& m) { return m.destination == 8; });
    ASSERT_TRUE(none);
    EXPECT_EQ(none->kind, Kind::connected);
    EXPECT_EQ(none->source, swp08::kNoSourceWide);
}

TEST_F(ServedRouter, UnroutedAndOutOfRangeAreNoSource) {
    auto a = controller();
    struct Case {
        uint16_t destination;
        swp08::Form form;
        uint16_t source;
    } cases[] = {{0, swp08::Form::plain, 2},
                 {2, swp08::Form::plain, swp08::kNoSource},
                 {2, swp08::Form::extended, swp08::kNoSource},
                 {8, swp08::Form::plain, swp08::kNoSource},
                 {900, swp08::Form::extended, swp08::kNoSource}};
    for (const Case& c : cases) {
        ASSERT_TRUE(a->send(crosspointMessage(Kind::interrogate, c.destination, 0, c.form)));
        auto tally = a->awaitKind(Kind::tally);
        ASSERT_TRUE(tally) << c.destination;
        EXPECT_EQ(tally->destination, c.destination);
        EXPECT_EQ(tally->source, c.source) << c.destination;
        EXPECT_EQ(tally->form, c.form);
    }
    swp08::Message dump;
    dump.kind = Kind::tally_dump_request;
    ASSERT_TRUE(a->send(dump));
    auto tallies = a->awaitKind(Kind::tally_dump);
    ASSERT_TRUE(tallies);
    const std::vector<uint16_t> expected = {
        2, 0, swp08::kNoSource, 1, swp08::kNoSource, swp08::kNoSource, swp08::kNoSource, swp08::kNoSource};
    EXPECT_EQ(tallies->sources, expected);
}

// Bad input is answered as the link layer says and counted; the controller
// stays and is answered next.
TEST_F(ServedRouter, JunkIsCountedAndTheControllerStays) {
    auto a = controller();
    swp08::Bytes badChecksum = swp08::encodeFrame(crosspointMessage(Kind::interrogate, 0));
    badChecksum[badChecksum.size() - 3] ^= 1;
    const uint8_t unknown[] = {0x55, 0x00};
    const uint8_t tooShort[] = {0x01};  // an interrogate without its numbers
    const struct {
        const char* what;
        swp08::Bytes bytes;
        bool nak;  // else ACK or nothing
    } junk[] = {
        {"garbage", {0x01, 0x02, 0x03}, false},
        {"bad checksum", badChecksum, true},
        {"bad stuffing", {swp08::kDle, swp08::kStx, 0x01, swp08::kDle, 0x07}, true},
        {"unknown command", swp08::frame(unknown, sizeof unknown), false},
        {"message too short", swp08::frame(tooShort, 1), false},
    };
    int count = 0;
    for (const auto& j : junk) {
        ASSERT_TRUE(a->sendRaw(j.bytes));
        if (j.nak) {
            EXPECT_TRUE(a->awaitNak()) << j.what;
        }
        ++count;
        std::string want = "\"badFrames\":" + std::to_string(count);
        EXPECT_TRUE(host->pumpUntilStatus(want)) << j.what << ": " << host->runtime->statusJson();
    }
    ASSERT_TRUE(a->send(crosspointMessage(Kind::interrogate, 1)));
    auto tally = a->awaitKind(Kind::tally);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->source, 0);
    EXPECT_TRUE(host->traced("bad frame (bad checksum"));
    EXPECT_TRUE(host->traced("message not understood (unknown command"));
}

TEST_F(ServedRouter, AControllerThatDoesNotReadIsDroppedAndTheNextIsAnswered) {
    auto silent = controller(4096);
    // Each request is 8 bytes; its answer, 400 names of 16 characters, is
    // some 7 KiB: the answers outgrow every buffer long before the last.
    swp08::Message names;
    names.kind = Kind::source_names_request;
    names.level = 1;
    names.nameLength = swp08::NameLength::sixteen;
    swp08::Bytes request = swp08::encodeFrame(names);
    swp08::Bytes many;
    for (int i = 0; i < 2000; ++i) many.insert(many.end(), request.begin(), request.end());
    silent->sendRaw(many);  // may stop short once the host has closed
    ASSERT_TRUE(host->pumpUntil([&] { return host->traced("does not read; dropped"); }));
    ASSERT_TRUE(host->pumpUntilStatus("with 0 controllers"));
    auto next = controller();
    ASSERT_TRUE(next->send(crosspointMessage(Kind::interrogate, 0)));
    auto tally = next->awaitKind(Kind::tally);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->source, 2);
}

class FewControllers : public ServedRouter {
protected:
    FewControllers() { limits.maxControllers = 2; }
};

// Full, a new controller takes the place of the one silent longest: idle
// connections cannot lock a working controller out.
TEST_F(FewControllers, OneTooManyTakesThePlaceOfTheSilentLongest) {
    auto idle = controller();
    auto busy = controller();
    ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    ASSERT_TRUE(busy->send(crosspointMessage(Kind::interrogate, 0)));
    ASSERT_TRUE(busy->awaitKind(Kind::tally));
    auto next = controller();
    EXPECT_TRUE(idle->awaitClosed());
    EXPECT_TRUE(host->pumpUntil([&] { return host->traced("dropped for a new one: 2 connected"); }));
    for (Peer* peer : {busy.get(), next.get()}) {
        ASSERT_TRUE(peer->send(crosspointMessage(Kind::interrogate, 0)));
        EXPECT_TRUE(peer->awaitKind(Kind::tally));
    }
    EXPECT_NE(host->runtime->statusJson().find(R"("evicted":1)"), std::string::npos);
}

}  // namespace
}  // namespace zarn_host::bridges
