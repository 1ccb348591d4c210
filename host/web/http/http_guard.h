// The door of zarn_host's browser front-end: which requests it answers at
// all and the headers every answer carries.
//
// A page served on a loopback address is still reachable from any site the
// browser has open: through DNS rebinding (a name of the attacker's that
// later resolves to 127.0.0.1), a frame, or a cross-site form post. So the
// server answers only Host values that name the address it serves, takes
// POSTs only from its own origin or from clients that send no Origin (not a
// browser), and forbids framing and inline script.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace zarn_host {

class LoginGate;

struct GuardVerdict {
    int status = 0;  // 0: answer the request
    std::string message;
};

// Threads: set up (and given its port) before the server's threads start,
// then only read by them, from any number at once.
class HttpGuard {
public:
    // servedHost: the host given to --serve (IPv6 without brackets); tls:
    // served over HTTPS (the page's origin is https://).
    explicit HttpGuard(std::string servedHost = "127.0.0.1", int port = 0, bool tls = false);
    void setPort(int port) { port_ = port; }

    // Before routing: 421 for a Host that does not name this server, 403 for
    // a POST from another origin, 411 for a POST without a length (its body
    // would be read until the connection's timeout).
    GuardVerdict check(const std::string& method, const std::string& hostHeader, const std::string& origin,
                       bool hasOrigin, bool hasLength) const;

    bool allowedHost(const std::string& hostHeader) const;

private:
    std::string servedHost_;
    int port_;
    bool tls_;
};

// Installs guard on server: checked before routing (a refusal is answered
// with {"error": "..."} and closes the connection, whose body is unread),
// then login when given (login.h), securityHeaders() after it. guard and
// login must outlive server.
void guardServer(httplib::Server& server, const HttpGuard& guard, LoginGate* login = nullptr);

// Headers on every answer: the content security policy (no inline script,
// no framing) and nosniff.
const std::vector<std::pair<std::string, std::string>>& securityHeaders();

// Whether the --serve address may be used: loopback always; any other only
// with --allow-remote. False with a one-line error; warning holds the line to
// print when a remote address is allowed.
bool remoteServeAllowed(const std::string& host, bool allowRemote, std::string& warning, std::string& error);

// How --serve protects an address beyond loopback (--allow-remote given):
// with TLS, or in the clear only when insecure (--insecure) says so, with a
// warning on every start. False with a one-line error.
bool remoteServeProtected(const std::string& host, bool tls, bool insecure, std::string& warning, std::string& error);

// A Content-Type header names the media type `type` (compared without case,
// parameters after ';' ignored).
bool mediaTypeIs(const std::string& contentType, const std::string& type);
// text without its leading and trailing blanks and tabs (a header's value).
std::string trimmed(const std::string& text);

}  // namespace zarn_host
