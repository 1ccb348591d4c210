// TSL UMD as a protocol of the bridges: displays under the monitors whose
// texts and tallies follow panel controls, each sender a Sender.
#pragma once

#include <memory>
#include <vector>

#include "bridges/runtime/module.h"
#include "bridges/tsl_umd/display_sender.h"
#include "bridges/tsl_umd/umd_config.h"

namespace zarn_host::bridges {

// The runtime's calls (module.h) come on the panel thread, stop on the I/O
// thread. shown_ (the displays as last handed on, for the page) is the panel
// thread's; the senders are the I/O thread's once started.
class UmdModule : public Module {
public:
    explicit UmdModule(std::vector<SenderConfig> senders) : configs_(std::move(senders)) {}
    bool start(Runtime& rt, SimHost& host, std::string& error) override;
    void handOn(SimHost& host, const std::vector<CrosspointChange>& changes) override;
    void status(nlohmann::json& page) const override;
    const char* label() const override { return "TSL UMD"; }
    void stop() override;

private:
    std::vector<SenderConfig> configs_;
    Runtime* rt_ = nullptr;
    std::vector<std::unique_ptr<Sender>> senders_;
    std::vector<std::vector<tsl::Display>> shown_;  // per sender, as last handed on
};

// The module of a facility file's "umd" senders; null when it has none.
std::unique_ptr<Module> readUmdModule(const Json& root, bool allowRemote);

}  // namespace zarn_host::bridges
