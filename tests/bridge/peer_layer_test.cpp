// The peer layer every protocol stands on (listener, peer link, reconnecting
// client) as outside peers meet it on loopback: idle connections lock nobody
// out, dead and silent peers are found, a peer that does not read loses
// nothing for the others, a failing accept does not spin, a name that does
// not resolve stalls nothing, and an Ember+ consumer is answered in the form
// it asked and at a bounded rate.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "bridge_io_harness.h"
#include "bridges/codecs/ember_glow.h"
#include "bridges/codecs/ember_s101.h"
#include "bridges/emberplus/ember_module.h"
#include "support/sanitizer.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

const char* kFacility = R"({"instances":[{"name":"SDI","device":101}],
  "routers":[{"device":101,"sources":8,"destinations":4,"crosspoints":{"1":2,"2":1,"3":1,"4":1}}]})";

// An Ember+ consumer or provider on a raw socket: S101 packets out, whole
// Glow messages and keep-alives in, every wait bounded.
class EmberPeer {
public:
    explicit EmberPeer(int fd) : fd_(fd) {}
    ~EmberPeer() {
        if (::testing::Test::HasFailure()) {
            std::fprintf(stderr, "--- an Ember+ peer: %zu messages, %d keep-alive requests read%s\n", messages.size(),
                         keepAliveRequests, closed ? ", closed" : "");
        }
        if (fd_ >= 0) ::close(fd_);
    }
    static std::unique_ptr<EmberPeer> connectTo(uint16_t port) {
        auto swp = Peer::connectTo(port);
        if (!swp) return nullptr;
        int fd = ::dup(swp->fd());
        return std::make_unique<EmberPeer>(fd);
    }
    bool sendBytes(const ember::Bytes& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    bool send(const ember::GlowMessage& m) {
        for (const auto& packet : ember::frameMessage(ember::encodeGlow(m))) {
            if (!sendBytes(packet)) return false;
        }
        return true;
    }
    // Reads for ms; answers keep-alive requests when answering.
    void read(
        int ms, const std::function<bool()>& done = [] { return false; }) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!closed && !done()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return;
            if (pump) pump();
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, pump ? 2 : static_cast<int>(left)) <= 0) continue;
            uint8_t buffer[8192];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                return;
            }
            std::vector<ember::S101Event> events;
            decoder_.feed(buffer, static_cast<std::size_t>(n), events);
            for (auto& e : events) {
                if (e.kind == ember::S101Event::Kind::keep_alive_request) {
                    ++keepAliveRequests;
                    if (answering) sendBytes(ember::keepAliveResponse());
                } else if (e.kind == ember::S101Event::Kind::message) {
                    messages.push_back(ember::decodeGlow(e.message).message);
                }
            }
        }
    }
    std::vector<ember::GlowMessage> messages;
    int keepAliveRequests = 0;
    bool answering = true;
    bool closed = false;
    std::function<void()> pump;

private:
    int fd_;
    ember::S101Decoder decoder_;
};

// A GetDirectory of path: plain (nested nodes by number) or qualified.
ember::GlowMessage getDirectory(const ember::Path& path, bool qualified) {
    ember::Element command = ember::Element::makeCommand(ember::CommandType::get_directory);
    ember::Element e;
    e.kind = ember::ElementKind::node;
    if (qualified) {
        e.qualified = true;
        e.path = path;
        e.children = std::vector<ember::Element>{command};
    } else {
        e.number = static_cast<int32_t>(path.back());
        e.children = std::vector<ember::Element>{command};
        for (std::size_t depth = path.size() - 1; depth-- > 0;) {
            ember::Element parent;
            parent.kind = ember::ElementKind::node;
            parent.number = static_cast<int32_t>(path[depth]);
            parent.children = std::vector<ember::Element>{std::move(e)};
            e = std::move(parent);
        }
    }
    ember::GlowMessage m;
    m.elements.push_back(std::move(e));
    return m;
}

EmberRouterConfig servedOverEmber(uint16_t port) {
    EmberRouterConfig c;
    c.device = 101;
    c.listen = true;
    c.at = {"127.0.0.1", port};
    return c;
}

// A host serving router 101 over SW-P-08 and Ember+.
class BothServed : public ::testing::Test {
protected:
    void start(ProviderLimits limits = {}, ServerLimits swp = {}) {
        std::vector<std::unique_ptr<Module>> modules;
        modules.push_back(std::make_unique<Swp08Module>(std::vector<SwpRouterConfig>{served(101, swpPort)}, false,
                                                        ClientTiming{}, swp));
        modules.push_back(std::make_unique<EmberModule>(std::vector<EmberRouterConfig>{servedOverEmber(emberPort)},
                                                        EmberPanelConfig{}, false, limits));
        host = std::make_unique<BridgedHost>(kFacility, std::move(modules));
        ASSERT_TRUE(host->started) << host->error;
    }
    std::unique_ptr<EmberPeer> consumer() {
        auto c = EmberPeer::connectTo(emberPort);
        EXPECT_TRUE(c);
        if (c) c->pump = [this] { host->runtime->exchange(host->host); };
        return c;
    }
    uint16_t swpPort = freePort();
    uint16_t emberPort = freePort();
    std::unique_ptr<BridgedHost> host;
};

TEST_F(BothServed, SeventyIdleConnectionsLockNoControllerOrConsumerOut) {
    start();
    std::vector<std::unique_ptr<Peer>> idle;
    for (int i = 0; i < 70; ++i) {
        for (uint16_t port : {swpPort, emberPort}) {
            idle.push_back(Peer::connectTo(port));
            ASSERT_TRUE(idle.back());
        }
    }
    auto controller = Peer::connectTo(swpPort);
    ASSERT_TRUE(controller);
    host->pumping(*controller);
    ASSERT_TRUE(controller->send(crosspointMessage(Kind::interrogate, 0)));
    auto tally = controller->awaitKind(Kind::tally);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->source, 1);
    auto c = consumer();
    ASSERT_TRUE(c->send(getDirectory({2}, true)));
    c->read(kWaitMs, [&] { return !c->messages.empty(); });
    ASSERT_EQ(c->messages.size(), 1u);
    EXPECT_FALSE(c->closed);
}

// A node's directory, asked plainly or qualified, is its children, each
// qualified: a consumer that walks the tree asks each once and ends.
TEST_F(BothServed, ANodesDirectoryIsItsChildrenWhicheverFormItWasAskedIn) {
    start();
    auto c = consumer();
    for (bool qualified : {false, true}) {
        c->messages.clear();
        ASSERT_TRUE(c->send(getDirectory({2, 1}, qualified)));
        c->read(kWaitMs, [&] { return !c->messages.empty(); });
        ASSERT_EQ(c->messages.size(), 1u) << qualified;
        const auto& elements = c->messages[0].elements;
        ASSERT_EQ(elements.size(), 2u) << qualified;  // the matrix and its labels
        EXPECT_EQ(elements[0].kind, ember::ElementKind::matrix);
        EXPECT_EQ(elements[0].path, (ember::Path{2, 1, 1}));
        EXPECT_EQ(elements[1].identifier.value_or(""), "labels");
        EXPECT_EQ(elements[1].path, (ember::Path{2, 1, 2}));
    }
}

// Silent for keepAliveMs, a consumer is asked; one that stays silent as long
// again is dropped. The one that answers has that long to: room for a
// loaded machine to get to it.
TEST_F(BothServed, AConsumerThatAnswersNoKeepAliveIsDroppedAndOneThatAnswersStays) {
    ProviderLimits limits;
    limits.keepAliveMs = 500;
    start(limits);
    auto deaf = consumer();
    auto alive = consumer();
    deaf->answering = false;
    // Both read in turns: the one that answers answers in time.
    const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!deaf->closed && Clock::now() < end) {
        deaf->read(10);
        alive->read(10);
    }
    EXPECT_TRUE(deaf->closed);
    EXPECT_GE(deaf->keepAliveRequests, 1);
    // Asked again after its answer: it was not dropped for the first.
    alive->read(kWaitMs, [&] { return alive->keepAliveRequests >= 2; });
    EXPECT_FALSE(alive->closed);
    EXPECT_GE(alive->keepAliveRequests, 2);
    EXPECT_TRUE(host->pumpUntil([&] { return host->traced("answered no keep-alive request; dropped"); }));
    EXPECT_TRUE(host->pumpUntilStatus(R"("dropped":1)"));
}

// A consumer asking far faster than it is answered is answered at the rate:
// within the first moments at most the burst and what the rate adds (a
// slow machine answers fewer, never more), the others are served
// meanwhile.
TEST_F(BothServed, AGetDirectoryFloodIsAnsweredAtABoundedRate) {
    ProviderLimits limits;
    limits.requestsPerSecond = 20;
    limits.requestBurst = 10;
    start(limits);
    auto flood = consumer();
    const auto begun = Clock::now();
    // The host may close the flood before the last request is written: a
    // send failing then is the outcome looked for, not a fault.
    for (int i = 0; i < 300 && flood->send(getDirectory({1}, false)); ++i) {
    }
    // The first answers, then half a second more of the rate.
    flood->read(kWaitMs, [&] { return !flood->messages.empty(); });
    flood->read(500);
    const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
    EXPECT_LE(flood->messages.size(), static_cast<std::size_t>(10 + 20 * seconds + 1));
    EXPECT_GE(flood->messages.size(), 1u);
    EXPECT_FALSE(flood->closed);
    auto other = consumer();
    ASSERT_TRUE(other->send(getDirectory({2}, true)));
    other->read(kWaitMs, [&] { return !other->messages.empty(); });
    EXPECT_EQ(other->messages.size(), 1u);
    EXPECT_TRUE(
        host->pumpUntil([&] { return host->runtime->statusJson().find(R"("throttled":0)") == std::string::npos; }));
}

// One that asks far ahead of what it reads is dropped, and counted.
TEST_F(BothServed, AFloodFarAheadIsDropped) {
    ProviderLimits limits;
    limits.requestsPerSecond = 20;
    limits.requestBurst = 10;
    limits.maxQueued = 100;
    start(limits);
    auto flood = consumer();
    // The host may close the flood before the last request is written: a
    // send failing then is the outcome looked for, not a fault.
    for (int i = 0; i < 300 && flood->send(getDirectory({1}, false)); ++i) {
    }
    flood->read(kWaitMs, [&] { return flood->closed; });
    EXPECT_TRUE(flood->closed);
    EXPECT_TRUE(host->pumpUntilStatus(R"("floods":1)"));
}

// A controller that never reads is dropped; the one that reads meanwhile
// hears every change, in order.
TEST_F(BothServed, APeerThatDoesNotReadIsDroppedAndTheOthersLoseNothing) {
    start();
    auto deaf = Peer::connectTo(swpPort, 4096);
    auto reader = Peer::connectTo(swpPort);
    ASSERT_TRUE(deaf && reader);
    host->pumping(*reader);
    ASSERT_TRUE(host->pumpUntilStatus("with 2 controllers"));
    // Its answers (all source names, each time) outgrow every buffer.
    swp08::Message names;
    names.kind = Kind::source_names_request;
    names.nameLength = swp08::NameLength::sixteen;
    const swp08::Bytes request = swp08::encodeFrame(names);
    swp08::Bytes many;
    for (int i = 0; i < 20000; ++i) many.insert(many.end(), request.begin(), request.end());
    std::thread flood([&] { deaf->sendRaw(many); });  // stops short once the host has closed
    constexpr int kConnects = 300;
    for (int i = 0; i < kConnects; ++i) {
        ASSERT_TRUE(
            reader->send(crosspointMessage(Kind::connect, static_cast<uint16_t>(i % 4), static_cast<uint16_t>(i % 8))));
    }
    int heard = 0;
    for (std::optional<swp08::Message> m; heard < kConnects && (m = reader->awaitKind(Kind::connected)); ++heard) {
        EXPECT_EQ(m->destination, heard % 4);
        EXPECT_EQ(m->source, heard % 8);
    }
    EXPECT_EQ(heard, kConnects);
    EXPECT_TRUE(host->pumpUntil([&] { return host->traced("does not read; dropped"); }));
    flood.join();
    EXPECT_TRUE(host->pumpUntilStatus("with 1 controller"));
}

// Out of descriptors, the accept fails: the listener pauses rather than
// spinning, and takes the connection once descriptors are back.
TEST_F(BothServed, AnAcceptOutOfDescriptorsPausesInsteadOfSpinning) {
#ifdef ZARN_UNDER_SANITIZER
    // Starved of descriptors, the sanitizers' runtime and the I/O library's
    // lazily made services fail before the accept does: the plain build runs it.
    GTEST_SKIP() << "descriptor starvation is not tested under the sanitizers";
#endif
    start();
    rlimit was{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &was), 0);
    const int next = ::open("/dev/null", O_RDONLY);  // the lowest free descriptor
    ASSERT_GE(next, 0);
    ::close(next);
    rlimit low = was;
    low.rlim_cur = static_cast<rlim_t>(next + 1);  // room for the test's socket, none for the accept
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const auto begun = Clock::now();
    auto controller = Peer::connectTo(swpPort);
    const bool connected = controller != nullptr;
    auto acceptErrors = [&] {
        const std::string status = host->runtime->statusJson();
        const auto at = status.find(R"("acceptErrors":)");
        return at == std::string::npos ? -1L : std::stol(status.substr(at + 15));
    };
    // The first failure, then 1.2 s more of failing accepts.
    host->pumpUntil([&] { return acceptErrors() != 0; });
    host->pumpUntil([] { return false; }, 1200);
    const long errors = acceptErrors();
    const auto failing = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
    ::setrlimit(RLIMIT_NOFILE, &was);
    ASSERT_TRUE(connected);
    ASSERT_NE(errors, -1L) << host->runtime->statusJson();
    EXPECT_GE(errors, 1);
    EXPECT_LE(errors, 2 + failing / 500) << "a pause of 500 ms after each failure, in " << failing << " ms";
    host->pumping(*controller);
    ASSERT_TRUE(controller->send(crosspointMessage(Kind::interrogate, 0)));
    EXPECT_TRUE(controller->awaitKind(Kind::tally));
    EXPECT_TRUE(host->traced("accept failed"));
}

// A router at a name that does not resolve (or resolves slowly) holds up
// nothing: the resolve runs off the I/O thread.
TEST(PeerLayer, ANameThatDoesNotResolveStallsNoOtherBridge) {
    const uint16_t port = freePort();
    SwpRouterConfig backed;
    backed.device = 102;
    backed.listen = false;
    backed.at = {"no-such-router.invalid", 2000};
    BridgedHost host(R"({"routers":[{"device":101,"sources":8,"destinations":4,"crosspoints":{"1":2}},
                                    {"device":102,"sources":8,"destinations":4}]})",
                     {served(101, port), backed});
    ASSERT_TRUE(host.started) << host.error;
    auto controller = Peer::connectTo(port);
    ASSERT_TRUE(controller);
    host.pumping(*controller);
    ASSERT_TRUE(controller->send(crosspointMessage(Kind::interrogate, 0)));
    // Answered in milliseconds; a resolve held on the I/O thread would hold
    // it for the resolver's timeout (5 s a try).
    auto tally = controller->awaitKind(Kind::tally, 4000);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->source, 1);
    EXPECT_FALSE(host.host.facility().online(102));
}

// An Ember+ provider that stays connected and says nothing is found: the
// router goes offline as when the connection drops, and is connected again.
TEST(PeerLayer, AnEmberConsumerFindsASilentProvider) {
    Listener provider;
    EmberRouterConfig backed;
    backed.device = 101;
    backed.listen = false;
    backed.at = {"127.0.0.1", provider.port};
    backed.matrix = {1, 1};
    ProviderLimits limits;
    limits.keepAliveMs = 100;
    std::vector<std::unique_ptr<Module>> modules;
    modules.push_back(std::make_unique<EmberModule>(std::vector<EmberRouterConfig>{backed}, EmberPanelConfig{}, false,
                                                    limits, ClientTiming{10, 40, 20, 100}));
    BridgedHost host(kFacility, std::move(modules));
    ASSERT_TRUE(host.started) << host.error;
    std::unique_ptr<Peer> silent;
    ASSERT_TRUE(host.pumpUntil([&] { return (silent = provider.accept(1)) != nullptr; }));
    // Read from the trace: online and offline again may come in one exchange.
    ASSERT_TRUE(host.pumpUntil([&] { return host.traced("online 101 (provider connected)"); }));
    ASSERT_TRUE(host.pumpUntil([&] { return host.traced("offline 101 (provider connection lost)"); }));
    EXPECT_TRUE(host.traced("connection lost (answered no keep-alive request); reconnecting"));
    EXPECT_TRUE(host.pumpUntil([&] { return provider.accept(1) != nullptr; }));
}

// A router backed over SW-P-08 and served over Ember+: what the real router
// says reaches the consumers that follow the matrix, and is not sent back
// to the router as a connect.
TEST(PeerLayer, ARouterBackedOverOneProtocolAndServedOverAnotherKeepsItsPeersCurrent) {
    Listener router;
    const uint16_t emberPort = freePort();
    SwpRouterConfig backed;
    backed.device = 101;
    backed.listen = false;
    backed.at = {"127.0.0.1", router.port};
    std::vector<std::unique_ptr<Module>> modules;
    modules.push_back(
        std::make_unique<Swp08Module>(std::vector<SwpRouterConfig>{backed}, false, ClientTiming{10, 40, 20, 100}));
    modules.push_back(std::make_unique<EmberModule>(std::vector<EmberRouterConfig>{servedOverEmber(emberPort)},
                                                    EmberPanelConfig{}, false));
    BridgedHost host(kFacility, std::move(modules));
    ASSERT_TRUE(host.started) << host.error;
    std::unique_ptr<Peer> real;
    ASSERT_TRUE(host.pumpUntil([&] { return (real = router.accept(1)) != nullptr; }));
    host.pumping(*real);
    ASSERT_TRUE(real->awaitKind(Kind::tally_dump_request));
    ASSERT_TRUE(host.pumpUntil([&] { return host.host.facility().online(101); }));

    auto consumer = EmberPeer::connectTo(emberPort);
    ASSERT_TRUE(consumer);
    consumer->pump = [&] { host.runtime->exchange(host.host); };
    ASSERT_TRUE(consumer->send(getDirectory({2, 1, 1}, true)));  // reads and follows the matrix
    consumer->read(kWaitMs, [&] { return !consumer->messages.empty(); });
    ASSERT_EQ(consumer->messages.size(), 1u);
    consumer->messages.clear();

    // Facility destination 3 to source 7: wire 2 and 6, target 2 and source 6.
    ASSERT_TRUE(real->send(crosspointMessage(Kind::tally, 2, 6)));
    consumer->read(kWaitMs, [&] { return !consumer->messages.empty(); });
    ASSERT_EQ(consumer->messages.size(), 1u);
    const ember::Element& matrix = consumer->messages[0].elements.at(0);
    EXPECT_EQ(matrix.path, (ember::Path{2, 1, 1}));
    ASSERT_TRUE(matrix.connections && matrix.connections->size() == 1u);
    EXPECT_EQ(matrix.connections->at(0).target, 2);
    EXPECT_EQ(matrix.connections->at(0).sources, std::vector<uint32_t>{6});
    EXPECT_EQ(host.crosspoint(101, 3), 7);
    EXPECT_FALSE(real->awaitKind(Kind::connect, 300)) << "the router's own tally went back to it";
}

}  // namespace
}  // namespace zarn_host::bridges
