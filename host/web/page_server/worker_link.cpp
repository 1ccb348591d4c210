#include "web/page_server/worker_link.h"

#include <cstdint>
#include <cstdlib>

#include "text/command_text.h"

namespace zarn_host {
namespace {

// Every message starts with it; a worker's own lines never do.
constexpr const char* prefix = "@zarn-worker ";

struct Word {
    WorkerMessage::Kind kind;
    const char* word;
};
constexpr Word words[] = {
    {WorkerMessage::Kind::ready, "ready"},
    {WorkerMessage::Kind::stepRun, "run"},
    {WorkerMessage::Kind::stepDone, "done"},
    {WorkerMessage::Kind::stepKept, "kept"},
};

}  // namespace

std::string workerLine(const WorkerMessage& message) {
    if (message.kind == WorkerMessage::Kind::ready)
        return prefix + std::string("ready ") + std::to_string(message.port);
    for (const Word& w : words) {
        if (w.kind == message.kind) return prefix + std::string(w.word) + " " + message.step;
    }
    return message.step;
}

WorkerMessage readWorkerLine(const std::string& line) {
    WorkerMessage message;
    const std::string start = prefix;
    if (line.compare(0, start.size(), start) != 0) {
        message.step = line;
        return message;
    }
    std::string rest = line.substr(start.size());
    std::size_t space = rest.find(' ');
    std::string word = rest.substr(0, space);
    std::string argument = space == std::string::npos ? "" : rest.substr(space + 1);
    message.kind = WorkerMessage::Kind::malformed;
    for (const Word& w : words) {
        if (word != w.word) continue;
        if (w.kind == WorkerMessage::Kind::ready) {
            int32_t port = 0;
            if (space == std::string::npos || !parseInt32(argument, port) || port < 1 || port > 65535) break;
            message.kind = w.kind;
            message.port = port;
        } else if (space != std::string::npos) {
            message.kind = w.kind;
            message.step = argument;
        }
        break;
    }
    return message;
}

const char* const workerTokenVariable = "ZARN_HOST_WORKER_TOKEN";

std::string workerLoginToken() {
    const char* value = std::getenv(workerTokenVariable);
    return value ? std::string(value) : std::string();
}

}  // namespace zarn_host
