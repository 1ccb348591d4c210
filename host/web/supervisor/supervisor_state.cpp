#include "web/supervisor/supervisor_state.h"

#include "web/page_server/page_state.h"

namespace zarn_host {

void SupervisorState::notice(const nlohmann::json& body) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string text = "event: fault\ndata: " + jsonText(body) + "\n\n";
    // The trace keeps it too.
    std::string line = body.value("message", std::string());
    text += "event: trace\ndata: " + jsonText(nlohmann::json{{"time", -1}, {"kind", "error"}, {"text", "!! " + line}}) +
            "\n\n";
    notices.push_back({nextNotice++, std::move(text)});
    if (notices.size() > noticesKept) notices.pop_front();
    changed.notify_all();
}

}  // namespace zarn_host
