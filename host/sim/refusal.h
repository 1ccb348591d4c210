// Refusals: what the host answered null or would not do because the panel
// addressed something that is not there or not allowed. Each is one trace line
// ("   ! ...") and is counted by kind in the end summary. Most kinds fail the
// run unless the scenario expects them; those that are part of normal
// operation (an operator's lock, a device gone offline) are counted only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zarn_host {

enum class RefusalKind {
    panel,         // XI, TP or TG name a panel that is not shown
    control,       // TP or TG name a control the panel file does not have
    property,      // TG reads a property the control does not have; TP '=...' without a default property
    instance,      // SD names an instance the facility does not know
    unresolved,    // device 0, or destination 0 alone: what a failed look-up gives
    router,        // a router command to a device that is not a router
    database,      // RN reads a database the device does not have
    entry,         // RN reads an entry its database does not hold
    destination,   // RC to a destination outside the router
    source,        // RC of a source outside the router
    range,         // RR or RP of a destination range outside the router
    locked,        // RC to a destination an operator locked
    offline,       // a command to a device that is offline
    timer,         // ET stops a timer id never started
    interval,      // ET starts a timer with an interval that is not positive
    registration,  // the panel ended with destinations still registered (RR without RU)
};
constexpr std::size_t refusalKindCount = 16;

struct RefusalKindInfo {
    RefusalKind kind;
    const char* word;     // as expect refused names it: "control"
    const char* summary;  // as the end summary counts it: "no such control"
    bool fails;           // fails the run unless expected
    const char* meaning;  // when the host refuses so, for the help and host/README.md
};

// One row a kind, in the order of the enumeration.
const std::array<RefusalKindInfo, refusalKindCount>& refusalKinds();
const RefusalKindInfo& refusalKindInfo(RefusalKind kind);
// The kind named by its word, or null.
const RefusalKindInfo* findRefusalKind(const std::string& word);

struct Refusal {
    RefusalKind kind;
    std::string text;       // the trace line's text, without its marker
    bool expected = false;  // an expect refused step matched it (or the run expects every refusal)
};

// Refusals of one run, counted by kind.
struct RefusalCounts {
    std::array<uint64_t, refusalKindCount> byKind{};
    uint64_t failing = 0;  // of kinds that fail, not expected

    uint64_t total() const;
    // "17 refusals (16 no such control, 1 locked destination; 16 fail the run)", or "" for none.
    std::string summary() const;
};

}  // namespace zarn_host
