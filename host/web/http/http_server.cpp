#include "web/http/http_server.h"

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <ostream>

#include "web/http/http_guard.h"
#include "web/http/login.h"
#include "web/http/web_assets.h"

namespace zarn_host {

void sendError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    nlohmann::json body{{"error", message}};
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void setUpServer(httplib::Server& server, const HttpGuard& guard, LoginGate* login) {
    server.set_payload_max_length(maxBodyBytes);
    server.set_keep_alive_timeout(1);
    server.new_task_queue = [] { return new httplib::ThreadPool(maxEventStreams + 16); };
    httplib::Server::HandlerWithResponse onError = [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string message = res.status == 404   ? "no such page"
                              : res.status == 413 ? "the body is larger than " + std::to_string(maxBodyBytes) + " bytes"
                              : res.status == 405 ? "method not allowed"
                              : res.status >= 500 ? "the host could not answer that"
                                                  : "bad request";
        sendError(res, res.status, message);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(onError);
    guardServer(server, guard, login);
    server.Get("/api/login", [login](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(login && login->required() ? "{\"required\":true}" : "{\"required\":false}",
                        "application/json");
    });
    for (std::size_t i = 0; i < webAssetCount; ++i) {
        const WebAsset& asset = webAssets[i];
        auto handler = [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_header("Cache-Control", "no-store");
            res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.mime);
        };
        server.Get(asset.path, handler);
        if (std::string(asset.path) == "/index.html") server.Get("/", handler);
        if (std::string(asset.path) == "/favicon.svg") server.Get("/favicon.ico", handler);
    }
}

void serveEventStream(httplib::Response& res, bool opened, std::function<bool(httplib::DataSink& sink)> next,
                      std::function<void()> closed) {
    if (!opened) return sendError(res, 503, "too many pages are watching");
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream", [next = std::move(next)](std::size_t, httplib::DataSink& sink) { return next(sink); },
        [closed = std::move(closed)](bool) { closed(); });
}

int bindServer(httplib::Server& server, const std::string& address, int port) {
    if (port == 0) {
        int bound = server.bind_to_any_port(address);
        return bound > 0 ? bound : 0;
    }
    return server.bind_to_port(address, port) ? port : 0;
}

void announceServing(std::ostream& out, std::ostream& err, const std::string& address, int port, bool tls,
                     const std::string& token) {
    std::string shown = address.find(':') != std::string::npos ? "[" + address + "]" : address;
    out << "zarn_host: serving the panel at " << (tls ? "https://" : "http://") << shown << ":" << port << "/"
        << (token.empty() ? "" : "?token=" + token) << std::endl;
    err << "zarn_host: Ctrl-C ends the session\n";
}

}  // namespace zarn_host
