// An HTTP thread's connection to the worker that serves the session. It is
// listed in the shared state for its life, and the worker loop stops every
// listed connection when that worker ends: a request or a stream never waits
// on a socket the dead worker left open (Wine at times keeps a crashed
// program's sockets open until a read times out).
#pragma once

#include <httplib.h>

#include <cstdint>
#include <string>

#include "web/supervisor/supervisor_state.h"

namespace zarn_host {

class WorkerConnection {
public:
    // generation: the state's generation when port was read.
    WorkerConnection(SupervisorState& state, int port, uint64_t generation, const std::string& token);
    ~WorkerConnection();
    WorkerConnection(const WorkerConnection&) = delete;
    WorkerConnection& operator=(const WorkerConnection&) = delete;

    httplib::Client& client() { return client_; }

private:
    SupervisorState& state_;
    httplib::Client client_;
};

// The worker loop, holding state.mutex, once the worker ended: cuts every
// listed connection off (each one's request fails at once).
void stopWorkerConnections(SupervisorState& state);

}  // namespace zarn_host
