// The audit trail (--audit): the facility's changes from outside as JSON
// lines, one a change, with their origins; a restart appends; an unwritable
// file is refused at start.
#include "sim/audit_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"

namespace zarn_host {
namespace {

using zarn_host_test::ScriptedPanel;
using zarn_host_test::TempFile;

const char* const kFacility = R"({"instances": [{"name": "R", "device": 7}],
  "routers": [{"device": 7, "sources": 4, "destinations": 3}]})";

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(AuditLog, TimesAreUtcIsoTextToTheMillisecond) {
    using namespace std::chrono;
    const struct {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951782400000 - 1, "2000-02-28T23:59:59.999Z"},
        {951782400000, "2000-02-29T00:00:00.000Z"},  // a leap day of a year divisible by 400
        {951782400000 + 86400000, "2000-03-01T00:00:00.000Z"},
        {1709164800123, "2024-02-29T00:00:00.123Z"},
        {1796759881123, "2026-12-08T19:58:01.123Z"},
        {4107542399999, "2100-02-28T23:59:59.999Z"},  // no leap day in 2100
        {4107542400000, "2100-03-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            AuditLog::utcText(system_clock::time_point(duration_cast<system_clock::duration>(milliseconds(c.ms)))),
            c.text)
            << c.ms;
    }
}

TEST(AuditLog, ALineGivesTheOriginAndWhatChanged) {
    const Origin controller = Origin::controller(5, "10.1.2.3:4001");
    const Origin connect = Origin::controller(-1, "10.1.2.3:4002");
    const Origin page = Origin::of(Origin::Kind::page, "s1");
    const Origin api = Origin::of(Origin::Kind::api);
    Origin loggedIn = Origin::of(Origin::Kind::page, "s2");
    loggedIn.login = "password session 1 from 10.0.0.1";
    const Origin consumer = Origin::of(Origin::Kind::consumer, "[::1]:5000");
    const Origin router = Origin::of(Origin::Kind::router, "10.1.2.9:8910");
    const Origin panel = Origin::of(Origin::Kind::panel);
    const Origin scenario = Origin::of(Origin::Kind::scenario);
    using What = DestinationChange::What;
    const struct {
        FacilityChange change;
        const char* line;
    } cases[] = {
        {{101, 5, What::route, 3, &connect, nullptr, nullptr},
         R"({"origin":{"kind":"controller","address":"10.1.2.3:4002"},"change":"route","router":101,"destination":5,"source":3})"},
        {{101, 5, What::lock, 0, &controller, nullptr, nullptr},
         R"({"origin":{"kind":"controller","device":5,"address":"10.1.2.3:4001"},"change":"lock","router":101,"destination":5})"},
        {{101, 5, What::unlock, 0, &page, nullptr, nullptr},
         R"({"origin":{"kind":"page","session":"s1"},"change":"unlock","router":101,"destination":5})"},
        {{101, 5, What::lock, 0, &loggedIn, nullptr, nullptr},
         R"({"origin":{"kind":"page","session":"s2","login":"password session 1 from 10.0.0.1"},"change":"lock","router":101,"destination":5})"},
        {{101, 5, What::route, 2, &api, nullptr, "locked"},
         R"({"origin":{"kind":"api"},"change":"route","router":101,"destination":5,"source":2,"refused":"locked"})"},
        {{102, 1, What::route, 9, &consumer, nullptr, nullptr},
         R"({"origin":{"kind":"consumer","address":"[::1]:5000"},"change":"route","router":102,"destination":1,"source":9})"},
        {{102, 1, What::route, 0, &router, nullptr, nullptr},
         R"({"origin":{"kind":"router","address":"10.1.2.9:8910"},"change":"route","router":102,"destination":1,"source":0})"},
        {{7, 2, What::route, 4, &panel, &page, nullptr},
         R"({"origin":{"kind":"panel"},"during":{"kind":"page","session":"s1"},"change":"route","router":7,"destination":2,"source":4})"},
        // A peer's route handed over while a page's step runs is the peer's alone.
        {{7, 2, What::route, 4, &connect, &page, nullptr},
         R"({"origin":{"kind":"controller","address":"10.1.2.3:4002"},"change":"route","router":7,"destination":2,"source":4})"},
        {{7, 2, What::route, 4, &scenario, nullptr, nullptr},
         R"({"origin":{"kind":"scenario"},"change":"route","router":7,"destination":2,"source":4})"},
    };
    const auto epoch = std::chrono::system_clock::time_point();
    for (const auto& c : cases) {
        EXPECT_EQ(AuditLog::line(c.change, epoch),
                  std::string(R"({"time":"1970-01-01T00:00:00.000Z",)") + (c.line + 1));
    }
    // A peer's bytes in an address stay one line of valid JSON.
    const Origin odd = Origin::of(Origin::Kind::page, std::string("a\n\"b\xff", 5));
    const std::string line = AuditLog::line({7, 1, What::route, 1, &odd, nullptr, nullptr}, epoch);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
}

TEST(AuditLog, OnlyChangesFromOutsideTheFacilityFileAndThePanelAreAudited) {
    const Origin facility = Origin::of(Origin::Kind::facility);
    const Origin panel = Origin::of(Origin::Kind::panel);
    const Origin page = Origin::of(Origin::Kind::page);
    using What = DestinationChange::What;
    EXPECT_FALSE(AuditLog::audited({7, 1, What::lock, 0, &facility, nullptr, nullptr}));
    EXPECT_FALSE(AuditLog::audited({7, 1, What::route, 1, &panel, nullptr, nullptr}));  // a timer's, say
    EXPECT_TRUE(AuditLog::audited({7, 1, What::route, 1, &panel, &page, nullptr}));     // a page's press
    EXPECT_TRUE(AuditLog::audited({7, 1, What::route, 1, &page, nullptr, nullptr}));
}

class AuditTrail : public ::testing::Test {
protected:
    void SetUp() override {
        Facility facility;
        std::string error;
        ASSERT_TRUE(Facility::parse(kFacility, "test.json", facility, error)) << error;
        host = std::make_unique<SimHost>(std::move(facility));
        runner = std::make_unique<ScenarioRunner>(
            *host, [](std::string&) { return false; }, err);
    }
    void steps(const std::string& text) {
        std::vector<ScenarioStep> parsed;
        std::string error;
        ASSERT_TRUE(parseScenario(text, "s", parsed, error)) << error;
        EXPECT_EQ(runner->run(parsed), ScenarioRunner::Outcome::ok) << err.str();
    }
    TempFile file{"audit.jsonl", ""};
    std::ostringstream err;
    AuditLog audit;  // before the host, whose facility tells it
    std::unique_ptr<SimHost> host;
    std::unique_ptr<ScenarioRunner> runner;
};

TEST_F(AuditTrail, AMixedRunIsOneValidLinePerChangeWithItsOrigin) {
    std::string error;
    ASSERT_TRUE(audit.open(file.path(), err, error)) << error;
    audit.watch(host->facility());
    steps("route R 1 2\nlock R 1\n");
    runner->setOrigin(Origin::of(Origin::Kind::page, "s1"));
    steps("route R 1 3\nunlock R 1\nroute R 1 3\n");  // the first refused: the scenario's lock
    runner->setOrigin(Origin::of(Origin::Kind::api));
    steps("lock R 2\n");
    // The panel routes during an API step (as a press would make it), then on its own.
    ScriptedPanel* panel = new ScriptedPanel;  // the host deletes it on unload
    zarn_host_test::nextPanel() = panel;
    ASSERT_TRUE(host->load(zarn_host_test::loadScriptedPanel, "", "scripted"));
    panel->onParent = [](ScriptedPanel& p) { p.send("RC 7 4 3 ',' 0"); };
    bool sent = false;
    host->parentMessage("go", sent);
    runner->setOrigin(Origin{});
    panel->onParent = [](ScriptedPanel& p) { p.send("RC 7 1 3 ',' 0"); };
    host->parentMessage("go", sent);
    host->routeFromOutside(7, 3, 2, Origin::controller(-1, "127.0.0.1:4001"));
    host->unload();

    const std::vector<std::string> lines = fileLines(file.path());
    const char* const expected[] = {
        R"({"origin":{"kind":"scenario"},"change":"route","router":7,"destination":1,"source":2})",
        R"({"origin":{"kind":"scenario"},"change":"lock","router":7,"destination":1})",
        R"({"origin":{"kind":"page","session":"s1"},"change":"route","router":7,"destination":1,"source":3,"refused":"destination locked"})",
        R"({"origin":{"kind":"page","session":"s1"},"change":"unlock","router":7,"destination":1})",
        R"({"origin":{"kind":"page","session":"s1"},"change":"route","router":7,"destination":1,"source":3})",
        R"({"origin":{"kind":"api"},"change":"lock","router":7,"destination":2})",
        R"({"origin":{"kind":"panel"},"during":{"kind":"api"},"change":"route","router":7,"destination":3,"source":4})",
        R"({"origin":{"kind":"controller","address":"127.0.0.1:4001"},"change":"route","router":7,"destination":3,"source":2})",
    };
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    ASSERT_EQ(lines.size(), std::size(expected)) << err.str() << all;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto parsed = nlohmann::ordered_json::parse(lines[i]);  // every line is JSON of its own
        ASSERT_TRUE(parsed["time"].is_string());
        EXPECT_EQ(parsed["time"].get<std::string>().size(), 24u) << lines[i];
        auto rest = parsed;
        rest.erase("time");
        EXPECT_EQ(rest.dump(), expected[i]) << i;
    }
}

TEST_F(AuditTrail, ARestartAppends) {
    std::string error;
    {
        AuditLog first;
        ASSERT_TRUE(first.open(file.path(), err, error)) << error;
        first.watch(host->facility());
        steps("route R 1 2\n");
        host->facility().watchChanges(nullptr);
    }
    const std::vector<std::string> before = fileLines(file.path());
    ASSERT_EQ(before.size(), 1u);
    ASSERT_TRUE(audit.open(file.path(), err, error)) << error;
    audit.watch(host->facility());
    steps("route R 2 3\n");
    const std::vector<std::string> after = fileLines(file.path());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_NE(after[1].find(R"("destination":2,"source":3)"), std::string::npos) << after[1];
}

TEST_F(AuditTrail, AFileThatCannotBeWrittenIsRefusedAtStart) {
    std::string error;
    const std::string missingFolder = file.path() + ".d/no/such/audit.jsonl";
    EXPECT_FALSE(audit.open(missingFolder, err, error));
    EXPECT_EQ(error, "--audit " + missingFolder + ": cannot open the file to append to it");
    const std::string folder = std::filesystem::path(file.path()).parent_path().string();
    AuditLog other;
    EXPECT_FALSE(other.open(folder, err, error));  // a folder
    EXPECT_EQ(error, "--audit " + folder + ": cannot open the file to append to it");
}

}  // namespace
}  // namespace zarn_host
