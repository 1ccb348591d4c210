#include "web/http/http_guard.h"

#include <httplib.h>

#include <cctype>
#include <nlohmann/json.hpp>
#include <thread>

#include "text/address.h"
#include "text/command_text.h"
#include "web/http/login.h"

namespace zarn_host {
namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "host" with brackets for an IPv6 address, as it appears in a Host header.
std::string hostForm(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

void sendLoginAnswer(httplib::Response& res, const LoginAnswer& answer) {
    // A wrong secret waits on this request's thread: the next guess from the
    // address waits longer.
    if (answer.delay.count() > 0) std::this_thread::sleep_for(answer.delay);
    res.status = answer.status;
    res.set_header("Cache-Control", "no-store");
    if (!answer.location.empty()) res.set_header("Location", answer.location);
    if (!answer.setCookie.empty()) res.set_header("Set-Cookie", answer.setCookie);
    if (answer.status == 401) res.set_header("WWW-Authenticate", "Bearer");
    for (const auto& header : securityHeaders()) res.set_header(header.first.c_str(), header.second);
    res.set_content(answer.body, answer.contentType.c_str());
}

}  // namespace

HttpGuard::HttpGuard(std::string servedHost, int port, bool tls)
    : servedHost_(std::move(servedHost)), port_(port), tls_(tls) {}

bool HttpGuard::allowedHost(const std::string& hostHeader) const {
    std::string host = lower(trimmed(hostHeader));
    if (host.empty()) return false;
    const std::string port = ":" + std::to_string(port_);
    for (const std::string& name :
         {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"), lower(hostForm(servedHost_))}) {
        if (host == name + port) return true;
        if (port_ == (tls_ ? 443 : 80) && host == name) return true;
    }
    return false;
}

GuardVerdict HttpGuard::check(const std::string& method, const std::string& hostHeader, const std::string& origin,
                              bool hasOrigin, bool hasLength) const {
    if (!allowedHost(hostHeader)) {
        return {421, "this server answers only to its own address, not to Host \"" +
                         printable(trimmed(hostHeader), 80) + "\""};
    }
    if (method != "POST") return {};
    if (hasOrigin && lower(trimmed(origin)) != (tls_ ? "https://" : "http://") + lower(trimmed(hostHeader))) {
        return {403, "a page from another origin cannot operate the panel"};
    }
    if (!hasLength) return {411, "send the body with its Content-Length"};
    return {};
}

void guardServer(httplib::Server& server, const HttpGuard& guard, LoginGate* login) {
    server.set_pre_routing_handler([&guard, login](const httplib::Request& req, httplib::Response& res) {
        // Answers are sent whole: a Range would cut a refusal's one-line
        // error (and the page asks for none). The request is the server's
        // own, writable object, handed to this handler as const.
        const_cast<httplib::Request&>(req).ranges.clear();
        GuardVerdict verdict = guard.check(req.method, req.get_header_value("Host"), req.get_header_value("Origin"),
                                           req.has_header("Origin"),
                                           req.has_header("Content-Length") || req.has_header("Transfer-Encoding"));
        if (verdict.status == 0) {
            // Who logged in is the gate's to say, never the client's.
            auto& headers = const_cast<httplib::Request&>(req).headers;
            const std::string relayed = req.get_header_value(loginHeader);
            headers.erase(loginHeader);
            if (!login) return httplib::Server::HandlerResponse::Unhandled;
            LoginRequest asked{req.method,
                               req.path,
                               req.get_param_value("token"),
                               req.has_param("token"),
                               req.get_header_value("Cookie"),
                               req.get_header_value("Authorization"),
                               req.remote_addr,
                               relayed};
            LoginAnswer answer = login->check(asked);
            if (answer.status == 0) {
                if (!answer.login.empty()) headers.emplace(loginHeader, answer.login);
                return httplib::Server::HandlerResponse::Unhandled;
            }
            sendLoginAnswer(res, answer);
            return httplib::Server::HandlerResponse::Handled;
        }
        res.status = verdict.status;
        res.set_header("Connection", "close");
        nlohmann::json body{{"error", verdict.message}};
        res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    });
    if (login) {
        server.Post("/api/login", [login](const httplib::Request& req, httplib::Response& res) {
            sendLoginAnswer(res, login->logIn(req.body, req.remote_addr));
        });
    }
    server.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
        for (const auto& header : securityHeaders()) res.set_header(header.first.c_str(), header.second);
    });
}

const std::vector<std::pair<std::string, std::string>>& securityHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers = {
        {"Content-Security-Policy",
         "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
         "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return headers;
}

bool remoteServeAllowed(const std::string& host, bool allowRemote, std::string& warning, std::string& error) {
    warning.clear();
    if (isLoopbackHost(host)) return true;
    if (!allowRemote) {
        error = "--serve " + hostForm(host) +
                " would let anyone who can reach this machine operate the panel; add --allow-remote to mean it";
        return false;
    }
    warning = "zarn_host: warning: serving on " + hostForm(host) +
              ": anyone who can reach this address and has the printed token (or the password) can operate the panel";
    return true;
}

bool remoteServeProtected(const std::string& host, bool tls, bool insecure, std::string& warning, std::string& error) {
    warning.clear();
    if (isLoopbackHost(host) || tls) return true;
    if (!insecure) {
        error = "--serve " + hostForm(host) +
                " without --tls-cert and --tls-key would send the login and the panel in the clear; add "
                "--insecure to mean it";
        return false;
    }
    warning = "zarn_host: warning: serving on " + hostForm(host) +
              " without TLS (--insecure): the token, the cookie and the panel cross the network in the clear";
    return true;
}

bool mediaTypeIs(const std::string& contentType, const std::string& type) {
    std::string value = contentType.substr(0, contentType.find(';'));
    return lower(trimmed(value)) == lower(type);
}

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace zarn_host
