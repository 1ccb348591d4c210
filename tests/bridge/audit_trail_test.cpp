// The audit trail as the bridges' peers make changes: an SW-P-08
// controller's connects (made and refused) and protects carry the
// controller's address (and device), and a real router backing a facility
// router its own, each one JSON line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "bridge_io_harness.h"
#include "sim/audit_log.h"

namespace zarn_host::bridges {
namespace {

using namespace testing;
using swp08::Kind;

const char* kFacility = R"({"instances":[{"name":"SDI","device":101},{"name":"AUD","device":102}],
  "routers":[{"device":101,"sources":8,"destinations":4},{"device":102,"sources":8,"destinations":2}]})";

std::vector<nlohmann::json> auditLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
        if (nlohmann::json::accept(line)) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

TEST(AuditTrailOfPeers, ControllersAndBackingRoutersAreNamedByTheirAddresses) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("zarn_audit_" + std::to_string(std::random_device{}()) + ".jsonl");
    const uint16_t port = freePort();
    Listener router;
    SwpRouterConfig backed;
    backed.device = 102;
    backed.listen = false;
    backed.at = {"127.0.0.1", router.port};
    std::ostringstream err;
    AuditLog audit;  // before the host, whose facility tells it
    std::string error;
    ASSERT_TRUE(audit.open(file.string(), err, error)) << error;
    BridgedHost host(kFacility, {served(101, port), backed}, ClientTiming{10, 40, 20});
    ASSERT_TRUE(host.started) << host.error;
    audit.watch(host.host.facility());

    auto controller = Peer::connectTo(port);
    ASSERT_TRUE(controller);
    host.pumping(*controller);
    ASSERT_TRUE(controller->send(crosspointMessage(Kind::connect, 0, 2)));  // destination 1 <- source 3
    ASSERT_TRUE(controller->awaitKind(Kind::connected));
    swp08::Message protect = crosspointMessage(Kind::protect_connect, 0);
    protect.device = 5;
    ASSERT_TRUE(controller->send(protect));
    ASSERT_TRUE(controller->awaitKind(Kind::protect_connected));
    ASSERT_TRUE(controller->send(crosspointMessage(Kind::connect, 0, 3)));  // refused: the protect
    ASSERT_TRUE(controller->awaitKind(Kind::connected));
    protect.kind = Kind::protect_disconnect;
    protect.device = 6;  // not the holder
    ASSERT_TRUE(controller->send(protect));
    ASSERT_TRUE(controller->awaitKind(Kind::protect_tally));

    std::unique_ptr<Peer> real;
    ASSERT_TRUE(host.pumpUntil([&] { return (real = router.accept(1)) != nullptr; }));
    host.pumping(*real);
    ASSERT_TRUE(real->awaitKind(Kind::tally_dump_request));
    swp08::Message dump;
    dump.kind = Kind::tally_dump;
    dump.form = swp08::Form::extended;
    dump.sources = {6, 7};  // destinations 1 and 2 <- sources 7 and 8
    ASSERT_TRUE(real->send(dump));
    ASSERT_TRUE(host.pumpUntil([&] { return host.crosspoint(102, 2) == 8; }));

    const std::vector<nlohmann::json> lines = auditLines(file.string());
    std::filesystem::remove(file);
    ASSERT_EQ(lines.size(), 6u) << err.str();
    const std::string from = lines[0]["origin"]["address"];
    EXPECT_EQ(from.rfind("127.0.0.1:", 0), 0u) << from;
    EXPECT_EQ(lines[0]["origin"], (nlohmann::json{{"kind", "controller"}, {"address", from}}));
    EXPECT_EQ(lines[0]["change"], "route");
    EXPECT_EQ(lines[0]["router"], 101);
    EXPECT_EQ(lines[0]["destination"], 1);
    EXPECT_EQ(lines[0]["source"], 3);
    EXPECT_EQ(lines[1]["origin"], (nlohmann::json{{"kind", "controller"}, {"device", 5}, {"address", from}}));
    EXPECT_EQ(lines[1]["change"], "lock");
    EXPECT_EQ(lines[2]["source"], 4);
    EXPECT_EQ(lines[2]["refused"], "destination locked");
    EXPECT_EQ(lines[3]["origin"], (nlohmann::json{{"kind", "controller"}, {"device", 6}, {"address", from}}));
    EXPECT_EQ(lines[3]["change"], "unlock");
    EXPECT_EQ(lines[3]["refused"], "held by controller 5 at " + from);
    const nlohmann::json backing{{"kind", "router"}, {"address", "127.0.0.1:" + std::to_string(router.port)}};
    for (int i : {4, 5}) {
        EXPECT_EQ(lines[i]["origin"], backing) << i;
        EXPECT_EQ(lines[i]["router"], 102);
        EXPECT_EQ(lines[i]["destination"], i - 3);
        EXPECT_EQ(lines[i]["source"], i + 3);
    }
}

}  // namespace
}  // namespace zarn_host::bridges
