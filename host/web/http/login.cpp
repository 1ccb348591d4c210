#include "web/http/login.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "web/http/http_guard.h"
#include "web/http/login_crypto.h"

namespace zarn_host {
namespace {

std::string errorBody(const std::string& message) {
    return nlohmann::json{{"error", message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Secrets the server hands out: hex, so a cookie or header carries them as is.
constexpr std::size_t secretBytes = 32;
constexpr std::size_t maxSecretLength = 1024;

}  // namespace

const char* const sessionCookieName = "zarn_session";
const char* const loginHeader = "X-Zarn-Login";

std::string cookieValue(const std::string& cookieHeader, const std::string& name) {
    std::size_t start = 0;
    while (start <= cookieHeader.size()) {
        std::size_t end = cookieHeader.find(';', start);
        if (end == std::string::npos) end = cookieHeader.size();
        std::string pair = trimmed(cookieHeader.substr(start, end - start));
        std::size_t equals = pair.find('=');
        if (equals != std::string::npos && trimmed(pair.substr(0, equals)) == name) {
            std::string value = trimmed(pair.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
        start = end + 1;
    }
    return "";
}

std::string bearerToken(const std::string& authorization) {
    std::string text = trimmed(authorization);
    if (text.size() < 7) return "";
    std::string scheme = text.substr(0, 6);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "bearer" || (text[6] != ' ' && text[6] != '\t')) return "";
    return trimmed(text.substr(7));
}

std::string loginSecret(const std::string& body) {
    nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
    if (!parsed.is_object()) return "";
    auto found = parsed.find("secret");
    if (found == parsed.end() || !found->is_string()) return "";
    return found->get<std::string>();
}

bool openWithoutLogin(const std::string& method, const std::string& path) {
    if (method != "GET" && method != "HEAD") return false;
    return path == "/login.html" || path == "/login.js" || path == "/style.css" || path == "/favicon.svg" ||
           path == "/favicon.ico" || path == "/api/login";
}

LoginGate::LoginGate(LoginSettings settings) : settings_(std::move(settings)) {}

std::chrono::milliseconds LoginGate::nextDelay(const std::string& address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = failures_.find(address);
    uint32_t count = found == failures_.end() ? 0 : found->second;
    std::chrono::milliseconds delay{250};
    for (uint32_t i = 0; i < count && delay < maxDelay; ++i) delay *= 2;
    return std::min(delay, maxDelay);
}

std::string LoginGate::sessionLogin(const std::string& id) const {
    if (id.empty()) return "";
    std::lock_guard<std::mutex> lock(mutex_);
    // Every session is compared in constant time, so the answer's timing
    // does not tell how much of an id was right.
    std::string login;
    for (const auto& session : sessions_) {
        if (sameSecret(session.id, id)) login = session.login;
    }
    return login;
}

const char* LoginGate::secretKind(const std::string& secret) const {
    if (secret.empty() || secret.size() > maxSecretLength) return "";
    if (sameSecret(secret, settings_.token)) return "token";
    return !settings_.passwordHash.empty() && passwordMatches(settings_.passwordHash, secret) ? "password" : "";
}

std::string LoginGate::cookie(const std::string& value, bool expired) const {
    std::string text = std::string(sessionCookieName) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (settings_.secureCookie) text += "; Secure";
    if (expired) text += "; Max-Age=0";
    return text;
}

LoginAnswer LoginGate::failed(const std::string& address, const std::string& message) {
    LoginAnswer answer;
    answer.delay = nextDelay(address);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failures_.size() >= maxFailingAddresses && !failures_.count(address)) failures_.clear();
        uint32_t& count = failures_[address];
        if (count < 64) ++count;
    }
    answer.status = 401;
    answer.body = errorBody(message);
    return answer;
}

LoginAnswer LoginGate::startSession(const std::string& address, int status, const char* kind) {
    LoginAnswer answer;
    std::string id = randomHex(secretBytes);
    if (id.empty()) {
        answer.status = 500;
        answer.body = errorBody("the system's random source failed");
        return answer;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.erase(address);
        if (sessions_.size() >= maxSessions) sessions_.erase(sessions_.begin());
        sessions_.push_back({id, std::string(kind) + " session " + std::to_string(++sessionsOpened_) + " from " + address});
    }
    answer.status = status;
    answer.setCookie = cookie(id, false);
    answer.body = "{\"ok\":true}";
    return answer;
}

LoginAnswer LoginGate::logIn(const std::string& body, const std::string& address) {
    const char* kind = secretKind(loginSecret(body));
    return *kind != '\0' ? startSession(address, 200, kind) : failed(address, "wrong token or password");
}

LoginAnswer LoginGate::check(const LoginRequest& req) {
    if (!required()) return {};
    const std::string& path = req.path;
    if (req.method == "POST" && path == "/api/login") return {};  // its route reads the body: logIn
    std::string session = cookieValue(req.cookieHeader, sessionCookieName);
    if (req.method == "POST" && path == "/api/logout") {
        if (!session.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                           [&](const Session& open) { return open.id == session; }),
                            sessions_.end());
        }
        LoginAnswer answer;
        answer.status = 200;
        answer.setCookie = cookie("", true);
        answer.body = "{\"ok\":true}";
        return answer;
    }
    bool page = (req.method == "GET" || req.method == "HEAD") && (path == "/" || path == "/index.html");
    if (page && req.hasTokenParam) {
        // The token of the printed address: a session, and the page again
        // without the token in the address bar (or the browser's history).
        if (*secretKind(req.tokenParam) == '\0')
            return failed(req.remoteAddress, "wrong token: open the address zarn_host printed");
        LoginAnswer answer = startSession(req.remoteAddress, 303, "token");
        answer.location = "/";
        answer.body.clear();
        return answer;
    }
    LoginAnswer pass;
    pass.login = sessionLogin(session);
    if (!pass.login.empty()) return pass;
    std::string bearer = bearerToken(req.authorization);
    if (!bearer.empty()) {
        const char* kind = secretKind(bearer);
        if (*kind != '\0') {
            // The worker's caller is the supervisor, which says who sent the request.
            pass.login = settings_.trustRelayedLogin ? req.relayedLogin
                                                     : std::string("bearer ") + kind + " from " + req.remoteAddress;
            return pass;
        }
        pass.login = sessionLogin(bearer);
        if (!pass.login.empty()) return pass;
        return failed(req.remoteAddress, "wrong bearer token");
    }
    if (openWithoutLogin(req.method, path)) return {};
    LoginAnswer answer;
    if (page) {
        answer.status = 303;
        answer.location = "/login.html";
        if (!session.empty()) answer.setCookie = cookie("", true);  // a stale session's cookie
        return answer;
    }
    answer.status = 401;
    answer.body = errorBody("log in first: open the address zarn_host printed, or send Authorization: Bearer TOKEN");
    return answer;
}

}  // namespace zarn_host
