// Network addresses as the host reads them from its command line and
// facility files. Every door the host opens (the page's HTTP server, the
// bridges' listening sockets) stays on a loopback address unless the user
// says --allow-remote; this is the one test of "loopback".
#pragma once

#include <string>

namespace zarn_host {

// True for addresses only this machine reaches: 127.0.0.0/8 in dotted
// decimal, ::1 (either spelling), localhost; case aside, nothing else.
bool isLoopbackHost(const std::string& host);

}  // namespace zarn_host
