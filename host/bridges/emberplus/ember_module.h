// Ember+ as a protocol of the bridges: the facility's routers served as
// matrices of an Ember+ tree to outside consumers (ember_provider.h) and
// backed by matrices of providers (ember_client.h).
#pragma once

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "bridges/emberplus/ember_client.h"
#include "bridges/emberplus/ember_config.h"
#include "bridges/emberplus/ember_provider.h"
#include "bridges/runtime/module.h"

namespace zarn_host::bridges {

// The runtime's calls (module.h) come on the panel thread, stop on the I/O
// thread. The providers are made in start; the map from device to them is
// the panel thread's, and never changes after start.
class EmberModule : public Module {
public:
    EmberModule(std::vector<EmberRouterConfig> routers, EmberPanelConfig panel, bool allowRemote,
                ProviderLimits limits = {}, ClientTiming timing = {})
        : routers_(std::move(routers)),
          panel_(std::move(panel)),
          allowRemote_(allowRemote),
          limits_(limits),
          timing_(timing) {}
    bool start(Runtime& rt, SimHost& host, std::string& error) override;
    void handOn(SimHost& host, const std::vector<CrosspointChange>& changes) override;
    void status(nlohmann::json& page) const override;
    const char* label() const override { return "Ember+"; }
    void stop() override;

private:
    Provider* providerAt(Runtime& rt, const Endpoint& at, const AllowList& allow, std::string& error);
    std::vector<EmberRouterConfig> routers_;
    EmberPanelConfig panel_;
    Provider* panelProvider_ = nullptr;
    std::vector<std::string> shown_;  // panel thread: the panel items' values as last handed on
    bool allowRemote_;
    ProviderLimits limits_;
    ClientTiming timing_;
    Runtime* rt_ = nullptr;
    std::vector<std::unique_ptr<Provider>> providers_;
    std::vector<std::unique_ptr<EmberClient>> clients_;
    std::map<int32_t, EmberClient*> clientOf_;
    std::map<int32_t, std::pair<Provider*, std::size_t>> servedAt_;  // device -> provider, router index
};

// The module of a facility file's "emberplus" keys; null when it has none.
std::unique_ptr<Module> readEmberModule(const Json& root, bool allowRemote);

}  // namespace zarn_host::bridges
