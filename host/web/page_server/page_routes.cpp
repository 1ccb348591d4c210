// The page's HTTP API: each route beside the panel-thread job it queues.
#include <httplib.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "text/command_text.h"
#include "web/http/http_server.h"
#include "web/http/login.h"
#include "web/page_server/page_state.h"
#include "web/page_server/router_rows.h"
#include "web/page_server/state_text.h"
#include "web/page_server/web_front_impl.h"

namespace zarn_host {
namespace {

using json = nlohmann::json;

constexpr std::size_t maxPins = 1000;

void send(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(reply.body, reply.contentType.c_str());
}

// Whole states being written at once; more are refused for a moment, as each
// holds a copy of the routers' rows until its reader has it all.
constexpr int maxStateReads = 8;

// Answers with text (200, JSON), a piece at a time as the connection takes
// it: a slow reader holds one piece, and one that leaves ends the writing.
// A server that does not listen (answers made in memory) cannot stream: it
// answers with the text whole.
void sendText(httplib::Response& res, std::shared_ptr<StateText> text, std::atomic<int>& reads, bool listening) {
    if (!listening) {
        std::string body, piece;
        while (text->next(piece)) body += piece;
        return send(res, Reply{200, "application/json", std::move(body)});
    }
    if (++reads > maxStateReads) {
        --reads;
        return send(res, errorReply(503, "too many whole states are being read at once; ask again"));
    }
    res.status = 200;
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "application/json",
        [text, piece = std::string()](std::size_t, httplib::DataSink& sink) mutable {
            if (!text->next(piece)) {
                sink.done();
                return true;
            }
            return sink.write(piece.data(), piece.size());
        },
        [&reads](bool) { --reads; });
}

// A body the browser's page sends: JSON only, so other sites' pages cannot
// post here without the browser asking first.
bool parseBody(const httplib::Request& req, json& body, Reply& bad) {
    std::string type = req.get_header_value("Content-Type");
    if (!mediaTypeIs(type, "application/json")) {
        bad = errorReply(415, "send JSON (Content-Type: application/json)");
        return false;
    }
    body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        bad = errorReply(400, "the body is not a JSON object");
        return false;
    }
    return true;
}

bool sessionName(const std::string& name) {
    if (name.empty() || name.size() > 40) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    }
    return true;
}

// A parameter's value, or null when the request has none.
const std::string* param(const httplib::Request& req, const char* name) {
    auto found = req.params.find(name);
    return found == req.params.end() ? nullptr : &found->second;
}

}  // namespace

void WebFront::Impl::routes() {
    setUpServer(server, guard, &login);

    // The whole state; ?router=N: that router only; ?view=page: routers as
    // summaries, with the sequence number the event stream's changes follow.
    server.Get("/api/state", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string* view = param(req, "view");
        const std::string* router = param(req, "router");
        if (view && *view != "page") return send(res, errorReply(400, "\"view\" is \"page\" or not given"));
        int32_t device = 0;
        if (router && !parseInt32(*router, device)) {
            return send(res, errorReply(400, "give the router as \"router\", its device number"));
        }
        if (view) {
            return send(res, onPanelThread([this] {
                            publish(true);
                            uint64_t seq = 0;
                            return Reply{200, "application/json", events.state(seq)};
                        }));
        }
        // The whole state and a router's are written a piece at a time as the
        // caller reads (state_text.h).
        struct Answer {
            std::shared_ptr<StateText> text;
            Reply refused;
        };
        std::string why;
        std::optional<Answer> answer = jobs.call<Answer>(
            [this, whole = router == nullptr, device] {
                if (whole) return Answer{StateText::ofState(stateJson(RouterDetail::rowsApart), host.facility()), {}};
                const Router* r = host.facility().router(device);
                if (!r) return Answer{nullptr, errorReply(404, "no router " + std::to_string(device))};
                return Answer{StateText::ofRouter(routerJson(host.facility(), *r, false), host.facility()), {}};
            },
            why);
        if (!answer) return send(res, errorReply(503, why));
        if (!answer->text) return send(res, answer->refused);
        sendText(res, std::move(answer->text), stateReads, boundPort != 0);
    });

    // A window of a router's destinations, filtered by name or number, with
    // the state's seq and epoch.
    server.Get("/api/rows", [this](const httplib::Request& req, httplib::Response& res) {
        RowQuery query;
        std::string why;
        RowParams given{param(req, "router"), param(req, "from"), param(req, "count"), param(req, "filter"),
                        param(req, "used"), param(req, "source")};
        if (!parseRowQuery(given, query, why)) {
            return send(res, errorReply(400, why));
        }
        send(res, onPanelThread([this, query] {
                 const Router* r = host.facility().router(query.device);
                 if (!r) return errorReply(404, "no router " + std::to_string(query.device));
                 // Numbered as the state they show (published first, so no
                 // change is in the rows but not in the number): the page
                 // keeps a row a later change brought over these.
                 publish(true);
                 json rows = routerRows(*r, query);
                 rows["seq"] = stateSeq;
                 rows["epoch"] = epoch;
                 return jsonReply(200, rows);
             }));
    });

    // The names of a router's sources, for the page's source picker.
    server.Get("/api/sources", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string* router = param(req, "router");
        int32_t device = 0;
        if (!router || !parseInt32(*router, device)) {
            return send(res, errorReply(400, "give the router as \"router\", its device number"));
        }
        send(res, onPanelThread([this, device] {
                 const Router* r = host.facility().router(device);
                 if (!r) return errorReply(404, "no router " + std::to_string(device));
                 return jsonReply(200, sourceNames(*r));
             }));
    });

    // A destination's last changes: who routed, locked or unlocked it, and when.
    server.Get("/api/history", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string* router = param(req, "router");
        const std::string* destination = param(req, "destination");
        int32_t device = 0, d = 0;
        if (!router || !parseInt32(*router, device) || !destination || !parseInt32(*destination, d)) {
            return send(res, errorReply(400, "give \"router\" (its device number) and \"destination\""));
        }
        send(res, onPanelThread([this, device, d] {
                 const Router* r = host.facility().router(device);
                 if (!r) return errorReply(404, "no router " + std::to_string(device));
                 if (!r->validDestination(d)) return errorReply(404, "no destination " + std::to_string(d));
                 return jsonReply(200, historyJson(*r, d));
             }));
    });

    server.Post("/api/step", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        auto found = body.find("step");
        if (found == body.end() || !found->is_string()) return send(res, errorReply(400, "give the step as \"step\""));
        std::string line = found->get<std::string>();
        // A page names its session; any other caller is the API.
        Origin origin = Origin::of(Origin::Kind::api);
        auto session = body.find("session");
        if (session != body.end()) {
            if (!session->is_string() || !sessionName(session->get<std::string>())) {
                return send(res, errorReply(400, "\"session\" is 1 to 40 letters, digits or '-'"));
            }
            origin = Origin::of(Origin::Kind::page, session->get<std::string>());
        }
        origin.login = req.get_header_value(loginHeader);
        send(res, onPanelThread([this, line, origin] {
                 std::string message;
                 runner.setOrigin(origin);
                 int status = runStep(line, message);
                 runner.setOrigin(Origin{});
                 json answer{{"ok", status == 200}};
                 if (status != 200) answer["error"] = message;
                 if (stepRefusedOutside) {
                     answer["refusal"] = ActionWatch::refusalJson(host.facility(), actions.refusals().back());
                 }
                 const auto& reply = runner.lastReply();
                 std::string keyword;
                 std::istringstream(line) >> keyword;
                 if (status == 200 && keyword == "parent") {
                     answer["reply"] = reply ? json(*reply) : json(nullptr);
                 }
                 publish();
                 return jsonReply(status, answer);
             }));
    });

    server.Post("/api/clock", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        auto found = body.find("realTime");
        if (found == body.end() || !found->is_boolean()) {
            return send(res, errorReply(400, "give \"realTime\": true or false"));
        }
        bool on = found->get<bool>();
        send(res, onPanelThread([this, on] {
                 setRealTime(on);
                 publish();
                 return jsonReply(200, json{{"ok", true}});
             }));
    });

    server.Post("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        Reply bad;
        if (!parseBody(req, body, bad)) return send(res, bad);
        std::vector<std::pair<std::string, std::string>> pins;
        auto found = body.find("pins");
        if (found != body.end()) {
            if (!found->is_array() || found->size() > maxPins) {
                return send(res, errorReply(400, "\"pins\" is a list of {\"panel\", \"control\"}"));
            }
            for (const auto& pin : *found) {
                if (!pin.is_object() || !pin.contains("panel") || !pin.contains("control") ||
                    !pin["panel"].is_string() || !pin["control"].is_string()) {
                    return send(res, errorReply(400, "\"pins\" is a list of {\"panel\", \"control\"}"));
                }
                pins.emplace_back(pin["panel"].get<std::string>(), pin["control"].get<std::string>());
            }
        }
        send(res, onPanelThread([this, pins] {
                 for (const auto& pin : pins) {
                     const Panel* panel = host.panel(pin.first);
                     if (!panel || !panel->control(pin.second)) {
                         return errorReply(422, "no control \"" + printable(pin.second, 80) + "\" on panel \"" +
                                                    printable(pin.first, 80) + "\" to pin");
                     }
                 }
                 return Reply{200, "text/plain; charset=utf-8", session(pins)};
             }));
    });

    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        auto cursor = std::make_shared<PageEvents::Cursor>();
        serveEventStream(
            res, events.openStream(),
            [this, cursor](httplib::DataSink& sink) {
                std::string out;
                if (!events.next(*cursor, out)) return false;
                return sink.write(out.data(), out.size());
            },
            [this] { events.closeStream(); });
    });
}

}  // namespace zarn_host
