// The login's parsing of what a client sends: Cookie and Authorization
// headers, the login body and password-file lines never throw; a cookie
// value read back is found again in a header made of it; a request judged
// by a gate with a known token is let on only when it carries the token or
// a session the gate gave out, and a stored line that parses is one the
// hash could have written (its form checked, never its secret).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "web/http/login.h"
#include "web/http/login_crypto.h"

namespace {

const std::string token(64, 'a');

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    std::string cookieHeader = in.text(in.pick(200));
    std::string authorization = in.text(in.pick(120));
    std::string body = in.text(in.pick(200));
    std::string stored = in.text(in.pick(200));
    std::string path = in.text(in.pick(40));

    std::string value = zarn_host::cookieValue(cookieHeader, zarn_host::sessionCookieName);
    FUZZ_CHECK(value.size() <= cookieHeader.size());
    if (!value.empty() && value.find_first_of(";\" \t") == std::string::npos) {
        FUZZ_CHECK(zarn_host::cookieValue("x=1; zarn_session=" + value + "; y=2", "zarn_session") == value);
    }
    std::string bearer = zarn_host::bearerToken(authorization);
    FUZZ_CHECK(bearer.size() <= authorization.size());
    (void)zarn_host::loginSecret(body);
    bool validLine = zarn_host::passwordLineValid(stored);
    if (validLine) FUZZ_CHECK(stored.rfind("pbkdf2-sha256$", 0) == 0);

    zarn_host::LoginGate gate(zarn_host::LoginSettings{token, "", false});
    zarn_host::LoginRequest req;
    req.method = in.flag() ? "GET" : "POST";
    req.path = path;
    req.hasTokenParam = in.flag();
    req.tokenParam = in.text(in.pick(80));
    req.cookieHeader = cookieHeader;
    req.authorization = authorization;
    req.remoteAddress = "192.0.2.1";
    zarn_host::LoginAnswer answer = gate.check(req);
    if (answer.status == 0) {
        // Let on: an open file of the login page, the login's own route, or
        // a request that carries the token (no session was ever given out).
        bool open =
            zarn_host::openWithoutLogin(req.method, req.path) || (req.method == "POST" && req.path == "/api/login");
        FUZZ_CHECK(open || bearer == token);
    } else {
        FUZZ_CHECK(answer.status == 303 || answer.status == 401 || answer.status == 200);
        FUZZ_CHECK(answer.delay <= zarn_host::LoginGate::maxDelay);
        if (answer.status == 303 && !answer.setCookie.empty() &&
            answer.setCookie.find("Max-Age=0") == std::string::npos) {
            FUZZ_CHECK(req.tokenParam == token);
        }
    }
    zarn_host::LoginAnswer login = gate.logIn(body, req.remoteAddress);
    FUZZ_CHECK(login.status == 401 || zarn_host::loginSecret(body) == token);
    return 0;
}
