// startBridges: the facility file's bridges, a Module a protocol, on one
// Runtime. A new protocol is a folder of its own and a line in kProtocols
// naming its facility keys.
#include "bridges/bridge_modules.h"

#include <algorithm>

#include "bridges/bridges.h"
#include "bridges/emberplus/ember_module.h"
#include "bridges/runtime/runtime.h"
#include "bridges/swp08/swp08_module.h"
#include "bridges/tsl_umd/umd_module.h"
#include "model/facility.h"
#include "model/json_input.h"

namespace zarn_host::bridges {
namespace {

// Reads a protocol's keys of the facility file's root: its module, or null
// when the file names none of it. Throws JsonContentError.
using ReadModule = std::unique_ptr<Module> (*)(const Json& root, bool allowRemote);

// A protocol: how its module is read, and the facility keys it reads (a
// router entry's, null for none; the root's).
struct Protocol {
    ReadModule read;
    const char* routerKey;
    const char* rootKey;
};

// Every protocol, in the order they start, report and are read (the first
// fault in this order is the one reported).
constexpr Protocol kProtocols[] = {
    {readSwp08Module, "swp08", nullptr},          // SW-P-08: routers served and backed
    {readUmdModule, nullptr, "umd"},              // TSL UMD v5: display senders
    {readEmberModule, "emberplus", "emberplus"},  // Ember+: routers served and backed, panel values
};

// A key of a router entry that neither the facility nor a protocol reads
// is refused with its path: a misspelt protocol would otherwise leave the
// router unbridged without a word.
void checkRouterKeys(const Json& root) {
    if (!root.is_object() || !root.contains("routers") || !root["routers"].is_array()) return;
    std::vector<std::string> known;
    for (const Protocol& p : kProtocols) {
        if (p.routerKey) known.push_back(p.routerKey);
    }
    for (const std::string& key : Facility::routerKeys()) known.push_back(key);
    std::string list;
    for (const std::string& key : known) list += (list.empty() ? "" : ", ") + key;
    const Json& routers = root["routers"];
    for (std::size_t i = 0; i < routers.size(); ++i) {
        if (!routers[i].is_object()) continue;
        for (const auto& item : routers[i].items()) {
            if (std::find(known.begin(), known.end(), item.key()) == known.end()) {
                throw JsonContentError("/routers/" + std::to_string(i) + "/" + item.key(),
                                       "unknown key (known: " + list + ")");
            }
        }
    }
}

}  // namespace

bool readBridgeModules(const std::string& text, const std::string& fileName, bool allowRemote,
                       std::vector<std::unique_ptr<Module>>& modules, std::string& error) {
    std::vector<std::unique_ptr<Module>> read;
    bool ok = readJsonDocument(
        text, fileName,
        [&](Json& root) {
            checkRouterKeys(root);
            for (const Protocol& p : kProtocols) {
                if (auto module = p.read(root, allowRemote)) read.push_back(std::move(module));
            }
        },
        error);
    if (!ok) return false;
    modules = std::move(read);
    return true;
}

}  // namespace zarn_host::bridges

namespace zarn_host {

std::unique_ptr<Bridges> startBridges(const std::string& facilityPath, SimHost& host, bool allowRemote,
                                      std::string& error) {
    std::string text;
    if (!readTextFile(facilityPath, text, error)) return nullptr;
    std::vector<std::unique_ptr<bridges::Module>> modules;
    if (!bridges::readBridgeModules(text, facilityPath, allowRemote, modules, error)) return nullptr;
    if (modules.empty()) return nullptr;
    auto runtime = std::make_unique<bridges::Runtime>(std::move(modules));
    if (!runtime->start(host, error)) return nullptr;
    // The panel loads next: it finds a backed router online with the
    // router's crosspoints when the router answers within three seconds.
    runtime->awaitFirstConnects(std::chrono::seconds(3));
    runtime->exchange(host);
    return runtime;
}

}  // namespace zarn_host
