// A bridge's "allow" list: which peer addresses its networks admit (IPv4,
// IPv6, IPv4 mapped into IPv6, the edges of a prefix), the entries refused
// and what the facility file's reader says when the list is missing, empty
// or wrong, each refusal one line naming the file and the bridge's path.
#include "bridges/runtime/allow_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bridges/bridge_modules.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/swp08/swp08_config.h"

namespace zarn_host::bridges {
namespace {

AllowList listOf(const std::vector<std::string>& entries) {
    AllowList list;
    for (const std::string& e : entries) {
        std::string error;
        EXPECT_TRUE(list.add(e, error)) << e << ": " << error;
    }
    return list;
}

bool admits(const AllowList& list, const char* peer) {
    return list.admits(asio::ip::make_address(peer));
}

TEST(AllowList, MatchesAddressesAndNetworks) {
    struct Case {
        std::vector<std::string> allow;
        const char* peer;
        bool admitted;
    };
    const Case cases[] = {
        // IPv4: one address, a network and its edges.
        {{"192.168.1.7"}, "192.168.1.7", true},
        {{"192.168.1.7"}, "192.168.1.8", false},
        {{"192.168.1.7/32"}, "192.168.1.7", true},
        {{"192.168.1.7/32"}, "192.168.1.6", false},
        {{"10.1.2.0/24"}, "10.1.2.0", true},
        {{"10.1.2.0/24"}, "10.1.2.255", true},
        {{"10.1.2.0/24"}, "10.1.3.0", false},
        {{"10.1.2.0/24"}, "10.1.1.255", false},
        {{"10.1.2.128/25"}, "10.1.2.127", false},
        {{"10.1.2.128/25"}, "10.1.2.200", true},
        {{"172.16.0.0/12"}, "172.31.255.255", true},  // a prefix not on a byte
        {{"172.16.0.0/12"}, "172.32.0.0", false},
        {{"0.0.0.0/0"}, "203.0.113.9", true},
        {{"0.0.0.0/0"}, "2001:db8::1", false},  // IPv4 entries hold no IPv6 peer
        // Several entries: any one admits.
        {{"10.1.2.0/24", "192.168.1.7", "::1"}, "192.168.1.7", true},
        {{"10.1.2.0/24", "192.168.1.7", "::1"}, "::1", true},
        {{"10.1.2.0/24", "192.168.1.7", "::1"}, "192.168.1.9", false},
        // IPv6.
        {{"::1"}, "::1", true},
        {{"::1"}, "::2", false},
        {{"2001:db8:1::/48"}, "2001:db8:1:ffff::5", true},
        {{"2001:db8:1::/48"}, "2001:db8:2::5", false},
        {{"2001:db8::/33"}, "2001:db8:7fff::1", true},
        {{"2001:db8::/33"}, "2001:db8:8000::1", false},
        {{"fe80::1/128"}, "fe80::1", true},
        {{"::/0"}, "2001:db8::9", true},
        {{"::/0"}, "10.0.0.1", false},  // nor IPv6 entries an IPv4 peer
        // An IPv4 peer on a dual-stack listener arrives mapped: it is matched as IPv4.
        {{"10.1.2.0/24"}, "::ffff:10.1.2.3", true},
        {{"10.1.2.0/24"}, "::ffff:10.1.3.3", false},
        {{"::/0"}, "::ffff:10.1.2.3", false},
        // An entry written mapped names the IPv4 network.
        {{"::ffff:10.1.2.0/120"}, "10.1.2.77", true},
        {{"::ffff:10.1.2.0/120"}, "10.1.3.77", false},
        {{"::ffff:192.168.1.7"}, "::ffff:192.168.1.7", true},
    };
    for (const Case& c : cases) {
        const AllowList list = listOf(c.allow);
        EXPECT_EQ(admits(list, c.peer), c.admitted) << list.text() << " and " << c.peer;
    }
}

TEST(AllowList, NothingAddedAdmitsEveryPeer) {
    const AllowList none;
    EXPECT_TRUE(none.admitsAll());
    EXPECT_TRUE(admits(none, "203.0.113.9"));
    EXPECT_TRUE(admits(none, "2001:db8::1"));
    EXPECT_FALSE(listOf({"::1"}).admitsAll());
}

TEST(AllowList, RefusesWhatIsNotAnAddressOrNetwork) {
    struct Case {
        const char* entry;
        const char* error;
    };
    const Case cases[] = {
        {"", R"("" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"router-1", R"("router-1" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"localhost", R"("localhost" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"10.1.2", R"("10.1.2" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"10.1.2.256", R"("10.1.2.256" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"010.1.2.3", R"("010.1.2.3" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"10.1.2.3.", R"("10.1.2.3." is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"10..2.3", R"("10..2.3" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"167838211", R"("167838211" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {" 10.1.2.3", R"(" 10.1.2.3" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"fe80::1%eth0", R"("fe80::1%eth0" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"1:2:3:4:5:6:7:8:9", R"("1:2:3:4:5:6:7:8:9" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"/24", R"("/24" is not an IP address or network such as "10.1.2.0/24" or "::1")"},
        {"10.1.2.0/33", R"("10.1.2.0/33": the prefix after "/" is a number from 0 to 32)"},
        {"10.1.2.0/", R"("10.1.2.0/": the prefix after "/" is a number from 0 to 32)"},
        {"10.1.2.0/-1", R"("10.1.2.0/-1": the prefix after "/" is a number from 0 to 32)"},
        {"10.1.2.0/2x", R"("10.1.2.0/2x": the prefix after "/" is a number from 0 to 32)"},
        {"10.1.2.0/24/8", R"("10.1.2.0/24/8": the prefix after "/" is a number from 0 to 32)"},
        {"10.1.2.0/0024", R"("10.1.2.0/0024": the prefix after "/" is a number from 0 to 32)"},
        {"::1/129", R"("::1/129": the prefix after "/" is a number from 0 to 128)"},
        {"10.1.2.5/24", R"("10.1.2.5/24" has bits set past its prefix: the network is "10.1.2.0/24")"},
        {"2001:db8::1/32", R"("2001:db8::1/32" has bits set past its prefix: the network is "2001:db8::/32")"},
        {"10.1.2.0/0", R"("10.1.2.0/0" has bits set past its prefix: the network is "0.0.0.0/0")"},
    };
    for (const Case& c : cases) {
        AllowList list;
        std::string error;
        EXPECT_FALSE(list.add(c.entry, error)) << c.entry;
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(list.admitsAll()) << c.entry;
    }
}

TEST(AllowList, WritesItsEntriesBackAndComparesThemInAnyOrder) {
    const AllowList a = listOf({"10.1.2.0/24", "192.168.1.7", "::1", "::ffff:10.9.0.0/112"});
    EXPECT_EQ(a.text(), "10.1.2.0/24, 192.168.1.7, ::1, 10.9.0.0/16");
    EXPECT_TRUE(a.sameAs(listOf({"::1", "10.9.0.0/16", "192.168.1.7/32", "10.1.2.0/24"})));
    EXPECT_FALSE(a.sameAs(listOf({"10.1.2.0/24", "192.168.1.7"})));
    EXPECT_FALSE(a.sameAs(AllowList{}));
}

// Each refusal is one line naming the file and the bridge's JSON path.
TEST(AllowConfig, RefusalsNameTheBridge) {
    struct Case {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0}}]})",
         "k7.json: /routers/0/swp08: listening on 0.0.0.0:8910, which other machines reach, needs an \"allow\" list "
         "of the addresses or networks its controllers connect from, such as \"allow\": [\"10.1.2.0/24\"]"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"[::]:9000"}}]})",
         "k7.json: /routers/0/emberplus: listening on :::9000, which other machines reach, needs an \"allow\" list "
         "of the addresses or networks its consumers connect from, such as \"allow\": [\"10.1.2.0/24\"]"},
        {R"({"emberplus":{"listen":"10.1.2.3:9000","values":[]}})",
         "k7.json: /emberplus: listening on 10.1.2.3:9000, which other machines reach, needs an \"allow\" list "
         "of the addresses or networks its consumers connect from, such as \"allow\": [\"10.1.2.0/24\"]"},
        {R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0,"allow":[]}}]})",
         "k7.json: /routers/0/swp08/allow: empty: give the addresses or networks its controllers connect from, such "
         "as \"10.1.2.0/24\""},
        {R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0,"allow":"10.0.0.0/8"}}]})",
         "k7.json: /routers/0/swp08/allow: expected an array"},
        {R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0,)"
         R"("allow":["10.0.0.0/8",true]}}]})",
         "k7.json: /routers/0/swp08/allow/1: expected a text"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"0.0.0.0:9000","allow":["10.0.0.0/33"]}}]})",
         "k7.json: /routers/0/emberplus/allow/0: \"10.0.0.0/33\": the prefix after \"/\" is a number from 0 to 32"},
        {R"({"emberplus":{"listen":"[::]:9000","allow":["::1","fd00::/129"],"values":[]}})",
         "k7.json: /emberplus/allow/1: \"fd00::/129\": the prefix after \"/\" is a number from 0 to 128"},
        {R"({"emberplus":{"listen":"0.0.0.0:9000","allow":["mixer.local"],"values":[]}})",
         "k7.json: /emberplus/allow/0: \"mixer.local\" is not an IP address or network such as \"10.1.2.0/24\" or "
         "\"::1\""},
        {R"({"routers":[{"device":101,"swp08":{"connect":"r:8910","matrix":0,"level":0,"allow":["10.0.0.0/8"]}}]})",
         "k7.json: /routers/0/swp08/allow: only with \"listen\""},
        {R"({"routers":[{"device":101,"emberplus":{"connect":"r:9000","matrix":"1","allow":["10.0.0.0/8"]}}]})",
         "k7.json: /routers/0/emberplus/allow: only with \"listen\""},
        // Routers on one address share its peers: their lists must agree.
        {R"({"routers":[{"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0,"allow":["10.0.0.0/8"]}},)"
         R"({"device":102,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":1,"allow":["10.0.0.0/16"]}}]})",
         "k7.json: /routers/1/swp08/allow: routers served on 0.0.0.0:8910 share its controllers: give each the same "
         "\"allow\" list"},
        {R"({"routers":[{"device":101,"swp08":{"listen":"127.0.0.1:8910","matrix":0,"level":0,"allow":["::1"]}},)"
         R"({"device":102,"swp08":{"listen":"127.0.0.1:8910","matrix":0,"level":1}}]})",
         "k7.json: /routers/1/swp08/allow: routers served on 127.0.0.1:8910 share its controllers: give each the "
         "same \"allow\" list"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"0.0.0.0:9000","allow":["10.0.0.0/8"]}},)"
         R"({"device":102,"emberplus":{"listen":"0.0.0.0:9000","allow":["10.0.0.1"]}}]})",
         "k7.json: /routers/1/emberplus/allow: routers served on 0.0.0.0:9000 share its consumers: give each the "
         "same \"allow\" list"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"0.0.0.0:9000","allow":["10.0.0.0/8"]}}],)"
         R"("emberplus":{"listen":"0.0.0.0:9000","allow":["10.0.0.1"],)"
         R"("values":[{"identifier":"a","panel":"1","control":"B"}]}})",
         "k7.json: /emberplus/allow: the routers served on 0.0.0.0:9000 share its consumers: give the same "
         "\"allow\" list"},
    };
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<Module>> modules;
        std::string error;
        EXPECT_FALSE(readBridgeModules(c.json, "k7.json", true, modules, error)) << c.json;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(AllowConfig, TakesTheListsOfListeners) {
    const Json root = Json::parse(R"({"routers":[
        {"device":101,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":0,"allow":["10.1.2.0/24","::1"]}},
        {"device":102,"swp08":{"listen":"0.0.0.0:8910","matrix":0,"level":1,"allow":["::1","10.1.2.0/24"]}},
        {"device":103,"swp08":{"listen":"127.0.0.1:8911","matrix":0,"level":0}},
        {"device":104,"emberplus":{"listen":"127.0.0.1:9000","allow":["127.0.0.2"]}}],
      "emberplus":{"listen":"[::]:9001","allow":["fd00::/8"],"values":[]}})");
    const std::vector<SwpRouterConfig> swp = readSwp08Routers(root, true);
    ASSERT_EQ(swp.size(), 3u);
    EXPECT_EQ(swp[0].allow.text(), "10.1.2.0/24, ::1");
    EXPECT_TRUE(swp[0].allow.sameAs(swp[1].allow));
    EXPECT_TRUE(swp[2].allow.admitsAll());  // loopback without a list: every local peer
    const std::vector<EmberRouterConfig> ember = readEmberRouters(root, true);
    ASSERT_EQ(ember.size(), 1u);
    EXPECT_EQ(ember[0].allow.text(), "127.0.0.2");
    EXPECT_EQ(readEmberPanel(root, true).allow.text(), "fd00::/8");
}

}  // namespace
}  // namespace zarn_host::bridges
