#include "web/supervisor/worker_connection.h"

#include <mutex>

namespace zarn_host {

WorkerConnection::WorkerConnection(SupervisorState& state, int port, uint64_t generation, const std::string& token)
    : state_(state), client_("127.0.0.1", port) {
    client_.set_bearer_token_auth(token.c_str());
    std::lock_guard<std::mutex> lock(state_.mutex);
    // A worker that already ended: its port refuses, so the request fails by itself.
    if (state_.generation == generation) state_.workerClients.insert(&client_);
}

WorkerConnection::~WorkerConnection() {
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.workerClients.erase(&client_);
}

void stopWorkerConnections(SupervisorState& state) {
    // Shuts the sockets down under the requests; each client closes its own.
    for (httplib::Client* client : state.workerClients) client->stop();
    state.workerClients.clear();
}

}  // namespace zarn_host
