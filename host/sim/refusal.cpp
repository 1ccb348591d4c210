#include "sim/refusal.h"

namespace zarn_host {

const std::array<RefusalKindInfo, refusalKindCount>& refusalKinds() {
    constexpr bool fails = true, counted = false;
    // A lock is an operator's decision and an offline device a state of the
    // facility: a panel meets both in normal operation and a real host refuses
    // them without anyone being at fault. An entry a database does not hold is
    // a name nobody typed in yet. Device or destination 0 follows a look-up
    // that failed (an offline device, a missing entry), which is counted, and
    // fails if it should, where it happened.
    static const std::array<RefusalKindInfo, refusalKindCount> kinds = {{
        {RefusalKind::panel, "panel", "no such panel", fails, "XI, TP or TG name a panel that is not shown"},
        {RefusalKind::control, "control", "no such control", fails,
         "TP or TG name a control the panel file does not have"},
        {RefusalKind::property, "property", "no such property", fails,
         "TG reads a property the control does not have, or TP sets an empty name on a control without a default "
         "property"},
        {RefusalKind::instance, "instance", "no such instance", fails,
         "SD names a device instance the facility does not know"},
        {RefusalKind::unresolved, "unresolved", "unresolved number", counted,
         "a command names device 0, or destination 0 alone (RR or RP 0 0, RC to 0): what a failed look-up gives, "
         "counted where it failed"},
        {RefusalKind::router, "router", "not a router", fails, "RC, RP, RR or RU name a device that is not a router"},
        {RefusalKind::database, "database", "no such database", fails, "RN reads a database the device does not have"},
        {RefusalKind::entry, "entry", "no such entry", counted,
         "RN reads an entry its database does not hold (a name nobody gave yet)"},
        {RefusalKind::destination, "destination", "destination out of range", fails,
         "RC to a destination outside the router"},
        {RefusalKind::source, "source", "source out of range", fails, "RC of a source outside the router"},
        {RefusalKind::range, "range", "range outside the router", fails,
         "RR or RP of a destination range outside the router"},
        {RefusalKind::locked, "locked", "locked destination", counted, "RC to a destination an operator locked"},
        {RefusalKind::offline, "offline", "offline device", counted, "a command to a device that is offline"},
        {RefusalKind::timer, "timer", "timer never started", fails,
         "ET stops a timer id never started in the panel's life"},
        {RefusalKind::interval, "interval", "timer interval not positive", fails,
         "ET starts a timer with an interval that is not positive"},
        {RefusalKind::registration, "registration", "registration never released", fails,
         "the panel ended with destinations still registered (RR without RU)"},
    }};
    return kinds;
}

const RefusalKindInfo& refusalKindInfo(RefusalKind kind) {
    return refusalKinds()[static_cast<std::size_t>(kind)];
}

const RefusalKindInfo* findRefusalKind(const std::string& word) {
    for (const auto& info : refusalKinds()) {
        if (word == info.word) return &info;
    }
    return nullptr;
}

uint64_t RefusalCounts::total() const {
    uint64_t sum = 0;
    for (uint64_t n : byKind) sum += n;
    return sum;
}

std::string RefusalCounts::summary() const {
    const uint64_t all = total();
    if (all == 0) return "";
    std::string text = std::to_string(all) + (all == 1 ? " refusal (" : " refusals (");
    bool first = true;
    for (const auto& info : refusalKinds()) {
        uint64_t n = byKind[static_cast<std::size_t>(info.kind)];
        if (n == 0) continue;
        if (!first) text += ", ";
        first = false;
        text += std::to_string(n) + " " + info.summary;
    }
    if (failing > 0) text += "; " + std::to_string(failing) + (failing == 1 ? " fails" : " fail") + " the run";
    return text + ")";
}

}  // namespace zarn_host
