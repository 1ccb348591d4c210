// Ember+ in the facility file (what is taken, each refusal one line naming
// the file and the JSON path) and the tree a listen address serves: its
// paths, numbering and labels, as a consumer's GetDirectory sees them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bridges/bridge_modules.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/emberplus/ember_tree.h"
#include "model/json_input.h"

namespace zarn_host::bridges {
namespace {

TEST(EmberConfig, RefusalsAreOneLineNamingFileAndPath) {
    struct Case {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"routers":[{"device":101,"emberplus":{"listen":"127.0.0.1:9000","connect":"r:9000"}}]})",
         R"(k7.json: /routers/0/emberplus: give either "listen" or "connect")"},
        {R"({"routers":[{"device":101,"emberplus":{"connect":"r:9000"}}]})",
         R"(k7.json: /routers/0/emberplus: missing "matrix")"},
        {R"({"routers":[{"device":101,"emberplus":{"connect":"r:9000","matrix":"1..2"}}]})",
         R"(k7.json: /routers/0/emberplus/matrix: not a path of numbers such as "1.2.1")"},
        {R"({"routers":[{"device":101,"emberplus":{"connect":"r:9000","matrix":"1.99999999999"}}]})",
         R"(k7.json: /routers/0/emberplus/matrix: not a path of numbers such as "1.2.1")"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"127.0.0.1:9000","matrix":"1"}}]})",
         R"(k7.json: /routers/0/emberplus/matrix: only with "connect")"},
        {R"({"routers":[{"device":101,"emberplus":{"connect":"r:9000","matrix":"1","names":"router"}}]})",
         R"(k7.json: /routers/0/emberplus/names: "provider" or "facility")"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"127.0.0.1:9000","names":"provider"}}]})",
         R"(k7.json: /routers/0/emberplus/names: only with "connect")"},
        {R"({"emberplus":{"values":[]}})", R"(k7.json: /emberplus: missing "listen")"},
        {R"({"emberplus":{"listen":"127.0.0.1:9000","controls":[{"identifier":"a","panel":"1","control":"B"}]}})",
         R"(k7.json: /emberplus/controls/0/action: "press" or "pick")"},
        {R"({"emberplus":{"listen":"127.0.0.1:9000","values":[{"identifier":"a","panel":"1"}]}})",
         R"(k7.json: /emberplus/values/0: missing "control")"},
        {R"({"emberplus":{"listen":"127.0.0.1:9000","values":[{"identifier":"a","panel":"1","control":"B",)"
         R"("action":"press"}]}})",
         R"(k7.json: /emberplus/values/0: unknown key "action")"},
        {R"({"emberplus":{"listen":"127.0.0.1:9000","values":[{"identifier":"a","panel":"1","control":"B"}],)"
         R"("controls":[{"identifier":"a","panel":"1","control":"C","action":"pick"}]}})",
         R"(k7.json: /emberplus/controls/0/identifier: used twice)"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"127.0.0.1:9000","port":1}}]})",
         R"(k7.json: /routers/0/emberplus: unknown key "port")"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"0.0.0.0:9000"}}]})",
         "k7.json: /routers/0/emberplus/listen: listening on 0.0.0.0:9000, which other machines reach, needs "
         "--allow-remote"},
        {R"({"routers":[{"device":101,"emberplus":{"listen":"127.0.0.1:9000"}},)"
         R"({"device":101,"emberplus":{"listen":"127.0.0.1:9001"}}]})",
         "k7.json: /routers/1/emberplus: device served or backed twice over Ember+"},
    };
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<Module>> modules;
        std::string error;
        EXPECT_FALSE(readBridgeModules(c.json, "k7.json", false, modules, error)) << c.json;
        EXPECT_EQ(error, c.error);
    }
    const Json root = Json::parse(R"({"routers":[{"device":101,"emberplus":{"listen":"localhost:9000"}},)"
                                  R"({"device":102,"emberplus":{"connect":"router.local:9000","matrix":"1.2.10"}}]})");
    const std::vector<EmberRouterConfig> routers = readEmberRouters(root, false);
    ASSERT_EQ(routers.size(), 2u);
    EXPECT_TRUE(routers[0].listen);
    EXPECT_EQ(routers[1].at.text(), "router.local:9000");
    EXPECT_EQ(routers[1].matrix, (ember::Path{1, 2, 10}));
    EXPECT_EQ(emberPathText(routers[1].matrix), "1.2.10");
    EXPECT_FALSE(routers[1].providerNames);  // the facility's names stay unless asked
}

EmberTree twoRouters() {
    EmberTree tree;
    ServedMatrix sdi;
    sdi.device = 101;
    sdi.name = "K7 SDI Router";
    sdi.sources = {41, 0, 3};  // facility destinations 1-3
    sdi.sourceCount = 4;
    sdi.targetNames = {"Mon 1", "2", "Mon 3"};
    sdi.sourceNames = {"Black", "Bars", "Cam 1", "4"};
    ServedMatrix audio = sdi;
    audio.device = 102;
    audio.name = "K7 Audio Router";
    tree.routers = {sdi, audio};
    return tree;
}

std::vector<std::string> identifiers(const std::vector<ember::Element>& elements) {
    std::vector<std::string> out;
    for (const auto& e : elements) {
        const int64_t number = e.qualified && !e.path.empty() ? e.path.back() : e.number;
        out.push_back(std::to_string(number) + " " + e.identifier.value_or("?"));
    }
    return out;
}

TEST(EmberTree, DirectoriesFollowTheServedLayout) {
    const EmberTree tree = twoRouters();
    ember::GlowMessage m;
    ASSERT_TRUE(tree.directory({}, m));
    EXPECT_EQ(identifiers(m.elements), (std::vector<std::string>{"1 identity", "2 routers"}));
    EXPECT_FALSE(m.elements[0].qualified);

    // A node's directory is its children, each qualified: a consumer that
    // walks the tree takes them as what lies below and asks on from there.
    ASSERT_TRUE(tree.directory({2}, m));
    EXPECT_EQ(identifiers(m.elements), (std::vector<std::string>{"1 K7 SDI Router", "2 K7 Audio Router"}));
    EXPECT_TRUE(m.elements[0].qualified);
    EXPECT_EQ(m.elements[1].path, (ember::Path{2, 2}));

    ASSERT_TRUE(tree.directory({2, 2, 2, 1}, m));  // the audio router's target labels, numbered from 0
    EXPECT_EQ(identifiers(m.elements), (std::vector<std::string>{"0 t-0", "1 t-1", "2 t-2"}));
    EXPECT_EQ(m.elements[1].value, ember::Value::ofString("2"));
    EXPECT_EQ(m.elements[1].path, (ember::Path{2, 2, 2, 1, 1}));
    ASSERT_TRUE(tree.directory({2, 1, 2, 2, 2}, m));
    EXPECT_EQ(m.elements[0].value, ember::Value::ofString("Cam 1"));
    EXPECT_EQ(m.elements[0].access, ember::Access::read);

    for (const ember::Path& missing : std::vector<ember::Path>{
             {3}, {1, 9}, {2, 0}, {2, 3}, {2, 1, 3}, {2, 1, 2, 3}, {2, 1, 2, 1, 3}, {2, 1, 1, 1}}) {
        EXPECT_FALSE(tree.directory(missing, m)) << emberPathText(missing);
    }
}

TEST(EmberTree, MatrixNumbersAreTheFacilitysLessOne) {
    const EmberTree tree = twoRouters();
    ember::GlowMessage m;
    ASSERT_TRUE(tree.directory({2, 1, 1}, m));
    const ember::Element& matrix = m.elements[0];
    EXPECT_EQ(matrix.kind, ember::ElementKind::matrix);
    EXPECT_EQ(matrix.targetCount, 3);
    EXPECT_EQ(matrix.sourceCount, 4);
    EXPECT_EQ(matrix.matrixType, ember::MatrixType::one_to_n);
    ASSERT_EQ(matrix.labels.size(), 1u);
    EXPECT_EQ(matrix.labels[0].basePath, (ember::Path{2, 1, 2}));
    ASSERT_EQ(matrix.connections->size(), 3u);
    EXPECT_EQ((*matrix.connections)[0].sources, std::vector<uint32_t>{40});
    EXPECT_TRUE((*matrix.connections)[1].sources.empty());  // no source
    EXPECT_EQ((*matrix.connections)[2].sources, std::vector<uint32_t>{2});

    EXPECT_EQ(tree.matrixAt({2, 2, 1}), 1);
    EXPECT_EQ(tree.matrixAt({2, 3, 1}), -1);
    EXPECT_EQ(tree.matrixAt({2, 1}), -1);
    const ember::GlowMessage change = tree.connections(1, {2, 7, -1}, ember::ConnectionDisposition::locked);
    EXPECT_EQ(change.elements[0].path, (ember::Path{2, 2, 1}));
    ASSERT_EQ(change.elements[0].connections->size(), 1u);  // targets out of range left out
    EXPECT_EQ((*change.elements[0].connections)[0].disposition, ember::ConnectionDisposition::locked);
}

TEST(EmberTree, ThePanelNodeServesValuesFunctionsAndWritableLists) {
    EmberTree tree = twoRouters();
    ember::GlowMessage m;
    EXPECT_FALSE(tree.directory({3}, m));  // no panel items, no panel node
    tree.panel = {{ServedPanelItem::Kind::value, "mon-1", "Cam 1"},
                  {ServedPanelItem::Kind::function, "select-mon-1", ""},
                  {ServedPanelItem::Kind::writable, "source", "Bars"}};
    ASSERT_TRUE(tree.directory({}, m));
    EXPECT_EQ(identifiers(m.elements), (std::vector<std::string>{"1 identity", "2 routers", "3 panel"}));
    ASSERT_TRUE(tree.directory({3}, m));
    const auto& items = m.elements;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].access, ember::Access::read);
    EXPECT_EQ(items[1].kind, ember::ElementKind::function);
    EXPECT_EQ(items[2].access, ember::Access::read_write);
    EXPECT_EQ(items[2].value, ember::Value::ofString("Bars"));
    EXPECT_EQ(tree.panelAt({3, 3}), 2);
    EXPECT_EQ(tree.panelAt({3, 4}), -1);
    EXPECT_EQ(tree.panelItem(0).elements[0].path, (ember::Path{3, 1}));
}

}  // namespace
}  // namespace zarn_host::bridges
