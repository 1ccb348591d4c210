// SW-P-08 as a protocol of the bridges: the facility's routers served to
// outside controllers (served_router.h) and backed by real routers
// (router_client.h).
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "bridges/runtime/module.h"
#include "bridges/swp08/router_client.h"
#include "bridges/swp08/served_router.h"
#include "bridges/swp08/swp08_config.h"
#include "model/facility.h"

namespace zarn_host::bridges {

// The runtime's calls (module.h) come on the panel thread, stop on the I/O
// thread. The servers and clients are made in start; the maps from device to
// them are the panel thread's, and never change after start.
class Swp08Module : public Module {
public:
    Swp08Module(std::vector<SwpRouterConfig> routers, bool allowRemote, ClientTiming timing = {},
                ServerLimits limits = {})
        : routers_(std::move(routers)), allowRemote_(allowRemote), timing_(timing), limits_(limits) {}
    bool start(Runtime& rt, SimHost& host, std::string& error) override;
    void handOn(SimHost& host, const std::vector<CrosspointChange>& changes) override;
    void status(nlohmann::json& page) const override;
    const char* label() const override { return "SW-P-08"; }
    void stop() override;

private:
    Server* serverAt(Runtime& rt, const Endpoint& at, const AllowList& allow, std::string& error);
    std::vector<SwpRouterConfig> routers_;
    bool allowRemote_;
    ClientTiming timing_;
    ServerLimits limits_;
    Runtime* rt_ = nullptr;
    std::vector<std::unique_ptr<Server>> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::map<int32_t, Client*> clientOf_;
    std::map<int32_t, std::pair<Server*, Mirror*>> servedAt_;
    std::map<int32_t, std::map<int32_t, LockOwner>> locksSeen_;  // served routers' locks as last handed on
};

// The module of a facility file's "swp08" keys; null when it has none.
std::unique_ptr<Module> readSwp08Module(const Json& root, bool allowRemote);

}  // namespace zarn_host::bridges
