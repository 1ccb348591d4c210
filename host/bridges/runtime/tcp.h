// The TCP ends every protocol's I/O opens, on the runtime's I/O thread.
#pragma once

#include <asio.hpp>
#include <functional>
#include <string>

#include "bridges/runtime/facility_keys.h"

namespace zarn_host::bridges {

// Opens acceptor listening on at ("localhost" is 127.0.0.1); false with a
// one-line error that begins with what ("swp08 listen 127.0.0.1:8910: ...").
bool listenOn(asio::ip::tcp::acceptor& acceptor, const Endpoint& at, const std::string& what, std::string& error);

// Resolves at and connects socket; done gets an empty text once connected
// (no-delay set: small packets go out as they are written, not after the
// peer's delayed acknowledgement), else why it failed.
void connectTo(asio::io_context& io, asio::ip::tcp::socket& socket, const Endpoint& at,
               std::function<void(const std::string& why)> done);

}  // namespace zarn_host::bridges
