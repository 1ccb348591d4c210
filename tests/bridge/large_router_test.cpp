// Large served routers: a matrix of 16 levels of 4,096 x 4,096 and a router
// of 1,152 x 1,152, their names given as range rules. Tally dumps of every
// level, names in every length, interrogate and connect at the ends of the
// range, in the forms the numbers need.
#include <gtest/gtest.h>

#include "bridge_io_harness.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

// Devices 200-215: matrix 0, levels 0-15, 4,096 x 4,096; device 300: matrix
// 1, level 0, 1,152 x 1,152. Every destination d of a level starts on source
// d (level 0) or unrouted; names by rule, one overridden.
std::string largeFacility() {
    std::string routers;
    for (int level = 0; level < 16; ++level) {
        routers += R"({"device":)" + std::to_string(200 + level) +
                   R"(,"sources":4096,"destinations":4096,"sourceNames":{"1-4096":"L)" + std::to_string(level) +
                   R"( SRC {n}"},"destinationNames":{"1-4096":"DEST {n} OF LEVEL )" + std::to_string(level) + R"("}},)";
    }
    return R"({"routers":[)" + routers +
           R"({"device":300,"sources":1152,"destinations":1152,"sourceNames":{"1-1152":"IN{n}","7":"Seven"},
                "crosspoints":{"1152":1152}}]})";
}

std::vector<SwpRouterConfig> largeRouters(uint16_t port) {
    std::vector<SwpRouterConfig> configs;
    for (uint8_t level = 0; level < 16; ++level) configs.push_back(served(200 + level, port, level));
    SwpRouterConfig other = served(300, port);
    other.matrix = 1;
    configs.push_back(other);
    return configs;
}

class LargeRouters : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        port = freePort();
        host = new BridgedHost(largeFacility(), largeRouters(port));
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(host->started) << host->error;
        peer = Peer::connectTo(port);
        ASSERT_TRUE(peer);
        host->pumping(*peer);
    }
    static uint16_t port;
    static BridgedHost* host;
    std::unique_ptr<Peer> peer;
};
uint16_t LargeRouters::port = 0;
BridgedHost* LargeRouters::host = nullptr;

TEST_F(LargeRouters, EveryLevelDumpsEveryDestination) {
    for (uint8_t level = 0; level < 16; ++level) {
        SCOPED_TRACE(int(level));
        swp08::Message request;
        request.kind = Kind::tally_dump_request;
        request.form = level % 2 ? swp08::Form::extended : swp08::Form::plain;
        request.level = level;
        ASSERT_TRUE(peer->send(request));
        std::vector<uint16_t> sources;
        while (sources.size() < 4096) {
            auto dump = peer->awaitKind(Kind::tally_dump);
            ASSERT_TRUE(dump);
            ASSERT_EQ(dump->level, level);
            ASSERT_EQ(dump->first, sources.size());
            ASSERT_LE(dump->sources.size(), 64u);
            // A plain request on this size gets the word form.
            EXPECT_TRUE(dump->form == swp08::Form::extended || dump->wordDump);
            sources.insert(sources.end(), dump->sources.begin(), dump->sources.end());
        }
        EXPECT_EQ(sources.size(), 4096u);
        EXPECT_EQ(std::count(sources.begin(), sources.end(), swp08::kNoSourceWide), 4096);
    }
}

TEST_F(LargeRouters, NamesInEveryLength) {
    const struct {
        Kind kind;
        swp08::Form form;
        uint8_t matrix, level;
        std::size_t count;
        const char* first;  // the first name at the length asked for, and the last
        const char* last;
    } cases[] = {
        {Kind::source_names_request, swp08::Form::extended, 0, 5, 4096, "L5 SRC 1", "L5 SRC 4096"},
        {Kind::destination_names_request, swp08::Form::plain, 0, 15, 4096, "DEST 1 OF LEVEL 15",
         "DEST 4096 OF LEVEL 15"},
        // The extended request names a matrix: level 0's destinations.
        {Kind::destination_names_request, swp08::Form::extended, 0, 0, 4096, "DEST 1 OF LEVEL 0",
         "DEST 4096 OF LEVEL 0"},
        {Kind::source_names_request, swp08::Form::plain, 1, 0, 1152, "IN1", "IN1152"},
    };
    for (const auto& c : cases) {
        for (auto length : {swp08::NameLength::four, swp08::NameLength::eight, swp08::NameLength::twelve,
                            swp08::NameLength::sixteen}) {
            SCOPED_TRACE(std::string(c.first) + " " + std::to_string(swp08::nameChars(length)));
            swp08::Message request;
            request.kind = c.kind;
            request.form = c.form;
            request.matrix = c.matrix;
            request.level = c.form == swp08::Form::extended && c.kind == Kind::destination_names_request ? 0 : c.level;
            request.nameLength = length;
            ASSERT_TRUE(peer->send(request));
            std::vector<std::string> names;
            while (names.size() < c.count) {
                auto m = peer->awaitMessage([](const swp08::Message& m) {
                    return m.kind == Kind::source_names || m.kind == Kind::destination_names;
                });
                ASSERT_TRUE(m);
                ASSERT_EQ(m->first, names.size());
                ASSERT_EQ(m->nameLength, length);
                ASSERT_LE(m->names.size(), swp08::namesPerMessage(length));
                names.insert(names.end(), m->names.begin(), m->names.end());
            }
            ASSERT_EQ(names.size(), c.count);
            const std::size_t chars = swp08::nameChars(length);
            auto cut = [&](const char* name) {
                std::string text = std::string(name).substr(0, chars);
                while (!text.empty() && text.back() == ' ') text.pop_back();
                return text;
            };
            EXPECT_EQ(names.front(), cut(c.first));
            EXPECT_EQ(names.back(), cut(c.last));
        }
    }
}

// Interrogate and connect at both ends of each range, in the form the
// numbers need: extended past 1023 whatever form the request came in.
TEST_F(LargeRouters, InterrogateAndConnectOverTheWholeRange) {
    const struct {
        uint8_t matrix, level;
        int32_t device;
        uint16_t destination, source;
        swp08::Form asked, answered;
    } cases[] = {
        {0, 0, 200, 0, 0, swp08::Form::plain, swp08::Form::plain},
        {0, 15, 215, 4095, 4094, swp08::Form::extended, swp08::Form::extended},
        {0, 7, 207, 1023, 1022, swp08::Form::plain, swp08::Form::plain},
        {0, 3, 203, 2048, 3000, swp08::Form::extended, swp08::Form::extended},
        {1, 0, 300, 1151, 1150, swp08::Form::extended, swp08::Form::extended},
        {1, 0, 300, 1000, 1, swp08::Form::plain, swp08::Form::plain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.device) + " d" + std::to_string(c.destination));
        swp08::Message connect = crosspointMessage(Kind::connect, c.destination, c.source, c.asked, c.level);
        connect.matrix = c.matrix;
        ASSERT_TRUE(peer->send(connect));
        auto heard = peer->awaitKind(Kind::connected);
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->destination, c.destination);
        EXPECT_EQ(heard->source, c.source);
        // Connected messages go extended to a controller that spoke extended once.
        if (c.answered == swp08::Form::extended) {
            EXPECT_EQ(heard->form, swp08::Form::extended);
        }
        EXPECT_EQ(host->crosspoint(c.device, c.destination + 1), c.source + 1);
        swp08::Message interrogate = crosspointMessage(Kind::interrogate, c.destination, 0, c.asked, c.level);
        interrogate.matrix = c.matrix;
        ASSERT_TRUE(peer->send(interrogate));
        auto tally = peer->awaitKind(Kind::tally);
        ASSERT_TRUE(tally);
        EXPECT_EQ(tally->source, c.source);
        EXPECT_EQ(tally->form, c.answered);
    }
    // Past the end: no source, nothing routed.
    swp08::Message beyond = crosspointMessage(Kind::connect, 4096, 1, swp08::Form::extended, 2);
    ASSERT_TRUE(peer->send(beyond));
    auto refused = peer->awaitKind(Kind::connected);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->destination, 4096);
    EXPECT_EQ(refused->source, swp08::kNoSourceWide);
}

// Facility sources 1,023 to 1,025 of a 4,096-source router (wire 1022 to
// 1024) route and read back, in both forms where they fit: 1023 is a source
// here, not none.
TEST_F(LargeRouters, Sources1023To1025RouteInBothForms) {
    for (swp08::Form form : {swp08::Form::plain, swp08::Form::extended}) {
        for (uint16_t wire : {1022, 1023, 1024}) {
            if (form == swp08::Form::plain && wire > 1023) continue;  // the plain form ends at 1023
            SCOPED_TRACE(std::to_string(wire) + (form == swp08::Form::plain ? " plain" : " extended"));
            const uint16_t destination = static_cast<uint16_t>(wire - 1000 + (form == swp08::Form::plain ? 0 : 10));
            ASSERT_TRUE(peer->send(crosspointMessage(Kind::connect, destination, wire, form, 4)));
            auto heard = peer->awaitKind(Kind::connected);
            ASSERT_TRUE(heard);
            EXPECT_EQ(heard->source, wire);
            EXPECT_EQ(host->crosspoint(204, destination + 1), wire + 1);
            ASSERT_TRUE(peer->send(crosspointMessage(Kind::interrogate, destination, 0, form, 4)));
            auto tally = peer->awaitKind(Kind::tally);
            ASSERT_TRUE(tally);
            EXPECT_EQ(tally->source, wire);
            // A plain request gets a plain answer where the source fits it.
            EXPECT_EQ(tally->form,
                      form == swp08::Form::plain && wire < 1024 ? swp08::Form::plain : swp08::Form::extended);
        }
    }
}

// A salvo group holds as many crosspoints as its interrogate's index
// reaches (256): the next is not stored. Wire source 1023 is a source here.
TEST_F(LargeRouters, ASalvoGroupHoldsWhatItsInterrogateReaches) {
    for (uint16_t d = 0; d <= 256; ++d) {
        swp08::Message store = crosspointMessage(Kind::salvo_connect, d, 1023, swp08::Form::plain, 6);
        store.salvo = 9;
        ASSERT_TRUE(peer->send(store));
        if (d < 256) {
            ASSERT_TRUE(peer->awaitKind(Kind::salvo_connect_ack)) << d;
        }
    }
    EXPECT_FALSE(peer->awaitKind(Kind::salvo_connect_ack, 100));
    swp08::Message interrogate;
    interrogate.kind = Kind::salvo_interrogate;
    interrogate.salvo = 9;
    interrogate.index = 255;
    ASSERT_TRUE(peer->send(interrogate));
    auto last = peer->awaitKind(Kind::salvo_tally);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->code, 1);
    EXPECT_EQ(last->destination, 255);
    EXPECT_EQ(last->source, 1023);
    swp08::Message go;
    go.kind = Kind::salvo_go;
    go.salvo = 9;
    ASSERT_TRUE(peer->send(go));
    ASSERT_TRUE(peer->awaitKind(Kind::salvo_go_done));
    EXPECT_TRUE(host->pumpUntil([&] { return host->crosspoint(206, 256) == 1024; }));
    EXPECT_EQ(host->crosspoint(206, 257), 0);
}

// Backed by a router of 4,096 x 4,096 at level 9: the client reads its whole
// tally dump and its names (the destination names asked of the matrix), and
// sends the panel's routes past 1023 in the extended form.
TEST(LargeBackedRouter, ReadsTheWholeRouterAndRoutesPast1023) {
    Listener router;
    SwpRouterConfig config;
    config.device = 400;
    config.listen = false;
    config.level = 9;
    config.at = {"127.0.0.1", router.port};
    config.names = "router";
    BridgedHost host(R"({"routers":[{"device":400,"sources":4096,"destinations":4096}]})", {config},
                     ClientTiming{10, 40, 20});
    ASSERT_TRUE(host.started) << host.error;
    std::unique_ptr<Peer> peer;
    ASSERT_TRUE(host.pumpUntil([&] { return (peer = router.accept(1)) != nullptr; }));
    host.pumping(*peer);
    auto request = peer->awaitKind(Kind::tally_dump_request);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->level, 9);
    auto destinationNames = peer->awaitKind(Kind::destination_names_request);
    ASSERT_TRUE(destinationNames);
    EXPECT_EQ(destinationNames->form, swp08::Form::extended);
    std::vector<uint16_t> sources(4096);
    for (std::size_t d = 0; d < sources.size(); ++d) sources[d] = static_cast<uint16_t>(4095 - d);
    for (const auto& m : swp08::tallyDumpFor(*request, sources)) ASSERT_TRUE(peer->send(m));
    std::vector<std::string> names;
    for (int n = 1; n <= 4096; ++n) names.push_back("OUT " + std::to_string(n));
    for (const auto& m : swp08::namesFor(*destinationNames, names)) ASSERT_TRUE(peer->send(m));
    ASSERT_TRUE(host.pumpUntil([&] {
        const Router* r = host.host.facility().router(400);
        return host.crosspoint(400, 4096) == 1 && r->destinationNames.size() == 4096;
    }));
    EXPECT_EQ(host.crosspoint(400, 1), 4096);
    EXPECT_EQ(host.crosspoint(400, 2048), 2049);
    EXPECT_EQ(host.host.facility().router(400)->destinationNames.at(4096), "OUT 4096");
    ASSERT_EQ(host.host.routeFromOutside(400, 3000, 4000), RouteResult::done);
    host.runtime->exchange(host.host);
    auto connect = peer->awaitKind(Kind::connect);
    ASSERT_TRUE(connect);
    EXPECT_EQ(connect->form, swp08::Form::extended);
    EXPECT_EQ(connect->level, 9);
    EXPECT_EQ(connect->destination, 2999);
    EXPECT_EQ(connect->source, 3999);
}

}  // namespace
}  // namespace zarn_host::bridges
