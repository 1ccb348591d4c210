// How a facility's router numbers go on the SW-P-08 wire, the one place that
// says so. The facility numbers destinations and sources from 1, and source 0
// is "no source" (an unrouted destination); the wire numbers both from 0 and
// says "no source" with source 1023, the plain forms' highest number, which is
// also what a tally carries for a destination out of range.
//
// Facility source 1024 has no wire number of its own: wire source 1023 reads
// back as "no source". Sources past it (extended forms) are n + 1 as usual.
#pragma once

#include <cstdint>

namespace zarn_host::swp08 {

inline constexpr uint16_t kNoSource = 1023;

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
// No source (0, or anything below) is kNoSource.
constexpr uint16_t toWire(FacilitySource source) {
    return source.value > 0 ? static_cast<uint16_t>(source.value - 1) : kNoSource;
}
// kNoSource is no source (0); every other wire source n is facility source n + 1.
constexpr FacilitySource sourceFromWire(uint16_t wire) {
    return FacilitySource{wire == kNoSource ? 0 : static_cast<int32_t>(wire) + 1};
}

}  // namespace zarn_host::swp08
