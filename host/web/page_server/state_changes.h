// The page's state as changes: what differs between two publications of the
// page's view (page_state.h, routers as summaries) and of the routers' rows,
// so one route streams one row, not the facility. Panel thread only.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "model/facility.h"

namespace zarn_host {

class StateChanges {
public:
    // Past this many changed rows a router is named in "reload" instead: the
    // page fetches the rows it shows again.
    static constexpr std::size_t maxRowsPerRouter = 256;

    // What changed since the last call, as the "changes" event's body without
    // its sequence number: "set" (top-level keys of the view replaced whole),
    // "controls" (panel controls replaced, {"panel", "control"}), "rows"
    // (destinations, each with its router's "device") and "reload" (routers
    // whose rows the page should fetch again); only the parts that have
    // something. Null when nothing changed. The first call records and
    // reports every key and router as changed.
    nlohmann::json diff(const Facility& facility, const nlohmann::json& view);

private:
    struct RowMark {
        int32_t source = 0;
        bool locked = false;
        bool registered = false;
        LockOwner owner;      // while locked
        uint64_t change = 0;  // the destination's newest change: a route made again by another shows
        bool operator!=(const RowMark& o) const {
            return source != o.source || locked != o.locked || registered != o.registered || change != o.change ||
                   (locked && !owner.sameAs(o.owner));
        }
    };
    void diffPanels(const nlohmann::json& panels, nlohmann::json& out) const;
    void diffRows(const Facility& facility, nlohmann::json& out);

    nlohmann::json view_ = nlohmann::json::object();
    std::map<int32_t, std::vector<RowMark>> rows_;
};

}  // namespace zarn_host
