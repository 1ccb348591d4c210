// The login in front of the page and its API when --serve listens beyond
// loopback. At start a random token is printed in the address to open
// (/?token=...); the server exchanges it (or the password of
// --password-file, on the login page) for a session cookie and sends the
// browser on to the address without it. Every other request needs the cookie
// or "Authorization: Bearer TOKEN"; the login page's own files pass.
// Wrong secrets are answered 401 after a delay that grows per address.
//
// Threads: set up before the server's threads start; check() and the
// exchanges run on any number of them at once (sessions and failures under
// a mutex).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zarn_host {

struct LoginSettings {
    std::string token;          // empty: no login, every request passes
    std::string passwordHash;   // a line of zarn_host password, or empty
    bool secureCookie = false;  // served over TLS: the cookie says Secure
    // The panel's worker: its one caller, the supervisor (which alone holds
    // its token), says in loginHeader how the request's sender logged in.
    bool trustRelayedLogin = false;
};

// The request header that carries how the request's sender logged in
// ("token session 2 from 10.1.2.7", "password session 1 from ...", "bearer
// token from ..."), set by the gate for the routes: one a client sends is
// replaced. The audit trail writes it beside a page's or API client's change.
extern const char* const loginHeader;

// A request as the login judges it.
struct LoginRequest {
    std::string method;
    std::string path;
    std::string tokenParam;  // ?token=..., when given
    bool hasTokenParam = false;
    std::string cookieHeader;
    std::string authorization;
    std::string remoteAddress;
    std::string relayedLogin;  // loginHeader as received (trusted only from a relay)
};

struct LoginAnswer {
    int status = 0;         // 0: the request goes on to its route
    std::string location;   // a redirect's target
    std::string setCookie;  // a Set-Cookie header's value
    std::string contentType = "application/json";
    std::string body;
    std::chrono::milliseconds delay{0};  // to wait before answering (a wrong secret)
    // A request that goes on: how its sender logged in (loginHeader's
    // value); empty when no login is asked or for the login page's files.
    std::string login;
};

// The session cookie's name.
extern const char* const sessionCookieName;

// The value of cookie name in a Cookie header ("a=1; b=2"), or empty.
std::string cookieValue(const std::string& cookieHeader, const std::string& name);

// The credentials of an Authorization header ("Bearer X"), or empty.
std::string bearerToken(const std::string& authorization);

// The secret of a login body ({"secret": "..."}), or empty.
std::string loginSecret(const std::string& body);

// The files that the login page needs before anyone has logged in.
bool openWithoutLogin(const std::string& method, const std::string& path);

class LoginGate {
public:
    // The wait after an address's nth wrong secret in a row: 250 ms doubling,
    // at most maxDelay.
    static constexpr std::chrono::milliseconds maxDelay{4000};
    // Sessions kept at once; the oldest is forgotten first.
    static constexpr std::size_t maxSessions = 256;
    // Addresses whose failures are remembered at once.
    static constexpr std::size_t maxFailingAddresses = 4096;

    LoginGate() = default;
    explicit LoginGate(LoginSettings settings);

    bool required() const { return !settings_.token.empty(); }
    const std::string& token() const { return settings_.token; }

    // Before routing: 0 to go on, else the answer to give. POST /api/login
    // goes on to its route, which reads the body and calls logIn.
    LoginAnswer check(const LoginRequest& req);

    // POST /api/login with body {"secret": "..."}: the token or the password
    // for a session cookie, or 401 after a delay.
    LoginAnswer logIn(const std::string& body, const std::string& address);

    // The delay the next wrong secret from address would get.
    std::chrono::milliseconds nextDelay(const std::string& address) const;

private:
    struct Session {
        std::string id;     // the cookie's secret
        std::string login;  // how it was opened, for loginHeader
    };
    // The session's login text, or empty when id names none.
    std::string sessionLogin(const std::string& id) const;
    // "token" or "password" for a good secret, else empty.
    const char* secretKind(const std::string& secret) const;
    LoginAnswer failed(const std::string& address, const std::string& message);
    LoginAnswer startSession(const std::string& address, int status, const char* kind);
    std::string cookie(const std::string& value, bool expired) const;

    LoginSettings settings_;
    mutable std::mutex mutex_;
    std::vector<Session> sessions_;  // oldest first
    uint64_t sessionsOpened_ = 0;
    std::map<std::string, uint32_t> failures_;
};

}  // namespace zarn_host
