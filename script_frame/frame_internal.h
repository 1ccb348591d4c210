// Internals of the script frame shared by its sources and its tests; not part
// of what a panel or a host includes.
#pragma once

#include <cstdint>

namespace zarn {

// Reads a decimal integer the way atoi does (leading white space, an optional
// sign, then the leading digits; anything after them is ignored), but with a
// defined result for every text: null, no digits, or a value outside int32
// give 0.
int32_t readLeadingInt(const char* text);

}  // namespace zarn

// The frame's identification text, kept in the binary.
extern const char zarn_script_helper_signature[];
