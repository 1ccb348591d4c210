// SW-P-08 router control: the answers a router gives a controller, in the
// form of the request (or extended when the numbers do not fit the plain one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridges/codecs/swp08_messages.h"

namespace zarn_host::swp08 {

// The answer forms: a tally or connected in the form of the request, or the
// extended one when the numbers do not fit the plain form.
Message tallyFor(const Message& interrogate, uint16_t source);
Message connectedFor(const Message& connect);

// Tally dump messages for the sources of every destination of a matrix and
// level, in the form of the request: plain byte form while every number is
// below 256, else plain word form (64 tallies a message) or extended form (63): each
// within kMessageLimit.
std::vector<Message> tallyDumpFor(const Message& request, const std::vector<uint16_t>& sources);

// Names messages for every name, namesPerMessage names each, answering a
// source or destination names request in its form and name length.
std::vector<Message> namesFor(const Message& request, const std::vector<std::string>& names);

}  // namespace zarn_host::swp08
