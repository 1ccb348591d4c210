#include "sim/audit_log.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>

#include "text/command_text.h"

namespace zarn_host {
namespace {

using Json = nlohmann::ordered_json;

const char* kindName(Origin::Kind kind) {
    switch (kind) {
        case Origin::Kind::facility:
            return "facility";
        case Origin::Kind::scenario:
            return "scenario";
        case Origin::Kind::page:
            return "page";
        case Origin::Kind::controller:
            return "controller";
        case Origin::Kind::panel:
            return "panel";
        case Origin::Kind::api:
            return "api";
        case Origin::Kind::consumer:
            return "consumer";
        case Origin::Kind::router:
            return "router";
    }
    return "?";
}

Json originJson(const Origin& origin) {
    Json out{{"kind", kindName(origin.kind)}};
    if (origin.kind == Origin::Kind::controller && origin.device >= 0) out["device"] = origin.device;
    if (!origin.address.empty()) out[origin.kind == Origin::Kind::page ? "session" : "address"] = origin.address;
    if (!origin.login.empty()) out["login"] = origin.login;
    return out;
}

}  // namespace

bool AuditLog::open(const std::string& path, std::ostream& err, std::string& error) {
    out_.open(std::filesystem::u8path(path), std::ios::binary | std::ios::app);
    if (!out_) {
        error = "--audit " + printable(path, 200) + ": cannot open the file to append to it";
        return false;
    }
    path_ = path;
    err_ = &err;
    return true;
}

void AuditLog::watch(Facility& facility) {
    facility.watchChanges([this](const FacilityChange& change) { record(change); });
}

bool AuditLog::audited(const FacilityChange& change) {
    // The panel's routes count when something outside made it route.
    if (!change.origin || change.origin->kind == Origin::Kind::facility) return false;
    return change.origin->kind != Origin::Kind::panel || change.during != nullptr;
}

std::string AuditLog::utcText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const int64_t ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    int64_t days = ms / 86400000;
    int64_t inDay = ms % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    // The civil date of a day count from 1970-01-01 (proleptic Gregorian).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    // Room for any year a 64-bit count of milliseconds reaches.
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(inDay / 3600000),
                  static_cast<long long>(inDay / 60000 % 60), static_cast<long long>(inDay / 1000 % 60),
                  static_cast<long long>(inDay % 1000));
    return text;
}

std::string AuditLog::line(const FacilityChange& change, std::chrono::system_clock::time_point time) {
    static const char* const what[] = {"route", "lock", "unlock"};
    Json out{{"time", utcText(time)}, {"origin", change.origin ? originJson(*change.origin) : Json(nullptr)}};
    // What made the panel route. A peer's change handed over while a step
    // runs (between its panel calls) is the peer's alone.
    if (change.during && change.origin && change.origin->kind == Origin::Kind::panel) {
        out["during"] = originJson(*change.during);
    }
    out["change"] = what[static_cast<int>(change.what)];
    out["router"] = change.device;
    out["destination"] = change.destination;
    if (change.what == DestinationChange::What::route) out["source"] = change.source;
    if (change.refused) out["refused"] = change.refused;
    // A peer's address or a session name is the peer's text: never a broken line.
    return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AuditLog::record(const FacilityChange& change) {
    if (!out_.is_open() || !audited(change)) return;
    out_ << line(change, std::chrono::system_clock::now()) << '\n';
    out_.flush();
    if (!out_ && !failed_) {
        failed_ = true;
        if (err_) *err_ << "zarn_host: --audit " << printable(path_, 200) << ": a change could not be written\n";
    }
}

}  // namespace zarn_host
