// The facility's bridges to equipment as the panel thread sees them: routers
// served to or backed by SW-P-08 and Ember+ peers, and TSL UMD displays. The bridges
// run on their own I/O thread; everything here is called on the panel thread,
// the only caller of the host.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zarn_host {

class SimHost;

class Bridges {
public:
    virtual ~Bridges() = default;
    // Applies what the peers sent (routes, tallies, names, connection
    // changes) to the host, then hands what changed in the facility and the
    // panels to the peers. True when the facility changed.
    virtual bool exchange(SimHost& host) = 0;
    // Called from the I/O thread when something waits for exchange(); null
    // for none. The front-end's loop wakes the panel thread with it.
    virtual void setWake(std::function<void()> wake) = 0;
    // {"bridges": [...], "umd": [...]} as JSON text, for the page.
    virtual std::string statusJson() const = 0;
};

// Reads the bridges of a facility file and starts them; null with an empty
// error when the file names none, null with a one-line error when they
// cannot start. Provided by bridge_modules.cpp where Asio is available, else by
// bridges_unavailable.cpp.
std::unique_ptr<Bridges> startBridges(const std::string& facilityPath, SimHost& host, bool allowRemote,
                                      std::string& error);

}  // namespace zarn_host
