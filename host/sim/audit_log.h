// The audit trail (--audit FILE): every change of the facility made from
// outside the panel (a page's session, an API client, a scenario step, an
// SW-P-08 controller, an Ember+ consumer, a real router backing a facility
// router) as one JSON line, appended and flushed as it happens: a restart
// appends, and a crash loses no line written. It hears the facility's one
// change watcher (Facility::watchChanges), so no protocol writes it itself.
//
// A line: {"time": "2026-12-08T19:58:01.123Z", "origin": {"kind":
// "controller", "device": 5, "address": "10.1.2.3:4001"}, "change": "route",
// "router": 101, "destination": 5, "source": 3}; "change" is route, lock or
// unlock, one refused has "refused" (why); a panel's route made during a
// page's or API client's step (or an Ember+ consumer's press) has that
// origin as "during".
//
// Threads: the panel thread's, as the facility is.
#pragma once

#include <chrono>
#include <fstream>
#include <iosfwd>
#include <string>

#include "model/facility.h"

namespace zarn_host {

class AuditLog {
public:
    // Opens path to append (made when missing); false with a one-line error.
    // A write that fails later is told once on err.
    bool open(const std::string& path, std::ostream& err, std::string& error);
    // Watches facility's changes from now on; the log outlives the watch.
    void watch(Facility& facility);
    // Appends change's line when it is audited, and flushes it.
    void record(const FacilityChange& change);

    // Whether a change goes in the trail: all but the facility file's and the
    // panel's own (its routes are in when a page's or API step made it route).
    static bool audited(const FacilityChange& change);
    // The line of a change made at time, without its line end.
    static std::string line(const FacilityChange& change, std::chrono::system_clock::time_point time);
    // "2026-12-08T19:58:01.123Z".
    static std::string utcText(std::chrono::system_clock::time_point time);

private:
    std::ofstream out_;
    std::string path_;
    std::ostream* err_ = nullptr;
    bool failed_ = false;
};

}  // namespace zarn_host
