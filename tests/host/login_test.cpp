// --serve's login: the parsing of what a client sends, the password file's
// hash, the gate's answers, and every route of the supervisor's server and
// of its worker refused without credentials (taken from the route table and
// the page's files, so a route added later is covered as well).
#include "web/http/login.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

#include "web/http/http_guard.h"
#include "web/http/http_server.h"
#include "web/http/login_crypto.h"
#include "web/http/web_assets.h"
#include "web/supervisor/proxy.h"
#include "web/supervisor/supervisor_state.h"

namespace {

using namespace zarn_host;
using std::chrono::milliseconds;

const std::string token(64, 'c');

TEST(Login, cookies_bearers_and_bodies_are_read) {
    const struct {
        const char* header;
        const char* value;
    } cookies[] = {
        {"zarn_session=abc", "abc"},
        {"a=1; zarn_session=abc; b=2", "abc"},
        {"  zarn_session = abc ;", "abc"},
        {"zarn_session=\"abc\"", "abc"},
        {"xzarn_session=abc; zarn_sessionx=def", ""},
        {"zarn_session", ""},
        {"", ""},
        {";;;=;", ""},
        {"zarn_session=; zarn_session=second", ""},
    };
    for (const auto& c : cookies) EXPECT_EQ(cookieValue(c.header, "zarn_session"), c.value) << c.header;

    const struct {
        const char* header;
        const char* value;
    } bearers[] = {
        {"Bearer abc", "abc"},
        {"bearer\tabc ", "abc"},
        {"BEARER  abc", "abc"},
        {"Bearerabc", ""},
        {"Basic abc", ""},
        {"Bearer ", ""},
        {"", ""},
    };
    for (const auto& b : bearers) EXPECT_EQ(bearerToken(b.header), b.value) << b.header;

    EXPECT_EQ(loginSecret(R"({"secret":"s3"})"), "s3");
    for (const char* bad : {"", "{", "[]", R"({"secret":5})", R"({"password":"x"})", "\"secret\""}) {
        EXPECT_EQ(loginSecret(bad), "") << bad;
    }
}

TEST(Login, password_hashes_are_salted_and_checked) {
    if (!passwordHashingAvailable()) GTEST_SKIP() << "built without OpenSSL";
    std::string error;
    std::string first = hashPassword("correct horse", error);
    std::string second = hashPassword("correct horse", error);
    ASSERT_FALSE(first.empty()) << error;
    EXPECT_NE(first, second);  // a salt of its own
    EXPECT_TRUE(passwordLineValid(first));
    EXPECT_TRUE(passwordMatches(first, "correct horse"));
    EXPECT_TRUE(passwordMatches(second, "correct horse"));
    EXPECT_FALSE(passwordMatches(first, "correct horsE"));
    EXPECT_FALSE(passwordMatches(first, ""));
    EXPECT_TRUE(hashPassword("", error).empty());

    const std::string hash64(64, 'a');
    for (std::string bad :
         {std::string(""), std::string("pbkdf2-sha256$1000$0011223344556677$"),
          "pbkdf2-sha256$0$0011223344556677$" + hash64, "pbkdf2-sha256$99999999$0011223344556677$" + hash64,
          "pbkdf2-sha256$1000$00112233445566$" + hash64,  // a salt too short
          "pbkdf2-sha256$1000$0011223344556677$" + hash64 + "aa",
          "pbkdf2-sha256$1000$001122334455667G$" + hash64,  // not hex
          "pbkdf2-sha1$1000$0011223344556677$" + hash64, "pbkdf2-sha256$-100$0011223344556677$" + hash64,
          first + "$"}) {
        EXPECT_FALSE(passwordLineValid(bad)) << bad;
        EXPECT_FALSE(passwordMatches(bad, "correct horse")) << bad;
    }
}

TEST(Login, random_tokens_differ) {
    std::string a = randomHex(32), b = randomHex(32);
    EXPECT_EQ(a.size(), 64u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(sameSecret(a, a));
    EXPECT_FALSE(sameSecret(a, b));
    EXPECT_FALSE(sameSecret(a, a.substr(0, 63)));
}

LoginRequest request(const std::string& method, const std::string& path, const std::string& cookie = "",
                     const std::string& authorization = "", const std::string& address = "192.0.2.7") {
    LoginRequest req;
    req.method = method;
    req.path = path;
    req.cookieHeader = cookie;
    req.authorization = authorization;
    req.remoteAddress = address;
    return req;
}

TEST(Login, the_gate_answers_by_what_a_request_carries) {
    LoginGate open;
    EXPECT_EQ(open.check(request("POST", "/api/step")).status, 0);

    LoginGate gate(LoginSettings{token, "", true});
    const struct {
        LoginRequest req;
        int status;
    } cases[] = {
        {request("GET", "/api/state"), 401},
        {request("POST", "/api/step"), 401},
        {request("GET", "/api/events"), 401},
        {request("GET", "/main.js"), 401},
        {request("GET", "/"), 303},
        {request("GET", "/index.html"), 303},
        {request("GET", "/login.html"), 0},
        {request("GET", "/login.js"), 0},
        {request("GET", "/api/login"), 0},
        {request("POST", "/api/login"), 0},  // its route reads the body
        {request("POST", "/login.html"), 401},
        {request("GET", "/api/state", "", "Bearer " + token), 0},
        {request("GET", "/api/state", "zarn_session=" + token), 401},  // the token is no session
        {request("GET", "/api/state", "", "Bearer " + token + "x"), 401},
        {request("GET", "/login.html", "", "Bearer wrong"), 401},
    };
    for (const auto& c : cases) EXPECT_EQ(gate.check(c.req).status, c.status) << c.req.method << " " << c.req.path;
    EXPECT_EQ(gate.check(request("GET", "/")).location, "/login.html");
}

TEST(Login, the_token_in_the_address_becomes_a_session_until_logout) {
    LoginGate gate(LoginSettings{token, "", true});
    LoginRequest opened = request("GET", "/");
    opened.hasTokenParam = true;
    opened.tokenParam = token;
    LoginAnswer answer = gate.check(opened);
    ASSERT_EQ(answer.status, 303);
    EXPECT_EQ(answer.location, "/");  // the address without the token
    for (const char* attribute : {"HttpOnly", "SameSite=Strict", "Secure", "Path=/"}) {
        EXPECT_NE(answer.setCookie.find(attribute), std::string::npos) << attribute;
    }
    std::string cookie = answer.setCookie.substr(0, answer.setCookie.find(';'));
    EXPECT_EQ(gate.check(request("GET", "/api/state", cookie)).status, 0);
    EXPECT_EQ(gate.check(request("GET", "/api/state", "a=b; " + cookie)).status, 0);
    std::string session = cookieValue(cookie, sessionCookieName);
    EXPECT_EQ(gate.check(request("GET", "/api/state", "", "Bearer " + session)).status, 0);

    LoginAnswer out = gate.check(request("POST", "/api/logout", cookie));
    EXPECT_EQ(out.status, 200);
    EXPECT_NE(out.setCookie.find("Max-Age=0"), std::string::npos);
    EXPECT_EQ(gate.check(request("GET", "/api/state", cookie)).status, 401);

    opened.tokenParam = "wrong";
    EXPECT_EQ(gate.check(opened).status, 401);

    // Without TLS the cookie is not Secure (the browser would drop it).
    LoginGate plain(LoginSettings{token, "", false});
    EXPECT_EQ(plain.logIn(R"({"secret":")" + token + "\"}", "a").setCookie.find("Secure"), std::string::npos);
}

TEST(Login, the_password_logs_in_and_wrong_secrets_wait_longer_per_address) {
    std::string error;
    std::string hash = passwordHashingAvailable() ? hashPassword("pw", error) : "";
    LoginGate gate(LoginSettings{token, hash, false});
    if (!hash.empty()) {
        EXPECT_EQ(gate.logIn(R"({"secret":"pw"})", "10.0.0.1").status, 200);
    }
    EXPECT_EQ(gate.logIn(R"({"secret":")" + token + "\"}", "10.0.0.1").status, 200);

    EXPECT_EQ(gate.nextDelay("10.0.0.2"), milliseconds(250));
    const milliseconds expected[] = {milliseconds(250),  milliseconds(500),  milliseconds(1000),
                                     milliseconds(2000), milliseconds(4000), milliseconds(4000)};
    for (milliseconds delay : expected) {
        LoginAnswer wrong = gate.logIn(R"({"secret":"guess"})", "10.0.0.2");
        EXPECT_EQ(wrong.status, 401);
        EXPECT_EQ(wrong.delay, delay);
    }
    // Another address is not slowed; a login clears the address's count.
    EXPECT_EQ(gate.nextDelay("10.0.0.3"), milliseconds(250));
    EXPECT_EQ(gate.check(request("GET", "/api/state", "", "Bearer nope", "10.0.0.2")).delay, milliseconds(4000));
    EXPECT_EQ(gate.logIn(R"({"secret":")" + token + "\"}", "10.0.0.2").status, 200);
    EXPECT_EQ(gate.nextDelay("10.0.0.2"), milliseconds(250));
}

TEST(Login, serving_beyond_loopback_needs_tls_or_insecure) {
    std::string warning, error;
    EXPECT_TRUE(remoteServeProtected("127.0.0.1", false, false, warning, error));
    EXPECT_TRUE(warning.empty());
    EXPECT_TRUE(remoteServeProtected("0.0.0.0", true, false, warning, error));
    EXPECT_TRUE(warning.empty());
    EXPECT_FALSE(remoteServeProtected("0.0.0.0", false, false, warning, error));
    EXPECT_NE(error.find("--insecure"), std::string::npos);
    EXPECT_TRUE(remoteServeProtected("::", false, true, warning, error));
    EXPECT_NE(warning.find("in the clear"), std::string::npos);
}

// How a request's sender logged in goes to the routes (and from there to the
// audit trail): by the gate's word, never by a header the client sends; the
// worker takes its supervisor's word for it.
TEST(Login, the_login_a_request_came_by_is_named_by_the_gate_alone) {
    LoginGate gate(LoginSettings{token, "", false});
    LoginRequest opened = request("GET", "/");
    opened.hasTokenParam = true;
    opened.tokenParam = token;
    std::string cookie = gate.check(opened).setCookie;
    cookie = cookie.substr(0, cookie.find(';'));
    LoginRequest relayed = request("POST", "/api/step", "", "Bearer " + token);
    relayed.relayedLogin = "password session 9 from 10.9.9.9";
    LoginGate worker(LoginSettings{token, "", false, true});
    const struct {
        LoginGate& gate;
        LoginRequest req;
        const char* login;
    } cases[] = {
        {gate, request("POST", "/api/step", cookie), "token session 1 from 192.0.2.7"},
        {gate, request("POST", "/api/step", "", "Bearer " + token, "10.0.0.4"), "bearer token from 10.0.0.4"},
        {gate, relayed, "bearer token from 192.0.2.7"},  // a client's claim is not taken
        {gate, request("GET", "/login.js"), ""},
        {worker, relayed, "password session 9 from 10.9.9.9"},
    };
    for (const auto& c : cases) {
        LoginAnswer answer = c.gate.check(c.req);
        EXPECT_EQ(answer.status, 0) << c.login;
        EXPECT_EQ(answer.login, c.login);
    }
    LoginGate open;
    EXPECT_EQ(open.check(relayed).login, "");

    std::string error;
    std::string hash = passwordHashingAvailable() ? hashPassword("pw", error) : "";
    if (hash.empty()) return;
    LoginGate withPassword(LoginSettings{token, hash, false});
    std::string set = withPassword.logIn(R"({"secret":"pw"})", "10.0.0.1").setCookie;
    EXPECT_EQ(withPassword.check(request("POST", "/api/step", set.substr(0, set.find(';')))).login,
              "password session 1 from 10.0.0.1");
}

// Every route of the supervisor's server: the forwarded API, the event
// stream, the login's own and every file of the page.
TEST(Login, every_route_is_refused_without_credentials) {
    SupervisorState state;
    std::atomic<bool> stop{false};
    SupervisorProxy proxy(state, 1, stop);
    LoginGate gate(LoginSettings{token, "", false});
    HttpGuard guard;
    httplib::Server server;
    setUpServer(server, guard, &gate);
    proxy.routes(server);
    int port = bindServer(server, "127.0.0.1", 0);
    ASSERT_NE(port, 0);
    guard = HttpGuard("127.0.0.1", port);
    std::thread serving([&] { server.listen_after_bind(); });
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);

    std::vector<SupervisorProxy::Route> routes = SupervisorProxy::forwardedRoutes();
    routes.push_back({"GET", "/api/events"});
    routes.push_back({"POST", "/api/logout"});
    for (std::size_t i = 0; i < webAssetCount; ++i) routes.push_back({"GET", webAssets[i].path});
    for (const auto& route : routes) {
        std::string path = route.path;
        bool open = openWithoutLogin(route.method, path) || path == "/api/logout";
        bool page = path == "/index.html";
        auto res = std::string(route.method) == "GET" ? client.Get(path) : client.Post(path, "{}", "application/json");
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, open ? 200 : page ? 303 : 401) << route.method << " " << path;
        if (!open && !page) {
            EXPECT_EQ(res->get_header_value("WWW-Authenticate"), "Bearer") << path;
        }
    }
    // With the token the page's files are served.
    httplib::Headers bearer{{"Authorization", "Bearer " + token}};
    auto page = client.Get("/main.js", bearer);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    auto login = client.Post("/api/login", R"({"secret":")" + token + "\"}", "application/json");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->status, 200);
    EXPECT_NE(login->get_header_value("Set-Cookie").find("HttpOnly"), std::string::npos);
    server.stop();
    serving.join();
}

// Over HTTP: the header reaches a route only as the gate wrote it.
TEST(Login, a_login_header_sent_by_a_client_is_replaced) {
    for (bool withLogin : {false, true}) {
        LoginGate gate(LoginSettings{token, "", false});
        HttpGuard guard;
        httplib::Server server;
        setUpServer(server, guard, withLogin ? &gate : nullptr);
        server.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.has_header(loginHeader) ? req.get_header_value(loginHeader) : "(none)", "text/plain");
        });
        int port = bindServer(server, "127.0.0.1", 0);
        ASSERT_NE(port, 0);
        guard = HttpGuard("127.0.0.1", port);
        std::thread serving([&] { server.listen_after_bind(); });
        httplib::Client client("127.0.0.1", port);
        httplib::Headers headers{{loginHeader, "password session 1 from 10.0.0.1"},
                                 {"Authorization", "Bearer " + token}};
        auto res = client.Post("/echo", headers, "{}", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->body, withLogin ? "bearer token from 127.0.0.1" : "(none)");
        server.stop();
        serving.join();
    }
}

}  // namespace
