// zarn_host's HTTP API without a socket: the input is the bytes a client
// sends on one connection (up to four requests), answered by a WebFront over
// the K7 panel on its facility, as --serve answers them. Every answer is a
// well-formed status line and headers; every refusal (4xx) carries a body
// that is one line of JSON, {"error": "<one line>"}.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "fuzz_check.h"
#include "model/facility.h"
#include "platform/panel_library.h"
#include "scenario/scenario.h"
#include "sim/sim_host.h"
#include "web/page_server/web_front.h"

// A broken invariant of an answer shows the answer.
#define ANSWER_CHECK(condition)                                                                  \
    do {                                                                                         \
        if (!(condition)) std::fprintf(stderr, "answer:\n%s\n", answer.substr(0, 2000).c_str()); \
        FUZZ_CHECK(condition);                                                                   \
    } while (0)

namespace {

constexpr std::size_t maxRequests = 4;
constexpr int servedPort = 8080;  // the seeds' Host is 127.0.0.1:8080

// One served host for the whole run, as --serve keeps one for all its
// requests: the K7 panel loaded, its panel thread running. (A host per input
// spent most of the time loading the panel.)
struct Fixture {
    zarn_host::Facility facility;
    std::unique_ptr<zarn_host::PanelLibrary> library;
    std::unique_ptr<zarn_host::SimHost> host;
    std::ostringstream err;
    std::unique_ptr<zarn_host::ScenarioRunner> runner;
    std::unique_ptr<zarn_host::WebFront> front;
    std::atomic<bool> stopFlag{false};
    std::thread panelThread;

    Fixture() {
        std::string why;
        FUZZ_CHECK(zarn_host::Facility::load(K7_FACILITY, facility, why));
        library = zarn_host::PanelLibrary::open(K7_MON_LIBRARY, why);
        FUZZ_CHECK(library != nullptr);
        host = std::make_unique<zarn_host::SimHost>(facility);
        auto loader = [this](std::string& error) {
            if (host->load(library->entryPoint(), K7_FOLDER, "libk7_mon.so")) return true;
            error = "the panel library gave no panel";
            return false;
        };
        runner = std::make_unique<zarn_host::ScenarioRunner>(*host, loader, err);
        zarn_host::WebFrontOptions options;
        options.err = &err;
        options.traceLines = 200;
        front = std::make_unique<zarn_host::WebFront>(*host, *runner, options);
        front->setServedAddress("127.0.0.1", servedPort);
        std::string message;
        FUZZ_CHECK(front->runStepLine("load", message) == 200);
        panelThread = std::thread([this] { front->run(stopFlag); });
    }
    // At the end of the process: the panel thread stops and is joined.
    ~Fixture() {
        stopFlag = true;
        front->stop();
        if (panelThread.joinable()) panelThread.join();
    }
};

// One answer: its status line, headers and body as sent.
void checkAnswer(const std::string& answer) {
    std::string text = answer;
    // An "Expect: 100-continue" request is first told to go on.
    while (text.rfind("HTTP/1.1 100 ", 0) == 0) {
        std::size_t end = text.find("\r\n\r\n");
        ANSWER_CHECK(end != std::string::npos);
        text = text.substr(end + 4);
    }
    if (text.empty()) return;  // nothing readable as a request: the connection is closed
    ANSWER_CHECK(text.rfind("HTTP/1.1 ", 0) == 0 && text.size() > 12);
    int status = std::stoi(text.substr(9, 3));
    ANSWER_CHECK(status >= 200 && status <= 599);
    std::size_t headEnd = text.find("\r\n\r\n");
    ANSWER_CHECK(headEnd != std::string::npos);
    std::string head = text.substr(0, headEnd);
    std::string body = text.substr(headEnd + 4);
    ANSWER_CHECK(head.find("Content-Security-Policy: ") != std::string::npos);
    if (status < 400 || status >= 500) return;
    // A HEAD request's refusal is sent without its body.
    if (body.empty() && head.find("Content-Length: ") != std::string::npos) return;
    ANSWER_CHECK(body.find('\n') == std::string::npos);
    nlohmann::json error = nlohmann::json::parse(body, nullptr, false);
    // {"error": ...}, or a step's {"ok": false, "error": ...}
    ANSWER_CHECK(error.is_object() && error.contains("error"));
    ANSWER_CHECK(error.size() == 1 || (error.size() == 2 && error.value("ok", true) == false));
    ANSWER_CHECK(error["error"].is_string());
    const std::string line = error["error"].get<std::string>();
    ANSWER_CHECK(!line.empty() && line.find_first_of("\r\n") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Fixture fixture;  // one served host for the whole run
    std::string request(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> answers = fixture.front->answer(request, maxRequests);
    FUZZ_CHECK(answers.size() <= maxRequests);
    for (const std::string& answer : answers) checkAnswer(answer);
    return 0;
}
