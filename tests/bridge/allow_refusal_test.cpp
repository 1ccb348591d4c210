// A served router's allow list as peers meet it, for each protocol that
// listens: the host listens on loopback with a list that leaves 127.0.0.1
// out, so every connect from there is refused. A refused peer is closed
// before a byte is read or written, counted in the page's status, and traced
// once for its address however often it comes back; 127.0.0.2 (loopback
// too, and in the list) is served as before.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bridge_io_harness.h"
#include "bridges/emberplus/ember_module.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;

const char* kFacility = R"({"instances":[{"name":"SDI","device":101}],
  "routers":[{"device":101,"sources":8,"destinations":4,"crosspoints":{"1":2}}]})";

// A connection to 127.0.0.1:port from the loopback address from.
std::unique_ptr<Peer> connectFrom(const char* from, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in to = loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<Peer>(fd);
}

AllowList allowing(const char* entry) {
    AllowList list;
    std::string error;
    EXPECT_TRUE(list.add(entry, error)) << error;
    return list;
}

struct Protocol {
    const char* kind;   // the status row's and the trace's
    const char* peers;  // what the trace calls them
};

class AllowRefusal : public ::testing::TestWithParam<Protocol> {
protected:
    void start(const char* allow) {
        std::vector<std::unique_ptr<Module>> modules;
        if (std::string(GetParam().kind) == "swp08") {
            SwpRouterConfig c = served(101, port);
            c.allow = allowing(allow);
            modules.push_back(std::make_unique<Swp08Module>(std::vector<SwpRouterConfig>{c}, false));
        } else {
            EmberRouterConfig c;
            c.device = 101;
            c.at = {"127.0.0.1", port};
            c.allow = allowing(allow);
            modules.push_back(
                std::make_unique<EmberModule>(std::vector<EmberRouterConfig>{c}, EmberPanelConfig{}, false));
        }
        host = std::make_unique<BridgedHost>(kFacility, std::move(modules));
        ASSERT_TRUE(host->started) << host->error;
    }
    nlohmann::json peersCounters() {
        const auto page = nlohmann::json::parse(host->runtime->statusJson());
        for (const auto& row : page["bridges"]) {
            if (row["kind"] == GetParam().kind && row["role"] == "listen") return row["peers"];
        }
        return nullptr;
    }
    std::size_t tracedTimes(const std::string& text) const {
        std::size_t n = 0;
        for (const auto& line : host->trace) n += line.find(text) != std::string::npos ? 1 : 0;
        return n;
    }
    uint16_t port = freePort();
    std::unique_ptr<BridgedHost> host;
};

TEST_P(AllowRefusal, APeerOutsideTheListIsClosedUnreadCountedAndTracedOncePerAddress) {
    start("127.0.0.2");
    const std::string refusedLine = std::string(GetParam().kind) + " 127.0.0.1:" + std::to_string(port) + ": " +
                                    GetParam().peers + " 127.0.0.1 refused: not in the \"allow\" list (127.0.0.2)";
    constexpr int kTries = 20;
    for (int i = 0; i < kTries; ++i) {
        auto peer = connectFrom("127.0.0.1", port);
        ASSERT_TRUE(peer);
        // What it sends at once is never read: a good SW-P-08 frame gets no ACK,
        // and nothing at all comes back before the close.
        peer->send(crosspointMessage(swp08::Kind::interrogate, 0));
        host->pumping(*peer);
        ASSERT_TRUE(peer->awaitClosed()) << i;
        EXPECT_TRUE(peer->events.empty()) << i;
    }
    auto other = connectFrom("127.0.0.3", port);
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->awaitClosed());
    ASSERT_TRUE(host->pumpUntil([&] { return peersCounters()["refused"] == kTries + 1; }))
        << host->runtime->statusJson();
    ASSERT_TRUE(host->pumpUntil([&] { return host->traced(GetParam().peers + std::string(" 127.0.0.3 refused")); }));
    EXPECT_EQ(tracedTimes(refusedLine), 1u);
    const nlohmann::json counters = peersCounters();
    EXPECT_EQ(counters["accepted"], 0);
    // The page shows what the listener admits.
    EXPECT_NE(host->runtime->statusJson().find(R"("allow":"127.0.0.2")"), std::string::npos);

    // A peer the list admits is served.
    auto admitted = connectFrom("127.0.0.2", port);
    ASSERT_TRUE(admitted);
    ASSERT_TRUE(host->pumpUntil([&] { return peersCounters()["accepted"] == 1; }));
    if (std::string(GetParam().kind) == "swp08") {
        host->pumping(*admitted);
        ASSERT_TRUE(admitted->send(crosspointMessage(swp08::Kind::interrogate, 0)));
        auto tally = admitted->awaitKind(swp08::Kind::tally);
        ASSERT_TRUE(tally);
        EXPECT_EQ(tally->source, 1);
    }
    EXPECT_FALSE(admitted->awaitClosed(100));
    EXPECT_EQ(peersCounters()["refused"], kTries + 1);
}

INSTANTIATE_TEST_SUITE_P(Protocols, AllowRefusal,
                         ::testing::Values(Protocol{"swp08", "controller"}, Protocol{"emberplus", "consumer"}),
                         [](const ::testing::TestParamInfo<Protocol>& info) { return std::string(info.param.kind); });

// A listener beyond loopback without a list does not open, whoever made its
// configuration (the facility file's reader says so first, with the path).
TEST(AllowRefusalAtStart, AListenerBeyondLoopbackWithoutAListDoesNotOpen) {
    SwpRouterConfig c = served(101, 0);
    c.at.host = "0.0.0.0";
    std::vector<std::unique_ptr<Module>> modules;
    modules.push_back(std::make_unique<Swp08Module>(std::vector<SwpRouterConfig>{c}, true));
    BridgedHost host(kFacility, std::move(modules));
    EXPECT_FALSE(host.started);
    EXPECT_EQ(host.error, "swp08 listen 0.0.0.0:0: an address other machines reach needs an \"allow\" list");
}

}  // namespace
}  // namespace zarn_host::bridges
