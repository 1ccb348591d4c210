// How a facility's router numbers go on the SW-P-08 wire, the one place that
// says so. The facility numbers destinations and sources from 1, and source 0
// is "no source" (an unrouted destination); the wire numbers both from 0.
// "No source" on the wire is a number outside the router, so that it never
// takes a real source's: 1023, the plain forms' highest number, for a router
// of fewer than 1,024 sources, else 65535 (which does not fit the plain forms:
// such a tally goes in the extended form). Read back, 1023 and 65535 are no
// source where they are outside the router; any other number is n + 1, which
// the router refuses when it is outside it.
#pragma once

#include <cstdint>

namespace zarn_host::swp08 {

inline constexpr uint16_t kNoSource = 1023;        // routers of fewer than 1,024 sources
inline constexpr uint16_t kNoSourceWide = 0xFFFF;  // routers of 1,024 sources and more

// "No source" for a router of this many sources.
constexpr uint16_t noSourceFor(int32_t sources) {
    return sources < 1024 ? kNoSource : kNoSourceWide;
}

// A facility number (1-based) of a destination, or of a name in a names
// message, and its wire number (0-based).
struct FacilityNumber {
    int32_t value = 0;
};
// A facility source of a crosspoint: 0 is "no source".
struct FacilitySource {
    int32_t value = 0;
};

constexpr uint16_t toWire(FacilityNumber number) {
    return static_cast<uint16_t>(number.value - 1);
}
constexpr FacilityNumber numberFromWire(uint16_t wire) {
    return FacilityNumber{static_cast<int32_t>(wire) + 1};
}
// No source (0, or anything below) is noSourceFor(sources).
constexpr uint16_t toWire(FacilitySource source, int32_t sources) {
    return source.value > 0 ? static_cast<uint16_t>(source.value - 1) : noSourceFor(sources);
}
// Wire source n of a router of this many sources is facility source n + 1;
// 1023 and 65535 outside the router are no source (0).
constexpr FacilitySource sourceFromWire(uint16_t wire, int32_t sources) {
    const bool none = wire >= sources && (wire == kNoSource || wire == kNoSourceWide);
    return FacilitySource{none ? 0 : static_cast<int32_t>(wire) + 1};
}

}  // namespace zarn_host::swp08
