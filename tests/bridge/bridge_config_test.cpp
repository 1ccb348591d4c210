// The bridges a facility file names: what is taken and what is refused, each
// refusal one line naming the file and the JSON path at fault.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bridges/bridge_modules.h"
#include "bridges/swp08/swp08_config.h"
#include "bridges/tsl_umd/umd_config.h"

namespace zarn_host::bridges {
namespace {

struct Refusal {
    const char* what;
    const char* json;
    bool allowRemote;
    const char* error;  // the whole line
};

class BridgeConfigRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(BridgeConfigRefusal, IsOneLineNamingFileAndPath) {
    const Refusal& r = GetParam();
    std::vector<std::unique_ptr<Module>> modules(1);  // left alone on refusal
    std::string error;
    EXPECT_FALSE(readBridgeModules(r.json, "k7.json", r.allowRemote, modules, error));
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(modules.size(), 1u);
}

const Refusal refusals[] = {
    {"a misspelt protocol in a router entry",
     R"({"routers":[{"device":101,"sources":4,"destinations":4},{"device":102,"swp8":{"listen":"127.0.0.1:8910"}}]})",
     false,
     "k7.json: /routers/1/swp8: unknown key (known: swp08, emberplus, device, sources, destinations, sourceNames, "
     "destinationNames, crosspoints, locked, comment)"},
    {"unknown key in swp08",
     R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:8910","matrix":0,"level":0,"lvl":1}}]})", false,
     R"(k7.json: /routers/0/swp08: unknown key "lvl")"},
    {"missing matrix", R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:8910","level":0}}]})", false,
     R"(k7.json: /routers/0/swp08: missing "matrix")"},
    {"missing level", R"({"routers":[{"device":101,"swp08":{"connect":"router:8910","matrix":0}}]})", false,
     R"(k7.json: /routers/0/swp08: missing "level")"},
    {"matrix out of range",
     R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:8910","matrix":256,"level":0}}]})", false,
     "k7.json: /routers/0/swp08/matrix: outside 0..255"},
    {"no port", R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08/listen: give HOST:PORT with a port from 1 to 65535, not "127.0.0.1")"},
    {"port 0", R"({"routers":[{"device":101,"swp08":{"connect":"router:0","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08/connect: give HOST:PORT with a port from 1 to 65535, not "router:0")"},
    {"listen on a name", R"({"routers":[{"device":101,"swp08":{"listen":"router:8910","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08/listen: listen on an IP address or localhost, not "router")"},
    {"listen on a bad address",
     R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.256:8910","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08/listen: listen on an IP address or localhost, not "127.0.0.256")"},
    {"connect to a bad address",
     R"({"routers":[{"device":101,"swp08":{"connect":"10.1.2:8910","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08/connect: not a host name or IP address: "10.1.2")"},
    {"non-loopback listen", R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0}}]})",
     false,
     "k7.json: /routers/0/swp08/listen: listening on 0.0.0.0:8910, which other machines reach, needs --allow-remote"},
    {"listen and connect",
     R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:1","connect":"r:1","matrix":0,"level":0}}]})", false,
     R"(k7.json: /routers/0/swp08: give either "listen" or "connect")"},
    {"names of a listen",
     R"({"routers":[{"device":101,"swp08":{"connect":"r:1","matrix":0,"level":0,"names":"both"}}]})", false,
     R"(k7.json: /routers/0/swp08/names: "router" or "facility")"},
    {"served twice",
     R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:8910","matrix":0,"level":0}},)"
     R"({"device":102,"swp08":{"listen":"127.0.0.1:8910","matrix":0,"level":0}}]})",
     false, "k7.json: /routers/1/swp08: matrix and level served twice on 127.0.0.1:8910"},
    {"unknown sender key", R"({"umd":[{"send":"udp://127.0.0.1:8900","screens":1}]})", false,
     R"(k7.json: /umd/0: unknown key "screens")"},
    {"sender scheme", R"({"umd":[{"send":"tsl://127.0.0.1:8900"}]})", false,
     "k7.json: /umd/0/send: udp://HOST:PORT or tcp://HOST:PORT"},
    {"unknown tally", R"({"umd":[{"send":"udp://127.0.0.1:8900","displays":[{"index":1,"tallies":{"left":{}}}]}]})",
     false, R"(k7.json: /umd/0/displays/0/tallies: unknown key "left")"},
    {"bad lamp",
     R"({"umd":[{"send":"udp://h:1","displays":[{"index":1,"tallies":{"lh":{"panel":"p","control":"c","map":{"1":"blue"}}}}]}]})",
     false, "k7.json: /umd/0/displays/0/tallies/lh/map/1: a lamp is red, green, amber or off"},
    {"display index", R"({"umd":[{"send":"udp://h:1","displays":[{"index":65535}]}]})", false,
     "k7.json: /umd/0/displays/0/index: outside 0..65534"},
};

INSTANTIATE_TEST_SUITE_P(Refusals, BridgeConfigRefusal, ::testing::ValuesIn(refusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             std::string name = info.param.what;
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

TEST(BridgeConfig, TakesRoutersAndSenders) {
    const char* json = R"({
      "routers": [
        {"device": 101, "sources": 64, "swp08": {"listen": "127.0.0.1:8910", "matrix": 0, "level": 0, "comment": "video"}},
        {"device": 102, "swp08": {"connect": "[::1]:8911", "matrix": 2, "level": 3, "names": "router"}},
        {"device": 103, "swp08": {"listen": "192.168.1.20:8910", "matrix": 0, "level": 1, "allow": ["192.168.1.0/24"]}},
        {"device": 104}
      ],
      "umd": [{"send": "tcp://mv-1.example:8900", "screen": 3, "repeat_ms": 250,
               "displays": [{"index": 7, "text": {"panel": "K7", "control": "Mon_1"},
                             "tallies": {"lh": {"panel": "K7", "control": "Vidtally_1", "property": "state",
                                                "map": {"on": "red", "off": "off"}}}}]}]
    })";
    std::vector<std::unique_ptr<Module>> modules;
    std::string error;
    ASSERT_TRUE(readBridgeModules(json, "k7.json", true, modules, error)) << error;
    EXPECT_EQ(modules.size(), 2u);  // SW-P-08 and TSL UMD
    struct Config {
        std::vector<SwpRouterConfig> routers;
        std::vector<SenderConfig> senders;
    } c;
    const Json root = Json::parse(json);
    c.routers = readSwp08Routers(root, true);
    c.senders = readUmdSenders(root);
    ASSERT_EQ(c.routers.size(), 3u);
    EXPECT_EQ(c.routers[0].device, 101);
    EXPECT_TRUE(c.routers[0].listen);
    EXPECT_EQ(c.routers[0].at.text(), "127.0.0.1:8910");
    EXPECT_EQ(c.routers[0].names, "facility");
    EXPECT_FALSE(c.routers[1].listen);
    EXPECT_EQ(c.routers[1].at.host, "::1");
    EXPECT_EQ(c.routers[1].at.port, 8911);
    EXPECT_EQ(c.routers[1].matrix, 2);
    EXPECT_EQ(c.routers[1].level, 3);
    EXPECT_EQ(c.routers[1].names, "router");
    EXPECT_EQ(c.routers[2].at.host, "192.168.1.20");
    ASSERT_EQ(c.senders.size(), 1u);
    const SenderConfig& s = c.senders[0];
    EXPECT_TRUE(s.tcp);
    EXPECT_EQ(s.at.text(), "mv-1.example:8900");
    EXPECT_EQ(s.screen, 3);
    EXPECT_EQ(s.repeatMs, 250);
    ASSERT_EQ(s.displays.size(), 1u);
    EXPECT_EQ(s.displays[0].index, 7);
    EXPECT_EQ(s.displays[0].text.control, "Mon_1");
    EXPECT_TRUE(s.displays[0].lh.set);
    EXPECT_FALSE(s.displays[0].rh.set);
    EXPECT_EQ(s.displays[0].lh.map.at("on"), tsl::Lamp::red);
}

TEST(BridgeConfig, NoBridgesIsEmptyAndNotAnError) {
    std::vector<std::unique_ptr<Module>> modules;
    std::string error;
    EXPECT_TRUE(readBridgeModules(R"({"routers":[{"device":101}]})", "k7.json", false, modules, error));
    EXPECT_TRUE(modules.empty());
    EXPECT_FALSE(readBridgeModules("{\"routers\": [", "k7.json", false, modules, error));
    EXPECT_EQ(error.rfind("k7.json:", 0), 0u) << error;
}

}  // namespace
}  // namespace zarn_host::bridges
