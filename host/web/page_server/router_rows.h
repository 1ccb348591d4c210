// A router's rows as the page fetches them: a window of its destinations,
// filtered by name or number, and its sources' names for the source picker.
// Pure projections of the facility; call on the panel thread.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "model/facility.h"
#include "web/http/page_limits.h"

namespace zarn_host {

struct RowQuery {
    static constexpr int32_t maxCount = rowsPerRequest;
    static constexpr std::size_t maxFilterBytes = 200;
    int32_t device = 0;
    int32_t from = 0;    // the first matching row given, counted from 0
    int32_t count = 50;  // at most maxCount
    // Matches a destination whose number starts with it, or whose name holds
    // it, letters compared without case; empty matches every destination.
    std::string filter;
    // Only destinations in use: named, routed or locked.
    bool inUse = false;
    // Only destinations routed from this source ("where is it used"); 0: any.
    int32_t source = 0;
};

// The query's parts as given in a request's parameters (null where not
// given): router (required), from, count, filter, used ("1" or "0"), source; any of
// them missing but router takes its default. False with a one-line why for
// anything out of shape or out of bounds.
struct RowParams {
    const std::string* router = nullptr;
    const std::string* from = nullptr;
    const std::string* count = nullptr;
    const std::string* filter = nullptr;
    const std::string* used = nullptr;
    const std::string* source = nullptr;
};
bool parseRowQuery(const RowParams& given, RowQuery& query, std::string& why);

// {"device", "total" (rows matching), "from", "rows": [destinationJson...]}.
nlohmann::json routerRows(const Router& router, const RowQuery& query);

// {"device", "names": [the name of source 1, 2, ...; "" where it has none]}.
nlohmann::json sourceNames(const Router& router);

}  // namespace zarn_host
