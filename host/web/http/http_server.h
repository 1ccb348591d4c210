// What both of --serve's HTTP servers are set up with, the supervisor's that
// the browser talks to and the worker's page server behind it: their limits,
// error answers, door, the page's files and event streams answered alike.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>

namespace httplib {
class Server;
class DataSink;
struct Response;
}  // namespace httplib

namespace zarn_host {

class HttpGuard;
class LoginGate;

// The largest request body taken.
constexpr std::size_t maxBodyBytes = 16 * 1024;
// Event streams open at once (pages watching); more are refused with 503.
constexpr std::size_t maxEventStreams = 32;

// Sets server up: body limit, a short keep-alive (a browser's idle connection
// must not hold up the end), threads for every stream and some requests
// besides, {"error": "..."} answers for the server's own errors, guard at the
// door (guardServer: it and login must outlive server), the login when given
// (and GET /api/login, which says whether one is needed) and the page's
// embedded files.
void setUpServer(httplib::Server& server, const HttpGuard& guard, LoginGate* login = nullptr);

// Answers {"error": message} with status.
void sendError(httplib::Response& res, int status, const std::string& message);

// Answers with an event stream when opened (the caller counted it in),
// 503 otherwise. next writes the next events to sink and says whether the
// stream goes on; closed is called once the stream has ended.
void serveEventStream(httplib::Response& res, bool opened, std::function<bool(httplib::DataSink& sink)> next,
                      std::function<void()> closed);

// Binds server to address:port (port 0 picks a free one); the bound port, or
// 0 when the address cannot be bound.
int bindServer(httplib::Server& server, const std::string& address, int port);

// The lines that tell a person where the page is served and how to end it:
// with a login's token, the address to open carries it.
void announceServing(std::ostream& out, std::ostream& err, const std::string& address, int port, bool tls = false,
                     const std::string& token = "");

}  // namespace zarn_host
