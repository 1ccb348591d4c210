#include "bridges/runtime/tcp.h"

namespace zarn_host::bridges {

using asio::ip::tcp;

bool listenOn(tcp::acceptor& acceptor, const Endpoint& at, const std::string& what, std::string& error) {
    asio::error_code ec;
    tcp::endpoint endpoint(asio::ip::make_address(at.host == "localhost" ? "127.0.0.1" : at.host, ec), at.port);
    if (ec) {
        error = what + " " + at.text() + ": not an IP address";
        return false;
    }
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = what + " " + at.text() + ": " + ec.message();
        return false;
    }
    return true;
}

void connectTo(asio::io_context& io, tcp::socket& socket, const Endpoint& at,
               std::function<void(const std::string& why)> done) {
    tcp::resolver resolver(io);
    asio::error_code ec;
    auto endpoints = resolver.resolve(at.host, std::to_string(at.port), ec);
    if (ec) {
        done("cannot resolve " + at.host);
        return;
    }
    asio::async_connect(socket, endpoints,
                        [&socket, done = std::move(done)](const asio::error_code& error, const tcp::endpoint&) {
                            if (error) {
                                done(error.message());
                                return;
                            }
                            asio::error_code ignored;
                            socket.set_option(tcp::no_delay(true), ignored);
                            done("");
                        });
}

}  // namespace zarn_host::bridges
