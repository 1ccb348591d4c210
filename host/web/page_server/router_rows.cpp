#include "web/page_server/router_rows.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "text/command_text.h"
#include "web/page_server/page_state.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool parseBounded(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    int32_t parsed = 0;
    if (!parseInt32(text, parsed) || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

}  // namespace

bool parseRowQuery(const RowParams& given, RowQuery& query, std::string& why) {
    const std::string *router = given.router, *from = given.from, *count = given.count, *filter = given.filter;
    if (!router || !parseInt32(*router, query.device)) {
        why = "give the router as \"router\", its device number";
        return false;
    }
    if (from && !parseBounded(*from, 0, INT32_MAX, query.from)) {
        why = "\"from\" is a row number, 0 or more";
        return false;
    }
    if (count && !parseBounded(*count, 0, RowQuery::maxCount, query.count)) {
        why = "\"count\" is a number of rows, 0 to " + std::to_string(RowQuery::maxCount);
        return false;
    }
    if (filter) {
        if (filter->size() > RowQuery::maxFilterBytes) {
            why = "\"filter\" is at most " + std::to_string(RowQuery::maxFilterBytes) + " bytes";
            return false;
        }
        query.filter = *filter;
    }
    if (given.used) {
        if (*given.used != "0" && *given.used != "1") {
            why = "\"used\" is 1 (destinations named, routed or locked only) or 0";
            return false;
        }
        query.inUse = *given.used == "1";
    }
    if (given.source && !parseBounded(*given.source, 1, INT32_MAX, query.source)) {
        why = "\"source\" is a source number, 1 or more";
        return false;
    }
    return true;
}

json routerRows(const Router& router, const RowQuery& query) {
    const std::string filter = lowered(query.filter);
    json rows = json::array();
    int32_t total = 0;
    for (int32_t d = 1; d <= router.destinations; ++d) {
        if (query.source != 0 && router.crosspoints[static_cast<std::size_t>(d)] != query.source) continue;
        if (query.inUse && router.crosspoints[static_cast<std::size_t>(d)] == 0 && router.locked.count(d) == 0 &&
            router.destinationNames.count(d) == 0) {
            continue;
        }
        if (!filter.empty() && std::to_string(d).rfind(filter, 0) != 0) {
            auto name = router.destinationNames.find(d);
            if (name == router.destinationNames.end() || lowered(name->second).find(filter) == std::string::npos) {
                continue;
            }
        }
        if (total >= query.from && total - query.from < query.count) rows.push_back(destinationJson(router, d));
        ++total;
    }
    return {{"device", router.device}, {"total", total}, {"from", query.from}, {"rows", rows}};
}

json sourceNames(const Router& router) {
    json names = json::array();
    for (int32_t s = 1; s <= router.sources; ++s) {
        auto name = router.sourceNames.find(s);
        names.push_back(name == router.sourceNames.end() ? "" : name->second);
    }
    return {{"device", router.device}, {"names", names}};
}

}  // namespace zarn_host
