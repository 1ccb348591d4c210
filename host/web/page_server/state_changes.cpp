#include "web/page_server/state_changes.h"

#include "web/page_server/page_state.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;

// Two panels alike but for their controls' contents: same keys beside the
// controls, the same controls in the same order.
bool sameShape(const json& a, const json& b) {
    if (!a.is_object() || !b.is_object() || a.size() != b.size()) return false;
    for (auto it = a.begin(); it != a.end(); ++it) {
        auto other = b.find(it.key());
        if (other == b.end()) return false;
        if (it.key() != "controls") {
            if (*other != it.value()) return false;
            continue;
        }
        if (!other->is_array() || !it->is_array() || other->size() != it->size()) return false;
        for (std::size_t i = 0; i < it->size(); ++i) {
            if ((*it)[i].value("id", json()) != (*other)[i].value("id", json())) return false;
        }
    }
    return true;
}

}  // namespace

void StateChanges::diffPanels(const json& panels, json& out) const {
    auto old = view_.find("panels");
    bool alike = old != view_.end() && old->is_array() && panels.is_array() && old->size() == panels.size();
    for (std::size_t p = 0; alike && p < panels.size(); ++p) alike = sameShape((*old)[p], panels[p]);
    if (!alike) {
        out["set"]["panels"] = panels;
        return;
    }
    json controls = json::array();
    for (std::size_t p = 0; p < panels.size(); ++p) {
        const json& now = panels[p]["controls"];
        const json& before = (*old)[p]["controls"];
        for (std::size_t c = 0; c < now.size(); ++c) {
            if (now[c] != before[c]) controls.push_back({{"panel", panels[p]["id"]}, {"control", now[c]}});
        }
    }
    if (!controls.empty()) out["controls"] = std::move(controls);
}

void StateChanges::diffRows(const Facility& facility, json& out) {
    json rows = json::array();
    json reload = json::array();
    std::map<int32_t, std::vector<RowMark>> seen;
    for (const auto& entry : facility.routers()) {
        const Router& router = entry.second;
        std::vector<RowMark> marks(static_cast<std::size_t>(router.destinations) + 1);
        for (int32_t d = 1; d <= router.destinations; ++d) {
            auto lock = router.locked.find(d);
            marks[static_cast<std::size_t>(d)] = {
                router.crosspoints[static_cast<std::size_t>(d)], lock != router.locked.end(), router.registered(d),
                lock != router.locked.end() ? lock->second : LockOwner{}, router.lastChange(d)};
        }
        auto old = rows_.find(router.device);
        if (old == rows_.end() || old->second.size() != marks.size()) {
            reload.push_back(router.device);
        } else {
            json changed = json::array();
            for (int32_t d = 1; d <= router.destinations && changed.size() <= maxRowsPerRouter; ++d) {
                if (marks[static_cast<std::size_t>(d)] != old->second[static_cast<std::size_t>(d)]) {
                    json row = destinationJson(router, d);
                    row["device"] = router.device;
                    changed.push_back(std::move(row));
                }
            }
            if (changed.size() > maxRowsPerRouter) {
                reload.push_back(router.device);
            } else {
                for (auto& row : changed) rows.push_back(std::move(row));
            }
        }
        seen.emplace(router.device, std::move(marks));
    }
    rows_ = std::move(seen);
    if (!rows.empty()) out["rows"] = std::move(rows);
    if (!reload.empty()) out["reload"] = std::move(reload);
}

json StateChanges::diff(const Facility& facility, const json& view) {
    json out = json::object();
    for (auto it = view.begin(); it != view.end(); ++it) {
        if (it.key() == "panels") continue;
        auto old = view_.find(it.key());
        if (old == view_.end() || *old != it.value()) out["set"][it.key()] = it.value();
    }
    diffPanels(view.value("panels", json::array()), out);
    diffRows(facility, out);
    view_ = view;
    return out.empty() ? json() : out;
}

}  // namespace zarn_host
