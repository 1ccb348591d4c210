// startBridges: the facility file's bridges, a Module a protocol, on one
// Runtime. A new protocol is a folder of its own and a line in kProtocols.
#include "bridges/bridge_modules.h"

#include "bridges/bridges.h"
#include "bridges/emberplus/ember_module.h"
#include "bridges/runtime/runtime.h"
#include "bridges/swp08/swp08_module.h"
#include "bridges/tsl_umd/umd_module.h"
#include "model/json_input.h"

namespace zarn_host::bridges {
namespace {

// Reads a protocol's keys of the facility file's root: its module, or null
// when the file names none of it. Throws JsonContentError.
using ReadModule = std::unique_ptr<Module> (*)(const Json& root, bool allowRemote);

// Every protocol, in the order they start, report and are read (the first
// fault in this order is the one reported).
constexpr ReadModule kProtocols[] = {
    readSwp08Module,  // SW-P-08: "swp08" of a router entry
    readUmdModule,    // TSL UMD v5: the top-level "umd" senders
    readEmberModule,  // Ember+: "emberplus" of a router entry
};

}  // namespace

bool readBridgeModules(const std::string& text, const std::string& fileName, bool allowRemote,
                       std::vector<std::unique_ptr<Module>>& modules, std::string& error) {
    std::vector<std::unique_ptr<Module>> read;
    bool ok = readJsonDocument(
        text, fileName,
        [&](Json& root) {
            for (ReadModule readModule : kProtocols) {
                if (auto module = readModule(root, allowRemote)) read.push_back(std::move(module));
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
